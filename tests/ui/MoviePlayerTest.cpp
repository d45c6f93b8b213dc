// MoviePlayer on real movies made with ffmpeg: every frame is a flat grey that
// encodes its index (tests/support/MovieFixtures.h), so the frame on screen
// can be checked against the playhead.
#include "ui/player/MoviePlayer.h"
#include "ui/player/PlaybackDecoder.h"

#include "tests/support/MovieFixtures.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using orvane::ui::MoviePlayer;
using orvane::ui::PlaybackDecoder;
using orvane::ui::PlayerFrame;
using namespace orvane::test;

constexpr double kStep = 1.0 / 30.0;

std::string indexMovie(const std::string& codec) {
    IndexMovie m;
    m.codec = codec;
    const std::string ext = codec == "hevc" ? ".mov" : ".mp4";
    return cachedFixture(indexMovieKey(m) + ext,
                         [&](const std::string& out) { return makeIndexMovie(out, m); });
}

// The index the frame's pixels show, -1 when they do not agree.
int indexOf(const PlayerFrame& frame) {
    const QImage& img = frame.image;
    int found = -2;
    for (const QPoint p : {QPoint(0, 0), QPoint(img.width() / 2, img.height() / 2),
                           QPoint(img.width() - 1, img.height() - 1)}) {
        const QRgb c = img.pixel(p);
        const int k = frameIndexOfGrey(static_cast<std::uint8_t>(qBlue(c)),
                                       static_cast<std::uint8_t>(qGreen(c)),
                                       static_cast<std::uint8_t>(qRed(c)));
        if (k < 0 || (found != -2 && k != found)) {
            return -1;
        }
        found = k;
    }
    return found;
}

class PlayerTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        path = indexMovie(GetParam());
        ASSERT_FALSE(path.empty()) << "ffmpeg could not make the test movie";
        player = std::make_unique<MoviePlayer>();
    }

    void openReady() {
        player->open(QString::fromStdString(path));
        ASSERT_TRUE(QTest::qWaitFor([&] { return player->status() != MoviePlayer::Status::Loading; },
                                    5000));
        ASSERT_EQ(player->status(), MoviePlayer::Status::Ready)
            << player->errorMessage().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return player->currentFrame() != nullptr; }, 5000));
    }

    // Waits until the frame on screen has the given time (after a seek).
    bool waitForFrameAt(double time) {
        return QTest::qWaitFor(
            [&] {
                auto f = player->currentFrame();
                return f && std::abs(f->time - time) < 1e-6;
            },
            5000);
    }

    std::string path;
    std::unique_ptr<MoviePlayer> player;
};

TEST_P(PlayerTest, OpensPausedOnTheFirstFrame) {
    QSignalSpy status(player.get(), &MoviePlayer::statusChanged);
    player->open(QString::fromStdString(path));
    EXPECT_EQ(player->status(), MoviePlayer::Status::Loading);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->status() == MoviePlayer::Status::Ready; },
                                5000));
    ASSERT_EQ(status.count(), 2); // Loading, then Ready
    EXPECT_EQ(status.at(1).at(0).value<MoviePlayer::Status>(), MoviePlayer::Status::Ready);
    EXPECT_EQ(player->videoSize(), QSize(320, 200));
    EXPECT_NEAR(player->duration(), 2.0, 1e-6);
    EXPECT_NEAR(player->frameRate(), 30.0, 1e-6);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(player->currentTime(), 0.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->currentFrame() != nullptr; }, 5000));
    const auto frame = player->currentFrame();
    EXPECT_EQ(frame->image.size(), QSize(320, 200));
    EXPECT_EQ(frame->image.format(), QImage::Format_RGB32);
    EXPECT_EQ(frame->time, 0.0);
    EXPECT_EQ(indexOf(*frame), 0);
    // Paused: the time stays put.
    QTest::qWait(150);
    EXPECT_EQ(player->currentTime(), 0.0);
    EXPECT_EQ(indexOf(*player->currentFrame()), 0);
}

