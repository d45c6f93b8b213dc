// The player's sound: the clock worked out from what the output reports, and
// the worker that feeds the output, on real movies with sound and a fake
// speaker that plays in real time (FakeSpeaker.h).
#include "ui/player/SoundPlayback.h"

#include "FakeSpeaker.h"
#include "SoundMovieFixtures.h"
#include "tests/support/MovieFixtures.h"
#include "ui/player/SoundClock.h"

#include <QTest>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace orvane;
using namespace orvane::test;
using orvane::ui::SoundClockReading;
using orvane::ui::SoundPlayback;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The first frame louder than `threshold`, or -1.
long firstLoudFrame(const std::vector<float>& s, float threshold = 0.02f) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::fabs(s[i]) > threshold) {
            return static_cast<long>(i / kSoundChannels);
        }
    }
    return -1;
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::size_t framesSinceFlush(SpeakerProbe& p) {
    const std::lock_guard<std::mutex> g(p.mutex);
    return p.sinceFlush.size() / kSoundChannels;
}

// --- The clock ----------------------------------------------------------------

TEST(SoundClock, HeardIsTheLastWrittenFrameLessTheLatencyCarriedOnByTime) {
    const auto t0 = Clock::now();
    SoundClockReading r{1, 2.0, 24000, 0.1, t0}; // written up to 2.5 s, 0.1 s queued
    EXPECT_NEAR(r.writtenEnd(), 2.5, 1e-12);
    EXPECT_NEAR(r.heard(t0), 2.4, 1e-9);
    EXPECT_NEAR(r.heard(t0 + 50ms), 2.45, 1e-9);
    // The queue ran dry: never past the last frame written.
    EXPECT_NEAR(r.heard(t0 + 1s), 2.5, 1e-9);
    // A reading older than `now` (a clock read before it) does not go back.
    EXPECT_NEAR(r.heard(t0 - 10ms), 2.4, 1e-9);
    // Before anything of the run is heard: its start, not earlier.
    SoundClockReading early{1, 2.0, 960, 0.2, t0};
    EXPECT_NEAR(early.heard(t0), 2.0, 1e-12);
    EXPECT_NEAR(early.heard(t0 + 190ms), 2.01, 1e-9);
}

// --- The worker ----------------------------------------------------------------

class SoundPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = toneMovie(ToneMovie{}); // 440 Hz at 0.3 from 1.0 s to 2.0 s
        ASSERT_FALSE(path.empty()) << "ffmpeg could not make the test movie";
    }
    std::unique_ptr<SoundPlayback> make(ui::SoundOutputFactory factory) {
        auto p = std::make_unique<SoundPlayback>(
            path, std::move(factory),
            [this](std::vector<SoundKind> k) {
                const std::lock_guard<std::mutex> g(mutex);
                kinds = std::move(k);
                kindsKnown = true;
            },
            [this](const std::string& m) {
                const std::lock_guard<std::mutex> g(mutex);
                messages.push_back(m);
            });
        return p;
    }
    std::string path;
    std::shared_ptr<SpeakerProbe> probe = std::make_shared<SpeakerProbe>();
    std::mutex mutex;
    std::vector<SoundKind> kinds;
    bool kindsKnown = false;
    std::vector<std::string> messages;
};

TEST_F(SoundPlaybackTest, ARunPlaysFromItsPlaceAndANewRunDropsWhatWasQueued) {
    auto sound = make(fakeSpeakers(probe));
    ASSERT_TRUE(waitFor([&] { return sound->state() != SoundPlayback::State::Opening; }));
    ASSERT_EQ(sound->state(), SoundPlayback::State::Ready);
    EXPECT_EQ(kinds, std::vector<SoundKind>{SoundKind::Microphone});
    EXPECT_TRUE(probe->paused) << "nothing plays before a start";

    sound->start(0.5);
    ASSERT_TRUE(waitFor([&] { return framesSinceFlush(*probe) >= 36000; })); // 0.75 s
    const std::vector<float> first = probe->copy();
    // The tone starts 0.5 s into this run; AAC keeps it to within a few frames.
    EXPECT_NEAR(static_cast<double>(firstLoudFrame(first)), 24000, 48);
    EXPECT_FALSE(probe->paused);

    const int flushes = probe->flushes;
    sound->start(1.5); // a seek into the tone
    ASSERT_TRUE(
        waitFor([&] { return probe->flushes > flushes && framesSinceFlush(*probe) >= 4800; }));
    const std::vector<float> second = probe->copy();
    // Nothing of the old place (silence before 1.0 s) is left: the tone from the first frame.
    EXPECT_LE(firstLoudFrame(second), 20);
    EXPECT_NEAR(rms(second.data(), 4800), 0.3 / std::sqrt(2.0), 0.02);

    sound->stop();
    ASSERT_TRUE(waitFor([&] { return probe->paused; }));
    EXPECT_FALSE(sound->heard(Clock::now()).has_value()) << "stopped: no sound clock";
    const long long written = [&] {
        const std::lock_guard<std::mutex> g(probe->mutex);
        return probe->writtenTotal;
    }();
    std::this_thread::sleep_for(100ms);
    const std::lock_guard<std::mutex> g(probe->mutex);
    EXPECT_EQ(probe->writtenTotal, written) << "stopped, yet still writing";
}

