// The player's sound through a real sound server (tests/support/with-sound.sh):
// what the default output's monitor hears is checked against the playhead.
// The movie is silent but for a 440 Hz tone from 1.0 s to 2.0 s.
#include "SoundMovieFixtures.h"
#include "ui/player/MoviePlayer.h"
#include "ui/player/PulseSoundOutput.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <thread>

namespace {

using namespace orvane;
using namespace orvane::test;
using orvane::ui::MoviePlayer;
using Clock = std::chrono::steady_clock;

constexpr float kLoud = 0.05f; // a sample of the tone, not of silence
constexpr double kToneStart = 1.0;

double seconds(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// Records the default output's monitor on a thread of its own, stamping each
// frame with the steady-clock time it was played at (the read's return time
// less the frames after it in the block; blocks are 5 ms).
class MonitorRecorder {
public:
    MonitorRecorder() {
        const char* sink = std::getenv("ORVANE_TEST_SPEAKERS");
        const std::string monitor =
            std::string(sink != nullptr ? sink : "orvane_speakers") + ".monitor";
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kSoundRate, kSoundChannels};
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(kBlock * sizeof(float) * kSoundChannels);
        int error = 0;
        pa_ = pa_simple_new(nullptr, "orvane-test", PA_STREAM_RECORD, monitor.c_str(), "monitor",
                            &spec, nullptr, &attr, &error);
        if (pa_ == nullptr) {
            error_ = pa_strerror(error);
            return;
        }
        thread_ = std::thread([this] { run(); });
    }
    ~MonitorRecorder() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        if (pa_ != nullptr) {
            pa_simple_free(pa_);
        }
    }
    const std::string& error() const { return error_; }

    // Waits until the monitor delivers sound steadily. An idle null sink
    // renders in two-second blocks and takes up to that long to notice that
    // a client wants a short latency; reading its monitor with a short
    // fragment makes it switch, and this waits until it has.
    bool waitUntilFlowing() {
        for (int i = 0; i < 60; ++i) {
            const std::size_t before = total();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (total() - before >= 4000) { // 100 ms at 48 kHz is 4800 frames
                return true;
            }
        }
        return false;
    }
    std::size_t total() {
        const std::lock_guard<std::mutex> g(mutex_);
        return times_.size();
    }

    // The first time in [from, to) at which a loud sample was heard, or NaN.
    double firstLoud(double from, double to) {
        const std::lock_guard<std::mutex> g(mutex_);
        for (std::size_t i = 0; i < times_.size(); ++i) {
            if (times_[i] >= from && times_[i] < to &&
                std::fabs(samples_[i * kSoundChannels]) > kLoud) {
                return times_[i];
            }
        }
        return NAN;
    }
    // The last time in [from, to) at which a loud sample was heard, or NaN.
    double lastLoud(double from, double to) {
        const std::lock_guard<std::mutex> g(mutex_);
        double last = NAN;
        for (std::size_t i = 0; i < times_.size(); ++i) {
            if (times_[i] >= from && times_[i] < to &&
                std::fabs(samples_[i * kSoundChannels]) > kLoud) {
                last = times_[i];
            }
        }
        return last;
    }
    // Frames heard in [from, to).
    std::size_t framesIn(double from, double to) {
        const std::lock_guard<std::mutex> g(mutex_);
        std::size_t n = 0;
        for (double t : times_) {
            n += (t >= from && t < to) ? 1 : 0;
        }
        return n;
    }

private:
    static constexpr int kBlock = 240; // 5 ms

    void run() {
        std::vector<float> block(static_cast<std::size_t>(kBlock) * kSoundChannels);
        while (!stop_) {
            int error = 0;
            if (pa_simple_read(pa_, block.data(), block.size() * sizeof(float), &error) < 0) {
                return;
            }
            // The monitor hands a block over as the sink plays it: its last
            // frame was played just before the read returned.
            const double end = seconds(Clock::now());
            const std::lock_guard<std::mutex> g(mutex_);
            for (int i = 0; i < kBlock; ++i) {
                times_.push_back(end - static_cast<double>(kBlock - i) / kSoundRate);
            }
            samples_.insert(samples_.end(), block.begin(), block.end());
        }
    }

    pa_simple* pa_ = nullptr;
    std::string error_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<double> times_;
    std::vector<float> samples_;
    std::thread thread_;
};

// The playhead over time, from the player's time signal.
class PlayheadLog {
public:
    explicit PlayheadLog(MoviePlayer& player) {
        QObject::connect(&player, &MoviePlayer::timeChanged, &context_,
                         [this](double t) { points_.emplace_back(seconds(Clock::now()), t); });
    }
    // When the playhead passed `t` after steady time `after`, interpolated; NaN if it did not.
    double passed(double t, double after) const {
        for (std::size_t i = 1; i < points_.size(); ++i) {
            const auto [w0, t0] = points_[i - 1];
            const auto [w1, t1] = points_[i];
            if (w0 >= after && t0 < t && t1 >= t && t1 - t0 < 0.1) {
                return w0 + (w1 - w0) * (t - t0) / (t1 - t0);
            }
        }
        return NAN;
    }

private:
    QObject context_;
    std::vector<std::pair<double, double>> points_;
};

class PlayerSoundServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr)
            << "run through tests/support/with-sound.sh";
        path = toneMovie(ToneMovie{});
        ASSERT_FALSE(path.empty()) << "ffmpeg could not make the test movie";
    }
    void openAt(MoviePlayer& player, double t) {
        player.open(QString::fromStdString(path));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return player.status() == MoviePlayer::Status::Ready; }, 5000));
        player.seekExact(t);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                auto f = player.currentFrame();
                return f && std::abs(f->time - t) < 0.04;
            },
            5000));
    }
    bool playUntil(MoviePlayer& player, double t) {
        return QTest::qWaitFor([&] { return player.currentTime() >= t; }, 5000);
    }
    std::string path;
};

TEST_F(PlayerSoundServerTest, WhatIsHeardIsWhereThePlayheadIsAcrossSeeks) {
    MoviePlayer player;
    QSignalSpy unavailable(&player, &MoviePlayer::soundUnavailable);
    MonitorRecorder monitor;
    ASSERT_TRUE(monitor.error().empty()) << monitor.error();
    ASSERT_TRUE(monitor.waitUntilFlowing());
    openAt(player, 0.6);
    PlayheadLog log(player);
    const double begin = seconds(Clock::now());
    player.play();
    ASSERT_TRUE(playUntil(player, 1.3));
    EXPECT_TRUE(player.soundIsClock()) << "playing with sound, on another clock";

    // The playhead passes the tone's start when the tone is heard.
    const double passed1 = log.passed(kToneStart, begin);
    const double heard1 = monitor.firstLoud(begin, begin + 10);
    ASSERT_FALSE(std::isnan(passed1));
    ASSERT_FALSE(std::isnan(heard1)) << "the tone was never heard";
    EXPECT_NEAR(heard1, passed1, 0.030);
    std::printf("tone heard - playhead at the tone, first play: %+.1f ms\n",
                (heard1 - passed1) * 1e3);

    // A seek from inside the tone into silence: nothing of the old place is
    // heard after it.
    const double seek1 = seconds(Clock::now());
    player.seekExact(2.3);
    ASSERT_TRUE(playUntil(player, 2.6));
    const double afterSilence = seconds(Clock::now());
    EXPECT_TRUE(std::isnan(monitor.lastLoud(seek1 + 0.050, afterSilence)))
        << "the tone went on after the seek";
    EXPECT_FALSE(std::isnan(monitor.lastLoud(seek1 - 0.2, seek1))) << "no tone before the seek";

    // A seek to just before the tone: heard again when the playhead gets there.
    const double seek2 = seconds(Clock::now());
    player.seekExact(0.8);
    ASSERT_TRUE(playUntil(player, 1.2));
    const double passed2 = log.passed(kToneStart, seek2);
    const double heard2 = monitor.firstLoud(seek2, seek2 + 10);
    ASSERT_FALSE(std::isnan(passed2));
    ASSERT_FALSE(std::isnan(heard2));
    EXPECT_NEAR(heard2, passed2, 0.030);
    std::printf("tone heard - playhead at the tone, after a seek: %+.1f ms\n",
                (heard2 - passed2) * 1e3);
    // Playing went on in real time on the sound's clock.
    EXPECT_GT(monitor.framesIn(seek2, seconds(Clock::now())), 0u);
    player.pause();
    EXPECT_EQ(unavailable.count(), 0);
}

TEST_F(PlayerSoundServerTest, ThePlayheadFollowsTheSoundForASecond) {
    MonitorRecorder monitor;
    ASSERT_TRUE(monitor.error().empty()) << monitor.error();
    ASSERT_TRUE(monitor.waitUntilFlowing());
    MoviePlayer player;
    openAt(player, 0.2);
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentTime() > 0.2; }, 2000));
    const double t0 = player.currentTime();
    QElapsedTimer wall;
    wall.start();
    int samples = 0;
    double lastT = t0;
    bool monotonic = true;
    while (wall.elapsed() < 1000) {
        QTest::qWait(20);
        const double t = player.currentTime();
        monotonic = monotonic && t >= lastT;
        lastT = t;
        ++samples;
        EXPECT_TRUE(player.soundIsClock());
    }
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    EXPECT_TRUE(monotonic) << "the sound clock went back";
    // The server plays in real time, so the sound's clock keeps to the wall
    // clock; the margin leaves room for a short underrun on a loaded machine,
    // during which the playhead rightly waits for the sound.
    EXPECT_NEAR(player.currentTime() - t0, elapsed, 0.05);
    EXPECT_GT(samples, 20);
}

