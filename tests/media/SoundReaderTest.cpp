// The sound of a movie read back on the movie's timeline: which track is
// which, where a tone starts after reads and seeks, gains and the limiter,
// and movies without sound or with damage.

#include "media/SoundReader.h"
#include "tests/support/MovieFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orvane {
namespace {

using test::cachedFixture;
using test::runFfmpeg;

constexpr double kMicOn = 1.0, kMicOff = 3.0;        // 1 kHz at 0.5
constexpr double kDesktopOn = 2.5, kDesktopOff = 4.0; // 440 Hz at 0.25

// A 4 s take-like movie: black video, a microphone and a desktop track named
// as the recorder names them, each silent but for a tone at known times.
std::string twoTrackMovie() {
    return cachedFixture("sound-two-tracks.mov", [](const std::string& path) {
        char args[2048];
        std::snprintf(
            args, sizeof args,
            "-f lavfi -i color=black:s=64x64:r=30:d=4 "
            "-f lavfi -i \"aevalsrc=if(between(t\\,%g\\,%g)\\,0.5*sin(2*PI*1000*t)\\,0):s=48000:c=stereo:d=4\" "
            "-f lavfi -i \"aevalsrc=if(between(t\\,%g\\,%g)\\,0.25*sin(2*PI*440*t)\\,0):s=48000:c=stereo:d=4\" "
            "-map 0:v -map 1:a -map 2:a -c:v libx264 -pix_fmt yuv420p -c:a aac -b:a 160k "
            "-metadata:s:a:0 handler_name=\"Orvane microphone\" "
            "-metadata:s:a:1 handler_name=\"Orvane desktop sound\" \"%s\"",
            kMicOn, kMicOff, kDesktopOn, kDesktopOff, path.c_str());
        return runFfmpeg(args);
    });
}

std::unique_ptr<SoundReader> openOrFail(const std::string& path) {
    auto opened = SoundReader::open(path);
    if (!opened) {
        ADD_FAILURE() << opened.error();
        return nullptr;
    }
    return std::move(opened.value());
}

std::vector<float> readTrack(SoundReader& r, SoundKind kind, double seconds) {
    std::vector<float> out(static_cast<std::size_t>(seconds * kSoundRate) * kSoundChannels);
    // In uneven pieces, as a player asks for it.
    std::size_t at = 0;
    int piece = 317;
    while (at < out.size()) {
        const int frames = static_cast<int>(std::min<std::size_t>(piece, (out.size() - at) / kSoundChannels));
        r.read(kind, out.data() + at, frames);
        at += static_cast<std::size_t>(frames) * kSoundChannels;
        piece = piece == 317 ? 1024 : 317;
    }
    return out;
}

// Seconds from the buffer's start to the first sample louder than `level`;
// -1 when there is none.
double onset(const std::vector<float>& s, float level = 0.1f) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::fabs(s[i]) > level) {
            return static_cast<double>(i / kSoundChannels) / kSoundRate;
        }
    }
    return -1;
}
// Seconds from the buffer's start to just after the last loud sample.
double offset(const std::vector<float>& s, float level = 0.1f) {
    for (std::size_t i = s.size(); i-- > 0;) {
        if (std::fabs(s[i]) > level) {
            return static_cast<double>(i / kSoundChannels + 1) / kSoundRate;
        }
    }
    return -1;
}

double rms(const std::vector<float>& s) {
    double sum = 0;
    for (float x : s) {
        sum += static_cast<double>(x) * static_cast<double>(x);
    }
    return std::sqrt(sum / static_cast<double>(s.size()));
}

constexpr double kMs = 0.001;

TEST(SoundReader, FindsEachSourceByItsTrackName) {
    auto r = openOrFail(twoTrackMovie());
    ASSERT_TRUE(r);
    ASSERT_EQ(r->kinds().size(), 2u);
    EXPECT_EQ(r->kinds()[0], SoundKind::Microphone);
    EXPECT_EQ(r->kinds()[1], SoundKind::Desktop);
    EXPECT_NEAR(r->duration(), 4.0, 0.05);
    EXPECT_FALSE(r->error());
}

TEST(SoundReader, TonesSitWhereTheMovieHasThem) {
    auto r = openOrFail(twoTrackMovie());
    ASSERT_TRUE(r);
    const auto mic = readTrack(*r, SoundKind::Microphone, 4.0);
    EXPECT_NEAR(onset(mic), kMicOn, 2 * kMs);
    EXPECT_NEAR(offset(mic), kMicOff, 2 * kMs);
    // The desktop track is read on its own, from its own start.
    const auto desktop = readTrack(*r, SoundKind::Desktop, 4.0);
    EXPECT_NEAR(onset(desktop, 0.05f), kDesktopOn, 2 * kMs);
    // Past the end: silence, not a repeat and not a failure.
    const auto after = readTrack(*r, SoundKind::Microphone, 0.5);
    EXPECT_EQ(rms(after), 0.0);
}