TEST_P(PlayerTest, PlaysEveryFrameAtItsTimeAndReportsTheEnd) {
    openReady();
    QSignalSpy ended(player.get(), &MoviePlayer::playedToEnd);
    QSignalSpy playing(player.get(), &MoviePlayer::playingChanged);
    std::vector<int> shown;
    int early = 0; // frames shown before the playhead reached them
    int late = 0;  // frames shown more than 100 ms after their time
    QObject::connect(player.get(), &MoviePlayer::frameChanged, [&] {
        auto f = player->currentFrame();
        const double now = player->currentTime();
        shown.push_back(indexOf(*f));
        EXPECT_NEAR(f->time, shown.back() * kStep, 1e-6);
        early += f->time > now + 1e-9 ? 1 : 0;
        late += now - f->time > 0.1 ? 1 : 0;
    });
    QElapsedTimer clock;
    clock.start();
    player->play();
    EXPECT_TRUE(player->isPlaying());
    ASSERT_TRUE(ended.wait(6000));
    const double took = static_cast<double>(clock.elapsed()) / 1000.0;
    EXPECT_GT(took, 1.9);
    EXPECT_LT(took, 4.0);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_NEAR(player->currentTime(), 2.0, 1e-9);
    ASSERT_EQ(playing.count(), 2);
    EXPECT_TRUE(playing.at(0).at(0).toBool());
    EXPECT_FALSE(playing.at(1).at(0).toBool());
    // Frames in order, none twice, ending on the last; most of them shown
    // (a loaded machine may skip a few, which is what the clock is for).
    ASSERT_FALSE(shown.empty());
    for (size_t i = 1; i < shown.size(); ++i) {
        EXPECT_GT(shown[i], shown[i - 1]);
    }
    EXPECT_EQ(shown.back(), 59);
    EXPECT_GE(shown.size(), 45u);
    EXPECT_EQ(early, 0);
    EXPECT_LE(late, static_cast<int>(shown.size()) / 10);
    // The end is sticky: no more time passes, no second end.
    QTest::qWait(100);
    EXPECT_NEAR(player->currentTime(), 2.0, 1e-9);
    EXPECT_EQ(ended.count(), 1);
}

TEST_P(PlayerTest, ExactSeekShowsTheFrameHoldingTheTime) {
    openReady();
    for (const double t : {1.0, 0.51, 1.999, 0.0, 29.5 * kStep, 44.99 * kStep, 1.25}) {
        SCOPED_TRACE("t = " + std::to_string(t));
        player->seekExact(t);
        EXPECT_EQ(player->currentTime(), t);
        const int expected = static_cast<int>(std::floor(t / kStep + 1e-9));
        ASSERT_TRUE(waitForFrameAt(expected * kStep));
        const auto f = player->currentFrame();
        EXPECT_EQ(indexOf(*f), expected);
        EXPECT_LE(f->time, t);
        EXPECT_GT(f->time + kStep, t);
        EXPECT_EQ(player->currentTime(), t);
        EXPECT_FALSE(player->isPlaying());
    }
}

TEST_P(PlayerTest, DefaultSeekLandsOnAKeyFrameAtOrBefore) {
    openReady();
    for (const double t : {1.3, 0.75, 1.9, 0.2}) {
        SCOPED_TRACE("t = " + std::to_string(t));
        player->seek(t);
        const int key = static_cast<int>(std::floor(t / kStep)) / 15 * 15;
        ASSERT_TRUE(waitForFrameAt(key * kStep));
        EXPECT_EQ(indexOf(*player->currentFrame()), key);
        EXPECT_NEAR(player->currentTime(), key * kStep, 1e-9);
        EXPECT_LE(player->currentTime(), t);
    }
}

TEST_P(PlayerTest, SeekClampsIntoTheMovie) {
    openReady();
    player->seekExact(-4);
    EXPECT_EQ(player->currentTime(), 0.0);
    player->seekExact(50);
    EXPECT_EQ(player->currentTime(), 2.0);
    ASSERT_TRUE(waitForFrameAt(59 * kStep));
    player->seekExact(std::nan(""));
    EXPECT_EQ(player->currentTime(), 0.0);
    ASSERT_TRUE(waitForFrameAt(0.0));
}

TEST_P(PlayerTest, PauseHoldsTheTimeAndPlayResumesFromIt) {
    openReady();
    QSignalSpy playing(player.get(), &MoviePlayer::playingChanged);
    player->play();
    player->play(); // already playing: no second signal
    EXPECT_EQ(playing.count(), 1);
    QTest::qWait(300);
    player->pause();
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(playing.count(), 2);
    const double held = player->currentTime();
    EXPECT_GT(held, 0.15);
    EXPECT_LT(held, 1.0);
    QTest::qWait(200);
    EXPECT_EQ(player->currentTime(), held);
    const auto f = player->currentFrame();
    EXPECT_LE(f->time, held);
    EXPECT_GT(f->time + kStep + 1e-9, held);
    player->pause(); // already paused: no signal
    EXPECT_EQ(playing.count(), 2);

    player->play();
    QTest::qWait(200);
    const double resumed = player->currentTime();
    EXPECT_GT(resumed, held + 0.1);
    EXPECT_LT(resumed, held + 0.6);
}

