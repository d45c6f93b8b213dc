// Pause, resume and the countdown of a take, against test doubles of the
// platform: what a paused span leaves out, where what follows it goes, and
// what a countdown records (nothing) until it runs out.
#include "FakeBackend.h"

#include "capture/TakeRecorder.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

namespace {

class TakePauseTest : public ::testing::Test {
protected:
    CaptureContent display() const {
        CaptureContent c;
        c.area = QRectF(0, 0, 1000, 500);
        c.title = QStringLiteral("Fake display");
        return c;
    }
    void choose() {
        emit backend.pickerFake.contentChosen(display());
        QCoreApplication::processEvents(); // contentChosen
        QCoreApplication::processEvents(); // startCapture
    }
    void at(double host) { backend.clock = host; }
    bool stopAndWait() {
        QSignalSpy finished(&rec, &TakeRecorder::takeFinished);
        rec.stop();
        if (!finished.wait(5000)) {
            return false;
        }
        result = finished.front().front().value<TakeResult>();
        return true;
    }

    FakeBackend backend;
    TakeRecorder rec{backend, backend};
    TakeResult result;
};

TEST_F(TakePauseTest, APausedSpanKeepsNothingAndTheTakeGoesOnWhereItStopped) {
    at(1000.0);
    choose();
    ASSERT_EQ(rec.state(), TakeRecorder::State::Recording);
    QSignalSpy pausedChanged(&rec, &TakeRecorder::pausedChanged);
    FakeStream& stream = *backend.lastStream;

    stream.deliverAt(1000.5);
    at(1001.0);
    backend.click({100, 100});
    at(1002.0);
    ASSERT_TRUE(rec.pause());
    EXPECT_FALSE(rec.pause()) << "already paused";
    EXPECT_TRUE(rec.paused());
    // While paused: frames, clicks and the cursor are left out, and the
    // take's time stands still.
    stream.deliverAt(1002.5);
    stream.deliverAt(1003.0, true);
    at(1003.0);
    backend.click({200, 200});
    EXPECT_DOUBLE_EQ(rec.takeTime(), 2.0);
    const std::size_t samplesBefore = rec.cursorTrack().size();
    QTest::qWait(100); // the sampler runs on, its readings are dropped
    EXPECT_EQ(rec.cursorTrack().size(), samplesBefore);

    at(1004.0);
    ASSERT_TRUE(rec.resume());
    EXPECT_FALSE(rec.resume());
    // The first frame after the pause repeats one that was left out: it is
    // not a repeat of the last frame written.
    stream.deliverAt(1004.5, true);
    stream.deliverAt(1004.6, true);
    at(1005.0);
    backend.click({300, 300});
    EXPECT_DOUBLE_EQ(rec.takeTime(), 3.0);
    QTest::qWait(50);

    ASSERT_EQ(pausedChanged.size(), 2);
    EXPECT_TRUE(pausedChanged[0][0].toBool());
    EXPECT_FALSE(pausedChanged[1][0].toBool());

    FakeWriter& writer = *backend.lastWriter;
    {
        std::lock_guard lock(writer.stampsMutex);
        ASSERT_EQ(writer.stamps.size(), 3u);
        EXPECT_DOUBLE_EQ(writer.stamps[0], 1000.5);
        EXPECT_NEAR(writer.stamps[1], 1002.5, 1e-9) << "after the pause, 2 s in less the 2 s paused";
        EXPECT_NEAR(writer.stamps[2], 1002.6, 1e-9);
        EXPECT_FALSE(writer.repeats[1]);
        EXPECT_TRUE(writer.repeats[2]);
    }
    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(result.clicks.size(), 2u);
    EXPECT_DOUBLE_EQ(result.clicks[0].t, 1.0);
    EXPECT_DOUBLE_EQ(result.clicks[1].t, 3.0) << "a click after the pause at its shifted time";
    for (const CursorSample& s : result.track) {
        EXPECT_LE(s.t, 3.0 + 1e-9) << "no sample past the take's time";
    }
    EXPECT_FALSE(rec.paused()) << "a finished take is not paused";
    EXPECT_FALSE(rec.pause()) << "nothing to pause once it finished";
}

TEST_F(TakePauseTest, SoundAcrossPausesHasNoGapAndNoOverlapAndMatchesTheTakesTime) {
    backend.useRealClock = true;
    FakeSoundDevices devices;
    devices.settings[SoundKind::Microphone].anchorAtStart = true;
    rec.setSoundDevices(&devices);
    SoundChoice microphone;
    microphone.microphone = true;
    rec.setSoundChoice(microphone);
    choose();
    ASSERT_EQ(rec.state(), TakeRecorder::State::Recording);
    ASSERT_TRUE(rec.recordsSound(SoundKind::Microphone));
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(150);
        ASSERT_TRUE(rec.pause());
        QTest::qWait(120);
        ASSERT_TRUE(rec.resume());
    }
    QTest::qWait(150);
    const double takeTime = rec.takeTime();
    ASSERT_TRUE(stopAndWait());