TEST_F(SoundPlaybackTest, TheHeardTimeFollowsTheSpeakersOwnClock) {
    // A speaker that plays 0.8 s of sound per second: the heard time must
    // follow it, not the wall clock.
    auto sound = make(fakeSpeakers(probe, 0.8));
    ASSERT_TRUE(waitFor([&] { return sound->state() == SoundPlayback::State::Ready; }));
    sound->start(0.25);
    ASSERT_TRUE(waitFor([&] { return sound->heard(Clock::now()).has_value(); }, 1s));
    const auto began = Clock::now();
    const double atBegin = *sound->heard(began);
    EXPECT_NEAR(atBegin, 0.25, 0.03);
    std::this_thread::sleep_for(1s);
    const auto now = Clock::now();
    const double wall = std::chrono::duration<double>(now - began).count();
    const double heard = *sound->heard(now);
    EXPECT_NEAR(heard - atBegin, 0.8 * wall, 0.03);
}

TEST_F(SoundPlaybackTest, ANewMixIsHeardWithinABlockAndTheQueue) {
    auto sound = make(fakeSpeakers(probe));
    ASSERT_TRUE(waitFor([&] { return sound->state() == SoundPlayback::State::Ready; }));
    sound->start(1.1);
    ASSERT_TRUE(waitFor([&] { return framesSinceFlush(*probe) >= 9600; }));
    SoundMix loud;
    loud.microphoneVolume = 2.0;
    const std::size_t before = framesSinceFlush(*probe);
    sound->setMix(loud);
    ASSERT_TRUE(waitFor([&] { return framesSinceFlush(*probe) >= before + 9600; }));
    std::vector<float> s = probe->copy();
    // At most one block written before the new mix was seen.
    const float* after = s.data() + (before + SoundPlayback::kBlockFrames) * kSoundChannels;
    EXPECT_NEAR(rms(after, 4800), 0.6 / std::sqrt(2.0), 0.03);
    EXPECT_NEAR(rms(s.data(), before) * 2, rms(after, 4800), 0.05);

    SoundMix muted = loud;
    muted.microphoneMuted = true;
    const std::size_t beforeMute = framesSinceFlush(*probe);
    sound->setMix(muted);
    ASSERT_TRUE(waitFor([&] { return framesSinceFlush(*probe) >= beforeMute + 4800; }));
    s = probe->copy();
    const float* quiet = s.data() + (beforeMute + SoundPlayback::kBlockFrames) * kSoundChannels;
    EXPECT_EQ(rms(quiet, 4800 - SoundPlayback::kBlockFrames), 0.0);
}

TEST_F(SoundPlaybackTest, AMovieWithoutSoundIsSilentAndOpensNoOutput) {
    IndexMovie m;
    path = cachedFixture(indexMovieKey(m) + ".mp4",
                         [&](const std::string& out) { return makeIndexMovie(out, m); });
    ASSERT_FALSE(path.empty());
    auto sound = make(fakeSpeakers(probe));
    ASSERT_TRUE(waitFor([&] { return sound->state() != SoundPlayback::State::Opening; }));
    EXPECT_EQ(sound->state(), SoundPlayback::State::Silent);
    sound->start(0);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(sound->heard(Clock::now()).has_value());
    const std::lock_guard<std::mutex> g(mutex);
    EXPECT_TRUE(kindsKnown);
    EXPECT_TRUE(kinds.empty());
    EXPECT_TRUE(messages.empty()) << "no sound to miss, nothing to say";
    EXPECT_EQ(probe->opened, 0);
}

TEST_F(SoundPlaybackTest, NoOutputIsSilentAndSaysWhyOnce) {
    auto sound = make(noSpeakers(probe));
    ASSERT_TRUE(waitFor([&] { return sound->state() != SoundPlayback::State::Opening; }));
    EXPECT_EQ(sound->state(), SoundPlayback::State::Silent);
    sound->start(1.0);
    sound->start(1.5);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(sound->heard(Clock::now()).has_value());
    const std::lock_guard<std::mutex> g(mutex);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("No sound server"), std::string::npos) << messages[0];
    EXPECT_EQ(probe->opened, 1);
}

TEST_F(SoundPlaybackTest, AnOutputThatBreaksMidRunGoesSilentKeepingItsLastTime) {
    probe->breakAfter = 12000; // a quarter of a second in
    auto sound = make(fakeSpeakers(probe));
    ASSERT_TRUE(waitFor([&] { return sound->state() == SoundPlayback::State::Ready; }));
    sound->start(0.0);
    ASSERT_TRUE(waitFor([&] { return sound->state() == SoundPlayback::State::Silent; }));
    const std::optional<double> last = sound->heard(Clock::now() + 1s);
    ASSERT_TRUE(last.has_value());
    EXPECT_NEAR(*last, 0.25, 0.011); // up to the last frame written, not beyond
    const std::lock_guard<std::mutex> g(mutex);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("unplugged"), std::string::npos);
}

} // namespace
