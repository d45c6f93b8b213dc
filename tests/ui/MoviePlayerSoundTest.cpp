// MoviePlayer with sound, through a fake speaker that plays in real time: the
// sound is the clock while playing, the picture follows it, and without sound
// or without an output the player keeps its own clock.
#include "FakeSpeaker.h"
#include "SoundMovieFixtures.h"
#include "tests/support/MovieFixtures.h"
#include "ui/player/MoviePlayer.h"
#include "ui/preview/ZoomHostView.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace orvane;
using namespace orvane::test;
using orvane::ui::MoviePlayer;

class PlayerSoundTest : public ::testing::Test {
protected:
    void open(MoviePlayer& player, const std::string& path) {
        player.open(QString::fromStdString(path));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return player.status() != MoviePlayer::Status::Loading; }, 5000));
        ASSERT_EQ(player.status(), MoviePlayer::Status::Ready)
            << player.errorMessage().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentFrame() != nullptr; }, 5000));
    }
    std::shared_ptr<SpeakerProbe> probe = std::make_shared<SpeakerProbe>();
};

TEST_F(PlayerSoundTest, WhilePlayingThePlayheadIsTheSoundBeingHeard) {
    const std::string path = toneMovie(ToneMovie{});
    ASSERT_FALSE(path.empty());
    // A speaker whose clock runs at 0.8: the picture must keep to it.
    MoviePlayer player(fakeSpeakers(probe, 0.8));
    QSignalSpy kinds(&player, &MoviePlayer::soundKindsChanged);
    open(player, path);
    ASSERT_TRUE(kinds.count() == 1 || kinds.wait(2000));
    EXPECT_EQ(player.soundKinds(), std::vector<SoundKind>{SoundKind::Microphone});

    player.seekExact(0.5);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            auto f = player.currentFrame();
            return f && std::abs(f->time - 0.5) < 0.02;
        },
        5000));
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentTime() > 0.5; }, 2000))
        << "the sound never started";
    EXPECT_TRUE(player.soundIsClock());
    const double start = player.currentTime();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(1000);
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double moved = player.currentTime() - start;
    EXPECT_NEAR(moved, 0.8 * elapsed, 0.04) << "the playhead ran on the wall clock";
    // The frame on screen is the one of the playhead.
    auto f = player.currentFrame();
    ASSERT_TRUE(f);
    EXPECT_NEAR(f->time, player.currentTime(), 1.0 / 30 + 0.02);

    player.pause();
    EXPECT_FALSE(player.soundIsClock());
    const double paused = player.currentTime();
    QTest::qWait(100);
    EXPECT_EQ(player.currentTime(), paused);
    EXPECT_TRUE(QTest::qWaitFor([&] { return probe->paused; }, 1000)) << "the speaker plays on";
}

TEST_F(PlayerSoundTest, ASeekWhilePlayingRestartsTheSoundWhereThePictureLands) {
    const std::string path = toneMovie(ToneMovie{});
    ASSERT_FALSE(path.empty());
    MoviePlayer player(fakeSpeakers(probe));
    open(player, path);
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentTime() > 0.2; }, 2000));
    player.seekExact(1.5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentTime() > 1.55; }, 2000));
    EXPECT_LT(player.currentTime(), 1.7);
    const std::vector<float> heard = probe->copy();
    // Everything written since the seek is the tone (1.0...2.0 s): nothing
    // from before the seek is left.
    ASSERT_GE(heard.size(), 2400u * kSoundChannels);
    EXPECT_NEAR(rms(heard.data(), 2400), 0.3 / std::sqrt(2.0), 0.02);
}

TEST_F(PlayerSoundTest, TheMixIsHandedToTheSound) {
    const std::string path = toneMovie(ToneMovie{});
    ASSERT_FALSE(path.empty());
    MoviePlayer player(fakeSpeakers(probe));
    SoundMix mix;
    mix.microphoneMuted = true;
    player.setSoundMix(mix); // before open: kept for the movie to come
    open(player, path);
    EXPECT_EQ(player.soundMix(), mix);
    player.seekExact(1.2);
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentTime() > 1.4; }, 2000));
    std::vector<float> heard = probe->copy();
    ASSERT_GE(heard.size(), 4800u * kSoundChannels);
    EXPECT_EQ(rms(heard.data(), heard.size() / kSoundChannels), 0.0) << "muted, yet heard";
}