    const std::vector<FakeSoundTrack::Block> blocks =
        backend.lastWriter->sound.at(SoundKind::Microphone)->blocks();
    ASSERT_GT(blocks.size(), 20u);
    // Back to back on the take's clock (host seconds less the time paused):
    // each block starts where the one before ended, to well under a frame.
    std::int64_t frames = blocks.front().frames;
    for (std::size_t i = 1; i < blocks.size(); ++i) {
        const double expected = blocks[i - 1].at + blocks[i - 1].frames / double(kSoundRate);
        ASSERT_NEAR(blocks[i].at, expected, 1.0 / kSoundRate) << "block " << i;
        frames += blocks[i].frames;
    }
    // As long as the take's time: the paused spans are out of it.
    const double soundEnd = blocks.back().at + blocks.back().frames / double(kSoundRate) - rec.startTime();
    EXPECT_NEAR(soundEnd, takeTime, 0.040);
    EXPECT_NEAR(static_cast<double>(frames) / kSoundRate, soundEnd - (blocks.front().at - rec.startTime()), 1e-3);
}

TEST_F(TakePauseTest, ACountdownRecordsNothingUntilItRunsOutAndTheTakeStartsThen) {
    rec.setCountdown(2);
    backend.useRealClock = true;
    QSignalSpy ticks(&rec, &TakeRecorder::countdownTick);
    QSignalSpy ended(&rec, &TakeRecorder::countdownEnded);
    QSignalSpy began(&rec, &TakeRecorder::captureBegun);
    const double chosenAt = backend.now();
    emit backend.pickerFake.contentChosen(display());
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.state(), TakeRecorder::State::CountingDown);
    EXPECT_EQ(rec.countdownLeft(), 2);
    ASSERT_EQ(ticks.size(), 1);
    EXPECT_EQ(ticks[0][0].toInt(), 2);
    EXPECT_EQ(backend.lastStream, nullptr) << "nothing is set up during the countdown";
    emit backend.pickerFake.contentChosen(display()); // a second choice meanwhile
    QCoreApplication::processEvents();

    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.state() == TakeRecorder::State::Recording; }, 4000));
    ASSERT_EQ(ticks.size(), 2);
    EXPECT_EQ(ticks[1][0].toInt(), 1);
    ASSERT_EQ(ended.size(), 1);
    EXPECT_FALSE(ended[0][0].toBool());
    EXPECT_EQ(began.size(), 1);
    // Time 0 is the countdown's end.
    EXPECT_NEAR(rec.startTime() - chosenAt, 2.0, 0.25);
    ASSERT_TRUE(stopAndWait());
}

TEST_F(TakePauseTest, ACancelledCountdownLeavesNothingAndStopCancelsItToo) {
    rec.setCountdown(3);
    QSignalSpy ended(&rec, &TakeRecorder::countdownEnded);
    QSignalSpy began(&rec, &TakeRecorder::captureBegun);
    choose();
    ASSERT_EQ(rec.state(), TakeRecorder::State::CountingDown);
    EXPECT_FALSE(rec.pause()) << "nothing to pause before the take";
    ASSERT_TRUE(rec.cancelCountdown());
    EXPECT_FALSE(rec.cancelCountdown());
    EXPECT_EQ(rec.state(), TakeRecorder::State::Idle);
    ASSERT_EQ(ended.size(), 1);
    EXPECT_TRUE(ended[0][0].toBool());

    choose();
    ASSERT_EQ(rec.state(), TakeRecorder::State::CountingDown);
    rec.stop();
    EXPECT_EQ(rec.state(), TakeRecorder::State::Idle);
    QTest::qWait(3300); // past where it would have run out
    EXPECT_EQ(began.size(), 0);
    EXPECT_EQ(backend.lastStream, nullptr);
    EXPECT_EQ(backend.lastWriter, nullptr);
    EXPECT_EQ(ended.size(), 2);
}

} // namespace

namespace {

TEST_F(TakePauseTest, APressStillBeingResolvedAtStopIsTheTakesLastClick) {
    at(1000.0);
    choose();
    ASSERT_EQ(rec.state(), TakeRecorder::State::Recording);
    backend.lastStream->deliverAt(1000.5);
    // Pressed at 2.5 s; its position is known only as the monitor stops.
    backend.inputFake.pressAtStop = std::make_pair(QPointF(500, 250), 1002.5);
    at(1003.0);
    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(result.clicks.size(), 1u);
    EXPECT_DOUBLE_EQ(result.clicks[0].t, 2.5);
    EXPECT_DOUBLE_EQ(result.clicks[0].cx, 0.5);
}

} // namespace
