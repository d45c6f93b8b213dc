// The take's sound on the output clock of its sections: a cut is joined
// without a click, each kept part starts at the sample its output time gives,
// a sped-up part keeps its pitch and one above 4x is silent.
#include "media/SectionSound.h"
#include "media/SoundReader.h"
#include "tests/support/MovieFixtures.h"
#include "tests/support/TimelineFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace orvane;

namespace {

// 6 s: a steady 440 Hz tone at 0.5 on the microphone track, and a 1 kHz
// burst from 4.0 to 4.2 s on top.
std::string toneMovie() {
    return test::cachedFixture("sound-steady-tone.mov", [](const std::string& path) {
        return test::runFfmpeg(
            "-f lavfi -i color=black:s=64x64:r=30:d=6 "
            "-f lavfi -i \"aevalsrc=0.5*sin(2*PI*440*t)+if(between(t\\,4\\,4.2)\\,0.4*sin(2*PI*1000*t)\\,0)"
            ":s=48000:c=stereo:d=6\" "
            "-map 0:v -map 1:a -c:v libx264 -pix_fmt yuv420p -c:a pcm_s16le "
            "-metadata:s:a:0 handler_name=\"Orvane microphone\" \"" + path + "\"");
    });
}

Section part(double a, double b, double speed = 1, bool cut = false) {
    return test::section(a, b, speed, cut);
}

// `seconds` of output from `at`, in uneven reads, left channel only.
std::vector<float> readLeft(SectionSound& sound, double at, double seconds) {
    sound.seek(at);
    const int total = static_cast<int>(seconds * kSoundRate);
    std::vector<float> block(2048 * kSoundChannels);
    std::vector<float> left;
    int piece = 331;
    while (static_cast<int>(left.size()) < total) {
        const int n = std::min(piece, total - static_cast<int>(left.size()));
        sound.readMixed(block.data(), n, SoundMix{});
        for (int i = 0; i < n; ++i) {
            left.push_back(block[static_cast<std::size_t>(i * kSoundChannels)]);
        }
        piece = piece == 331 ? 2048 : 331;
    }
    return left;
}

double frequency(const std::vector<float>& s, double from, double to) {
    int crossings = 0;
    const auto a = static_cast<std::size_t>(from * kSoundRate);
    const auto b = static_cast<std::size_t>(to * kSoundRate);
    for (std::size_t i = a + 1; i < b; ++i) {
        crossings += (s[i - 1] < 0) != (s[i] < 0) ? 1 : 0;
    }
    return crossings / 2.0 / (to - from);
}

double biggestStep(const std::vector<float>& s, double from, double to) {
    double biggest = 0;
    for (auto i = static_cast<std::size_t>(from * kSoundRate) + 1;
         i < static_cast<std::size_t>(to * kSoundRate); ++i) {
        biggest = std::max(biggest, static_cast<double>(std::fabs(s[i] - s[i - 1])));
    }
    return biggest;
}

} // namespace

TEST(SectionSound, ACutIsJoinedWithoutAClickAndTheRestStartsOnItsSample) {
    auto reader = SoundReader::open(toneMovie());
    ASSERT_TRUE(reader) << reader.error();
    // The cut takes 0.50114 s: 220.5 periods of the tone, so the two sides
    // meet in opposite phase, the worst click there could be.
    const double cutEnd = 1 + 220.5 / 440;
    SectionSound sound(*reader.value(), TimeMap({part(0, 1), part(1, cutEnd, 1, true),
                                                 part(cutEnd, 6)}));
    const auto out = readLeft(sound, 0, 4);
    // A 440 Hz sine at 0.5 changes by at most 0.029 from one sample to the next.
    const double steady = biggestStep(out, 0.5, 0.9);
    const double join = biggestStep(out, 0.99, 1.02);
    std::printf("largest step: %.4f steady, %.4f across the cut\n", steady, join);
    EXPECT_LT(join, 2 * steady) << "the crossfade leaves no click";
    // The burst at 4.0 s of the take is at 4.0 - 0.50114 s of output, to the sample.
    const auto onset = std::find_if(out.begin() + static_cast<std::ptrdiff_t>(3.2 * kSoundRate),
                                    out.end(), [](float v) { return std::fabs(v) > 0.75F; });
    ASSERT_NE(onset, out.end());
    const double at = static_cast<double>(onset - out.begin()) / kSoundRate;
    EXPECT_NEAR(at, 4.0 - (cutEnd - 1), 0.002);
    // Read again from a seek past the cut: the same samples.
    const auto again = readLeft(sound, 3.4, 0.2);
    for (std::size_t i = 0; i < again.size(); i += 97) {
        EXPECT_NEAR(again[i], out[static_cast<std::size_t>(3.4 * kSoundRate) + i], 1e-6);
    }
}

TEST(SectionSound, SpedUpPartsKeepThePitchAndAbove4xAreSilent) {
    auto reader = SoundReader::open(toneMovie());
    ASSERT_TRUE(reader) << reader.error();
    // 0-1 as recorded, 1-3 at 2x (1 s out), 3-5 at 8x (0.25 s), 5-6 at 0.5x (2 s).
    SectionSound sound(*reader.value(), TimeMap({part(0, 1), part(1, 3, 2), part(3, 5, 8),
                                                 part(5, 6, 0.5)}));
    const auto out = readLeft(sound, 0, 4.25);
    EXPECT_NEAR(frequency(out, 0.2, 0.9), 440, 5);
    EXPECT_NEAR(frequency(out, 1.2, 1.9), 440, 8) << "2x, pitch kept";
    EXPECT_NEAR(frequency(out, 2.4, 4.1), 440, 8) << "0.5x, pitch kept";
    double loud = 0;
    for (auto i = static_cast<std::size_t>(2.02 * kSoundRate); i < static_cast<std::size_t>(2.23 * kSoundRate); ++i) {
        loud = std::max(loud, static_cast<double>(std::fabs(out[i])));
    }
    EXPECT_LT(loud, 1e-6) << "8x is silent";
}