TEST_F(PlayerSoundServerTest, MutedIsSilentAndANewMixIsHeardWithinATenthOfASecond) {
    MoviePlayer player;
    SoundMix muted;
    muted.microphoneMuted = true;
    player.setSoundMix(muted);
    MonitorRecorder monitor;
    ASSERT_TRUE(monitor.error().empty()) << monitor.error();
    ASSERT_TRUE(monitor.waitUntilFlowing());
    openAt(player, 1.1);
    const double begin = seconds(Clock::now());
    player.play();
    ASSERT_TRUE(playUntil(player, 1.4));
    const double unmute = seconds(Clock::now());
    EXPECT_TRUE(std::isnan(monitor.firstLoud(begin, unmute))) << "muted, yet heard";
    EXPECT_GT(monitor.framesIn(begin, unmute), 4800u) << "the monitor heard nothing at all";

    player.setSoundMix(SoundMix{});
    ASSERT_TRUE(playUntil(player, 1.6));
    const double heard = monitor.firstLoud(unmute, unmute + 10);
    ASSERT_FALSE(std::isnan(heard)) << "unmuted, yet silent";
    EXPECT_LE(heard - unmute, 0.100);

    const double mute = seconds(Clock::now());
    player.setSoundMix(muted);
    ASSERT_TRUE(playUntil(player, 1.9));
    EXPECT_TRUE(std::isnan(monitor.lastLoud(mute + 0.100, seconds(Clock::now()))))
        << "still heard a tenth of a second after the mute";
    EXPECT_FALSE(std::isnan(monitor.lastLoud(mute - 0.1, mute))) << "not heard before the mute";
    player.pause();
}

TEST(PlayerWithoutSoundServer, PlaysThePictureOnItsOwnClockAndSaysWhyOnce) {
    const std::string path = toneMovie(ToneMovie{});
    ASSERT_FALSE(path.empty());
    const std::string server =
        std::getenv("PULSE_SERVER") != nullptr ? std::getenv("PULSE_SERVER") : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/orvane-no-server", 1);
    QElapsedTimer opening;
    opening.start();
    auto direct = ui::PulseSoundOutput::open();
    EXPECT_LT(opening.elapsed(), 2500) << "waited too long for a server that is not there";
    ASSERT_FALSE(direct.ok());
    EXPECT_EQ(direct.errorKind(), ErrorKind::NotFound) << direct.error();

    {
        MoviePlayer player;
        QSignalSpy unavailable(&player, &MoviePlayer::soundUnavailable);
        player.open(QString::fromStdString(path));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return player.status() == MoviePlayer::Status::Ready; }, 5000));
        ASSERT_TRUE(unavailable.count() == 1 || unavailable.wait(3000));
        player.play();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(400);
        EXPECT_FALSE(player.soundIsClock());
        EXPECT_NEAR(player.currentTime(), static_cast<double>(wall.nsecsElapsed()) / 1e9, 0.05);
        player.pause();
        player.play();
        QTest::qWait(100);
        EXPECT_EQ(unavailable.count(), 1);
    }
    setenv("PULSE_SERVER", server.c_str(), 1);
}

} // namespace

// Through the take's sections, the sound follows the output clock: the tone
// at 1 s of the take is heard when the playhead gets there, as soon as the
// cut before it (or the 2x part) lets it.
TEST_F(PlayerSoundServerTest, TheSoundFollowsACutAndASpedUpPart) {
    MonitorRecorder monitor;
    ASSERT_TRUE(monitor.error().empty()) << monitor.error();
    ASSERT_TRUE(monitor.waitUntilFlowing());
    struct Case {
        const char* name;
        orvane::TimeMap map;
        double outputToTone; // output seconds from 0.1 s of the take to the tone
    };
    const Case cases[] = {
        {"cut 0.4-0.9", orvane::TimeMap({{0, 0.4}, {0.4, 0.9, true}, {0.9, 3}}), 0.4},
        {"2x from 0.5", orvane::TimeMap({{0, 0.5}, {0.5, 3, false, 2}}), 0.4 + 0.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MoviePlayer player;
        player.setTimeMap(c.map);
        openAt(player, 0.1);
        PlayheadLog log(player);
        const double begin = seconds(Clock::now());
        player.play();
        ASSERT_TRUE(playUntil(player, 1.4));
        EXPECT_TRUE(player.soundIsClock());
        const double passed = log.passed(kToneStart, begin);
        const double heard = monitor.firstLoud(begin, begin + 10);
        ASSERT_FALSE(std::isnan(passed));
        ASSERT_FALSE(std::isnan(heard)) << "the tone was never heard";
        std::printf("%s: tone heard %.0f ms after play (output time says %.0f), %+.1f ms from "
                    "the playhead\n",
                    c.name, (heard - begin) * 1e3, c.outputToTone * 1e3, (heard - passed) * 1e3);
        EXPECT_NEAR(heard, passed, 0.030);
        // Play starts when the first sound is heard, a little after `begin`.
        EXPECT_GT(heard - begin, c.outputToTone - 0.02);
        EXPECT_LT(heard - begin, c.outputToTone + 0.25);
        player.pause();
        QTest::qWait(200); // the tone's tail fades before the next case
    }
}