TEST(SoundReader, SeeksAreExactForwardAndBack) {
    auto r = openOrFail(twoTrackMovie());
    ASSERT_TRUE(r);
    r->seek(0.9);
    EXPECT_NEAR(onset(readTrack(*r, SoundKind::Microphone, 0.5)), kMicOn - 0.9, 2 * kMs);
    r->seek(2.0);
    EXPECT_NEAR(onset(readTrack(*r, SoundKind::Desktop, 1.0), 0.05f), kDesktopOn - 2.0, 2 * kMs);
    // Back to before the tone after reading past it.
    r->seek(0.95);
    const auto again = readTrack(*r, SoundKind::Microphone, 0.2);
    EXPECT_NEAR(onset(again), kMicOn - 0.95, 2 * kMs);
    // A small step forward within what was already decoded.
    r->seek(2.99);
    EXPECT_NEAR(offset(readTrack(*r, SoundKind::Microphone, 0.1)), kMicOff - 2.99, 2 * kMs);
}

TEST(SoundReader, MixesAtTheGainsAndLimitsSoftly) {
    auto r = openOrFail(twoTrackMovie());
    ASSERT_TRUE(r);
    const auto mixAt = [&](const SoundMix& mix) {
        r->seek(2.6); // both tones sound from 2.5 to 3.0
        std::vector<float> out(static_cast<std::size_t>(0.3 * kSoundRate) * kSoundChannels);
        r->readMixed(out.data(), static_cast<int>(out.size() / kSoundChannels), mix);
        return out;
    };
    const double micRms = 0.5 / std::sqrt(2.0), desktopRms = 0.25 / std::sqrt(2.0);
    const auto db = [](double a, double b) { return 20 * std::log10(a / b); };

    SoundMix half;
    half.microphoneVolume = 0.5;
    half.desktopVolume = 1.5;
    const double expected = std::hypot(0.5 * micRms, 1.5 * desktopRms);
    EXPECT_NEAR(db(rms(mixAt(half)), expected), 0.0, 0.3);

    SoundMix micMuted;
    micMuted.microphoneMuted = true;
    micMuted.microphoneVolume = 2.0; // a muted source is out whatever its volume
    EXPECT_NEAR(db(rms(mixAt(micMuted)), desktopRms), 0.0, 0.3);

    SoundMix loud; // 2 x 0.5 + 2 x 0.25 would reach 1.5
    loud.microphoneVolume = 2.0;
    loud.desktopVolume = 2.0;
    const auto limited = mixAt(loud);
    float peak = 0;
    for (float x : limited) {
        peak = std::max(peak, std::fabs(x));
    }
    EXPECT_LT(peak, 1.0f);
    EXPECT_GT(peak, kSoftLimitKnee);
}

TEST(SoundReader, TheLimiterPassesQuietSoundAndNeverReachesFullScale) {
    for (float x : {0.0f, 0.1f, -0.5f, kSoftLimitKnee, -kSoftLimitKnee}) {
        EXPECT_EQ(softLimit(x), x);
    }
    float previous = 0;
    for (float x = 0.0f; x < 8.0f; x += 0.01f) {
        const float y = softLimit(x);
        EXPECT_GE(y, previous) << x;
        EXPECT_LE(y, kSoftLimitCeiling) << x;
        EXPECT_EQ(softLimit(-x), -y) << x;
        previous = y;
    }
    EXPECT_EQ(softLimit(std::nanf("")), 0.0f);
}

TEST(SoundReader, MoviesWithoutSoundOrWithDamage) {
    test::TempDir dir;
    // No sound track: no sources, and reads are silence.
    const std::string silent = dir.file("silent.mov");
    ASSERT_TRUE(runFfmpeg("-f lavfi -i color=black:s=64x64:r=30:d=1 -c:v libx264 -pix_fmt yuv420p \"" +
                          silent + "\""));
    auto r = openOrFail(silent);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->empty());
    std::vector<float> out(2048, 1.0f);
    r->readMixed(out.data(), 1024, SoundMix{});
    EXPECT_EQ(rms(out), 0.0);

    // Missing and not-a-movie files fail to open with a message.
    auto missing = SoundReader::open(dir.file("nothing-here.mov"));
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("nothing-here.mov"), std::string::npos);
    ASSERT_TRUE(test::writeText(dir.file("text.mov"), "not a movie at all"));
    EXPECT_FALSE(SoundReader::open(dir.file("text.mov")));

    // A movie cut off part-way reads what is there and silence after it.
    const std::string cut = dir.file("cut.mov");
    ASSERT_TRUE(test::writePrefix(twoTrackMovie(), cut, test::fileSize(twoTrackMovie()) * 6 / 10));
    auto opened = SoundReader::open(cut);
    if (opened) { // a cut that lost the index may not open at all; both are fine
        const auto mic = readTrack(*opened.value(), SoundKind::Microphone, 5.0);
        EXPECT_EQ(mic.size(), static_cast<std::size_t>(5 * kSoundRate * kSoundChannels));
    }
}

} // namespace
} // namespace orvane
