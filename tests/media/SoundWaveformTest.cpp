// The sound outline of a take, read from real movies made with ffmpeg: two
// named AAC tracks with tones at known times and levels.
#include "tests/support/MovieFixtures.h"

#include "media/SoundWaveformReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

using namespace orvane;
using namespace orvane::test;

namespace {

// 3 s: the microphone plays a 440 Hz tone at 0.5 from 1.0 to 1.5 s, the
// desktop sound one at 0.25 from 2.0 to 2.2 s; silence elsewhere.
std::string twoTrackMovie() {
    return cachedFixture("waveform-two-tracks.mov", [](const std::string& path) {
        const std::string mic = "0.5*sin(2*PI*440*t)*between(t,1,1.5)";
        const std::string desk = "0.25*sin(2*PI*440*t)*between(t,2,2.2)";
        return runFfmpeg("-f lavfi -i color=c=black:s=64x64:r=30:d=3 "
                         "-f lavfi -i \"aevalsrc='" + mic + "|" + mic + "':s=48000:d=3\" "
                         "-f lavfi -i \"aevalsrc='" + desk + "|" + desk + "':s=48000:d=3\" "
                         "-map 0:v -map 1:a -map 2:a -c:v libx264 -preset ultrafast "
                         "-c:a aac -b:a 160k "
                         "-metadata:s:a:0 handler_name=\"Orvane microphone\" "
                         "-metadata:s:a:1 handler_name=\"Orvane desktop sound\" " + path);
    });
}

float peakOver(const std::vector<float>& peaks, std::size_t from, std::size_t to) {
    float p = 0;
    for (std::size_t i = from; i < to && i < peaks.size(); ++i) {
        p = std::max(p, peaks[i]);
    }
    return p;
}

float lowestOver(const std::vector<float>& peaks, std::size_t from, std::size_t to) {
    float p = 1;
    for (std::size_t i = from; i < to && i < peaks.size(); ++i) {
        p = std::min(p, peaks[i]);
    }
    return p;
}

} // namespace

TEST(SoundWaveform, PeaksOfEachSourceAtTheirTimes) {
    const std::string movie = twoTrackMovie();
    ASSERT_FALSE(movie.empty());
    auto read = readSoundWaveform(movie);
    ASSERT_TRUE(read) << read.errorValue().message;
    const SoundWaveform& w = read.value();
    // 10 ms buckets over 3 s of sound.
    EXPECT_GE(w.microphone.size(), 300u);
    EXPECT_LE(w.microphone.size(), 303u);
    EXPECT_EQ(w.desktop.size(), w.microphone.size());
    EXPECT_EQ(w.buckets(), w.microphone.size());

    // Inside each tone (clear of its edges) every bucket holds its peak.
    EXPECT_NEAR(lowestOver(w.microphone, 103, 147), 0.5, 0.05);
    EXPECT_NEAR(peakOver(w.microphone, 103, 147), 0.5, 0.05);
    EXPECT_NEAR(lowestOver(w.desktop, 203, 217), 0.25, 0.03);
    EXPECT_NEAR(peakOver(w.desktop, 203, 217), 0.25, 0.03);
    // Silence elsewhere, and each source only in its own track.
    EXPECT_LT(peakOver(w.microphone, 0, 95), 0.01);
    EXPECT_LT(peakOver(w.microphone, 155, 300), 0.01);
    EXPECT_LT(peakOver(w.desktop, 0, 195), 0.01);
    EXPECT_LT(peakOver(w.desktop, 225, 300), 0.01);

    // Mixed for display at the current gains, held at full scale.
    const auto mixed = w.mixed(0.5, 2.0);
    ASSERT_EQ(mixed.size(), w.buckets());
    EXPECT_NEAR(mixed[120], 0.25, 0.03);
    EXPECT_NEAR(mixed[210], 0.5, 0.05);
    EXPECT_FLOAT_EQ(w.mixed(0.0, 8.0)[210], 1.0f);
    EXPECT_LT(peakOver(w.mixed(0.0, 1.0), 100, 150), 0.01); // a muted microphone
}

TEST(SoundWaveform, NoSoundCancelAndBadFiles) {
    TempDir dir;
    const std::string silent = dir.file("silent.mp4");
    ASSERT_TRUE(runFfmpeg("-f lavfi -i color=c=black:s=64x64:r=30:d=1 -c:v libx264 -preset "
                          "ultrafast " + silent));
    auto none = readSoundWaveform(silent);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none.value().empty());
    EXPECT_TRUE(none.value().mixed(1, 1).empty());

    std::atomic<bool> cancel{true};
    auto cancelled = readSoundWaveform(twoTrackMovie(), &cancel);
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.errorValue().kind, ErrorKind::Cancelled);

    auto missing = readSoundWaveform(dir.file("absent.mov"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.errorValue().kind, ErrorKind::NotFound);
    const std::string garbage = dir.file("garbage.mov");
    std::ofstream(garbage) << "this is not a movie, only a few words of text";
    EXPECT_FALSE(readSoundWaveform(garbage));
}