TEST_P(PlayerTest, SeekWhilePlayingKeepsPlayingFromTheNewPlace) {
    openReady();
    player->play();
    QTest::qWait(200);
    player->seekExact(1.0);
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(player->currentTime(), 1.0);
    QTest::qWait(300);
    EXPECT_TRUE(player->isPlaying());
    const double t = player->currentTime();
    EXPECT_GT(t, 1.1);
    EXPECT_LT(t, 1.7);
    const auto f = player->currentFrame();
    EXPECT_GE(indexOf(*f), 30);
    EXPECT_LE(f->time, t);
    // And backwards.
    player->seekExact(0.25);
    QTest::qWait(200);
    EXPECT_TRUE(player->isPlaying());
    EXPECT_GT(player->currentTime(), 0.3);
    EXPECT_LT(player->currentTime(), 0.9);
}

TEST_P(PlayerTest, PlayBeforeReadyStartsWhenReady) {
    player->open(QString::fromStdString(path));
    player->play();
    EXPECT_FALSE(player->isPlaying());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->isPlaying(); }, 5000));
    EXPECT_EQ(player->status(), MoviePlayer::Status::Ready);
}

TEST_P(PlayerTest, TimeSignalArrivesAbout120TimesASecondWhilePlaying) {
    openReady();
    player->play();
    QSignalSpy times(player.get(), &MoviePlayer::timeChanged);
    QTest::qWait(1000);
    const int n = static_cast<int>(times.count());
    EXPECT_GE(n, 90);
    EXPECT_LE(n, 140);
    double previous = -1;
    for (const auto& args : times) {
        const double t = args.at(0).toDouble();
        EXPECT_GE(t, previous);
        previous = t;
    }
    EXPECT_GT(previous, 0.8);
}

TEST_P(PlayerTest, PausedAndSettledTheTimeSignalIsQuiet) {
    openReady();
    QSignalSpy times(player.get(), &MoviePlayer::timeChanged);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->currentFrame() != nullptr; }, 5000));
    QTest::qWait(100);
    times.clear();
    QTest::qWait(300); // paused at the first frame: nothing to report
    EXPECT_EQ(times.count(), 0);

    // A seek while paused reports where it landed, then falls quiet again.
    player->seekExact(1.0);
    ASSERT_TRUE(times.wait(2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !times.isEmpty() &&
                                            times.last().at(0).toDouble() == 1.0; }, 2000));
    QTest::qWait(100);
    times.clear();
    QTest::qWait(300);
    EXPECT_EQ(times.count(), 0);

    // Playing ticks; a pause reports once more, where it stopped.
    player->play();
    QTest::qWait(200);
    EXPECT_GT(times.count(), 10);
    player->pause();
    const double stopped = player->currentTime();
    times.clear();
    QTest::qWait(100);
    ASSERT_EQ(times.count(), 1);
    EXPECT_DOUBLE_EQ(times.first().at(0).toDouble(), stopped);
    times.clear();
    QTest::qWait(300);
    EXPECT_EQ(times.count(), 0);
}

TEST_P(PlayerTest, LoopingFromTheEndSignalPlaysAgain) {
    openReady();
    QSignalSpy ended(player.get(), &MoviePlayer::playedToEnd);
    QObject::connect(player.get(), &MoviePlayer::playedToEnd, [&] {
        if (ended.count() < 2) {
            player->seekExact(1.5);
            player->play();
        }
    });
    player->seekExact(1.4);
    player->play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 2; }, 6000));
    EXPECT_FALSE(player->isPlaying());
    EXPECT_NEAR(player->currentTime(), 2.0, 1e-9);
}

TEST_P(PlayerTest, HoldingFramesOnlyDelaysDecoding) {
    // A viewer that keeps every frame starves the buffer pool; playback must
    // stall gracefully and carry on once the frames are let go.
    openReady();
    std::vector<std::shared_ptr<const PlayerFrame>> kept;
    auto keep = QObject::connect(player.get(), &MoviePlayer::frameChanged,
                                 [&] { kept.push_back(player->currentFrame()); });
    player->play();
    QTest::qWait(600);
    QObject::disconnect(keep);
    // The pool bounds what can be decoded ahead of the viewer.
    EXPECT_GE(kept.size(), 3u);
    EXPECT_LE(kept.size(), static_cast<size_t>(orvane::ui::PlaybackDecoder::kPoolSize));
    EXPECT_LT(player->currentFrame()->time, 0.4);
    kept.clear();
    QSignalSpy ended(player.get(), &MoviePlayer::playedToEnd);
    EXPECT_TRUE(ended.wait(5000));
    EXPECT_EQ(indexOf(*player->currentFrame()), 59);
}

TEST_P(PlayerTest, CloseDropsTheMovie) {
    openReady();
    player->play();
    QSignalSpy playing(player.get(), &MoviePlayer::playingChanged);
    player->close();
    EXPECT_EQ(player->status(), MoviePlayer::Status::Empty);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(playing.count(), 1);
    EXPECT_EQ(player->currentFrame(), nullptr);
    QSignalSpy times(player.get(), &MoviePlayer::timeChanged);
    QTest::qWait(100);
    EXPECT_EQ(times.count(), 0);
    // And it can open again.
    openReady();
}

