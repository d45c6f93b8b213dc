// An export with sound stopped or cut short: cancelling leaves nothing, and a
// take killed mid-way ends its sound with its last picture.
#include "ExportTestSupport.h"
#include "MovieFixtures.h"

#include "render/export/RenderComposite.h"
#include "media/SoundReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <vector>

using namespace orvane;
using namespace orvane::test;

namespace {

// A take as the recorder writes one with both sound sources: fragmented, 4 s
// at 30 fps, a steady tone in each track from start to end.
std::string fragmentedTakeWithSound() {
    return cachedFixture("fragmented-sound-320x200-4s.mov", [](const std::string& path) {
        return runFfmpeg(
            "-f lavfi -i testsrc2=s=320x200:r=30:d=4 "
            "-f lavfi -i \"aevalsrc='0.2*sin(2*PI*440*t)|0.2*sin(2*PI*440*t)':s=48000:d=4\" "
            "-f lavfi -i \"aevalsrc='0.1*sin(2*PI*660*t)|0.1*sin(2*PI*660*t)':s=48000:d=4\" "
            "-map 0:v -map 1:a -map 2:a -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 15 "
            "-c:a aac -b:a 160k -metadata:s:a:0 handler_name=\"Orvane microphone\" "
            "-metadata:s:a:1 handler_name=\"Orvane desktop sound\" "
            "-movflags frag_keyframe+empty_moov -f mov '" + path + "'");
    });
}

ExportJob soundJob(const std::string& source, const std::string& output) {
    ExportJob job;
    job.source = source;
    job.output = output;
    job.timeline.build({}, {}, 4.0, 1.5);
    return job;
}

// The loudest sample of the export's sound between two output times.
float peakBetween(const std::string& movie, double from, double to) {
    auto reader = SoundReader::open(movie);
    if (!reader || reader.value()->empty()) {
        return -1;
    }
    const int frames = static_cast<int>((to - from) * kSoundRate);
    std::vector<float> samples(static_cast<std::size_t>(frames) * kSoundChannels);
    reader.value()->seek(from);
    reader.value()->readMixed(samples.data(), frames, SoundMix{});
    float peak = 0;
    for (float s : samples) {
        peak = std::max(peak, std::fabs(s));
    }
    return peak;
}

class ExportSoundSafetyTest : public ::testing::Test {
protected:
    TempDir dir;
};

} // namespace

TEST_F(ExportSoundSafetyTest, CancellingAnExportWithSoundLeavesNothing) {
    const std::string source = fragmentedTakeWithSound();
    ASSERT_FALSE(source.empty());
    const std::string out = dir.file("out.mp4");
    ASSERT_TRUE(writeText(out, "earlier export"));
    std::atomic<bool> cancel{false};
    auto result = renderComposite(soundJob(source, out), [&](double f) {
        if (f >= 0.2) {
            cancel = true;
        }
    }, &cancel);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.errorValue().kind, ErrorKind::Cancelled);
    EXPECT_EQ(fileSize(out), 14);
    EXPECT_EQ(strayFiles(dir.path(), {"out.mp4"}), QStringList());
}

TEST_F(ExportSoundSafetyTest, ATakeCutOffMidwayEndsItsSoundWithItsLastPicture) {
    const std::string whole = fragmentedTakeWithSound();
    ASSERT_FALSE(whole.empty());
    const std::string cut = dir.file("cut.mov");
    ASSERT_TRUE(writePrefix(whole, cut, fileSize(whole) / 2));
    const std::string out = dir.file("out.mp4");
    auto result = renderComposite(soundJob(cut, out), {});
    ASSERT_TRUE(result.ok()) << result.error();
    // Cut in the middle of a fragment: the picture ends where its frames
    // stop decoding, and the sound must end there too.
    ASSERT_TRUE(result->endedEarly.has_value());
    EXPECT_GT(result->duration, 1.0);
    EXPECT_LT(result->duration, 3.5);
    const auto p = probe(out);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->audioStreams, 1);
    auto sound = SoundReader::open(out);
    ASSERT_TRUE(sound);
    // The sound lasts as long as the picture, to the AAC frame (21 ms).
    EXPECT_NEAR(sound.value()->duration(), result->duration, 0.03);
    // And it is the take's sound up to there: both tones, mixed.
    EXPECT_NEAR(peakBetween(out, 0.1, result->duration - 0.1), 0.3f, 0.03f);
    EXPECT_EQ(strayFiles(dir.path(), {"cut.mov", "out.mp4"}), QStringList());
}