TEST_F(PlayerSoundTest, WithoutAnOutputThePictureKeepsItsOwnClockAndSaysSoOnce) {
    const std::string path = toneMovie(ToneMovie{});
    ASSERT_FALSE(path.empty());
    MoviePlayer player(noSpeakers(probe));
    QSignalSpy unavailable(&player, &MoviePlayer::soundUnavailable);
    open(player, path);
    ASSERT_TRUE(unavailable.count() == 1 || unavailable.wait(2000));
    EXPECT_TRUE(unavailable.at(0).at(0).toString().contains(QStringLiteral("No sound server")));
    for (int i = 0; i < 2; ++i) {
        player.seekExact(0.5);
        player.play();
        QElapsedTimer wall;
        wall.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentTime() > 0.5; }, 1000));
        QTest::qWait(500);
        const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        EXPECT_FALSE(player.soundIsClock());
        EXPECT_NEAR(player.currentTime() - 0.5, elapsed, 0.05);
        player.pause();
    }
    EXPECT_EQ(unavailable.count(), 1) << "said once per movie, not per play";
}

TEST_F(PlayerSoundTest, AMovieWithoutSoundPlaysOnItsOwnClockWithoutAnOutput) {
    IndexMovie m;
    const std::string path = cachedFixture(
        indexMovieKey(m) + ".mp4", [&](const std::string& out) { return makeIndexMovie(out, m); });
    ASSERT_FALSE(path.empty());
    MoviePlayer player(fakeSpeakers(probe));
    QSignalSpy kinds(&player, &MoviePlayer::soundKindsChanged);
    QSignalSpy unavailable(&player, &MoviePlayer::soundUnavailable);
    open(player, path);
    ASSERT_TRUE(kinds.count() == 1 || kinds.wait(2000));
    EXPECT_TRUE(player.soundKinds().empty());
    player.play();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(500);
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    EXPECT_NEAR(player.currentTime(), elapsed, 0.05);
    EXPECT_EQ(unavailable.count(), 0);
    EXPECT_EQ(probe->opened, 0);
}

TEST_F(PlayerSoundTest, TwoTracksAreReportedAndCloseForgetsThem) {
    ToneMovie m;
    m.tracks = {ToneTrack{SoundKind::Microphone},
                ToneTrack{SoundKind::Desktop, 0.5, 1.0, 0.2, 880}};
    const std::string path = toneMovie(m);
    ASSERT_FALSE(path.empty());
    MoviePlayer player(fakeSpeakers(probe));
    QSignalSpy kinds(&player, &MoviePlayer::soundKindsChanged);
    open(player, path);
    ASSERT_TRUE(kinds.count() == 1 || kinds.wait(2000));
    EXPECT_EQ(player.soundKinds(),
              (std::vector<SoundKind>{SoundKind::Microphone, SoundKind::Desktop}));
    player.play();
    QTest::qWait(100);
    player.close();
    EXPECT_TRUE(player.soundKinds().empty());
    EXPECT_EQ(kinds.count(), 2);
    EXPECT_FALSE(player.soundIsClock());
}

// After a pause, playing again starts the sound where the playhead stopped:
// the tone (from 1.0 s) comes exactly as far into the new run as the
// playhead was short of it.
TEST_F(PlayerSoundTest, PlayAfterPauseResumesTheSoundAtThePlayhead) {
    const std::string path = toneMovie(ToneMovie{});
    ASSERT_FALSE(path.empty());
    MoviePlayer player(fakeSpeakers(probe));
    open(player, path);
    player.seekExact(0.4);
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentTime() > 0.7; }, 3000));
    player.pause();
    const double stopped = player.currentTime();
    ASSERT_LT(stopped, 0.95);
    const int flushes = probe->flushes;
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentTime() > 1.1; }, 3000));
    EXPECT_GT(probe->flushes, flushes);
    const std::vector<float> heard = probe->copy();
    long first = -1;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        if (std::fabs(heard[i]) > 0.02f) {
            first = static_cast<long>(i / kSoundChannels);
            break;
        }
    }
    ASSERT_GE(first, 0) << "the tone was not played";
    EXPECT_NEAR(static_cast<double>(first) / kSoundRate, 1.0 - stopped, 0.002);
}

// The preview is handed the look, sound mix included, and the player it
// draws plays the sound at that mix.
TEST_F(PlayerSoundTest, ThePreviewHandsTheLooksMixToThePlayer) {
    MoviePlayer player(fakeSpeakers(probe));
    ZoomPlayer settings;
    settings.look.sound.desktopVolume = 0.25;
    ZoomHostView view(player, settings);
    EXPECT_EQ(player.soundMix(), settings.look.sound);
    settings.look.sound.microphoneMuted = true;
    settings.look.sound.microphoneVolume = 1.75;
    view.update(settings);
    EXPECT_EQ(player.soundMix(), settings.look.sound);
}

} // namespace