INSTANTIATE_TEST_SUITE_P(Movies, PlayerTest, ::testing::Values("h264", "hevc"));

// A movie stored on its side (a "rotate" tag) is previewed upright, as the
// export draws it: the size as shown, and its first frame in that size.
TEST(PlayerRotation, ARotatedMovieIsPreviewedUpright) {
    TempDir dir;
    const std::string stored = dir.file("stored.mp4");
    ASSERT_TRUE(runFfmpeg("-f lavfi -i 'color=c=blue:s=96x64:r=30:d=0.5,"
                          "drawbox=x=0:y=0:w=16:h=16:color=red:t=fill' "
                          "-c:v libx264 -preset ultrafast -pix_fmt yuv420p '" + stored + "'"));
    const std::string tagged = dir.file("rotated.mp4");
    ASSERT_TRUE(runFfmpeg("-i '" + stored + "' -c copy -metadata:s:v rotate=90 '" + tagged + "'"));
    MoviePlayer player;
    player.open(QString::fromStdString(tagged));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.status() != MoviePlayer::Status::Loading; },
                                5000));
    ASSERT_EQ(player.status(), MoviePlayer::Status::Ready) << player.errorMessage().toStdString();
    EXPECT_EQ(player.videoSize(), QSize(64, 96));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentFrame() != nullptr; }, 5000));
    const QImage& image = player.currentFrame()->image;
    ASSERT_EQ(image.size(), QSize(64, 96));
    // The red corner is in exactly one corner of the upright picture.
    int redCorners = 0;
    for (const QPoint p : {QPoint(8, 8), QPoint(55, 8), QPoint(8, 87), QPoint(55, 87)}) {
        const QRgb c = image.pixel(p);
        redCorners += qRed(c) > 150 && qBlue(c) < 100 ? 1 : 0;
    }
    EXPECT_EQ(redCorners, 1);
}

} // namespace

// A take cut from 0.5 to 1.2 s and sped up twice from there: the player runs
// on the output clock, jumps over the cut ahead of the playhead and shows the
// sped-up part at its pace.
TEST_P(PlayerTest, PlaysThroughACutWithoutAStallAndASpedUpPartAtItsSpeed) {
    orvane::Section kept{0, 0.5};
    orvane::Section cut{0.5, 1.2, true};
    orvane::Section fast{1.2, 2.0, false, 2};
    const orvane::TimeMap map({kept, cut, fast});
    player->setTimeMap(map);
    openReady();
    QSignalSpy ended(player.get(), &MoviePlayer::playedToEnd);
    std::vector<int> shown;
    std::vector<double> at; // seconds since play, when each frame came
    QElapsedTimer clock;
    QObject::connect(player.get(), &MoviePlayer::frameChanged, [&] {
        shown.push_back(indexOf(*player->currentFrame()));
        at.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    });
    clock.start();
    player->play();
    ASSERT_TRUE(ended.wait(6000));
    const double took = static_cast<double>(clock.elapsed()) / 1000.0;
    // 0.5 s kept and 0.8 s at 2x: 0.9 s of output.
    EXPECT_GT(took, 0.8);
    EXPECT_LT(took, 1.6);
    ASSERT_FALSE(shown.empty());
    double longest = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_FALSE(shown[i] >= 15 && shown[i] < 36) << "frame " << shown[i] << " is cut";
        if (i > 0) {
            EXPECT_GT(shown[i], shown[i - 1]);
            longest = std::max(longest, at[i] - at[i - 1]);
        }
    }
    EXPECT_EQ(shown.back(), 59);
    // Across the cut the next frame comes on time: no gap over two frames.
    const auto join = std::find_if(shown.begin(), shown.end(), [](int k) { return k >= 36; });
    ASSERT_NE(join, shown.end());
    const std::size_t j = static_cast<std::size_t>(join - shown.begin());
    ASSERT_GT(j, 0U);
    std::printf("through the cut: %.1f ms between frames %d and %d; longest interval %.1f ms\n",
                1000 * (at[j] - at[j - 1]), shown[j - 1], shown[j], 1000 * longest);
    EXPECT_LE(at[j] - at[j - 1], 2 * kStep);
    // At 2x each frame comes at its time on the output clock, at 60 a second
    // from the 30 a second of the take, not as fast as they decode: the
    // 0.8 s of the take after the cut pass in about 0.4 s.
    const auto fastFrames = static_cast<int>(shown.end() - join);
    EXPECT_GE(fastFrames, 12);
    const double fastTook = at.back() - at[j];
    std::printf("2x part: %d frames in %.0f ms\n", fastFrames, 1000 * fastTook);
    EXPECT_GT(fastTook, 0.3);
    EXPECT_LT(fastTook, 0.6);
}
