// The sound clock: anchoring on the first block, stamps from the count of
// frames, silence for what was lost, and no silence for mere jitter.

#include "capture/SoundClock.h"
#include "media/SoundTracks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace orvane {
namespace {

constexpr double kFrame = 1.0 / kSoundRate;

TEST(SoundClockAnchor, FirstBlockAnchorsAtArrivalMinusLatencyMinusItsLength) {
    SoundClock clock;
    EXPECT_FALSE(clock.anchored());
    // 480 frames (10 ms) arrive at 100 s; the frame after them was captured
    // 25 ms earlier, so the first of them 35 ms earlier.
    const SoundPlacement first = clock.place(480, 100.0, 0.025);
    EXPECT_TRUE(clock.anchored());
    EXPECT_EQ(first.silenceFrames, 0);
    EXPECT_NEAR(first.blockAt, 100.0 - 0.025 - 0.010, 1e-12);
    EXPECT_NEAR(clock.anchor(), first.blockAt, 1e-12);
    EXPECT_EQ(clock.framesDelivered(), 480);
}

TEST(SoundClockAnchor, LaterBlocksFollowTheCountNotTheirArrival) {
    SoundClock clock;
    const double anchor = clock.place(480, 50.0, 0.0).blockAt;
    // The next block arrives 30 ms late with a lower reported latency: its
    // stamp still follows the first block without a gap.
    const SoundPlacement second = clock.place(960, 50.045, 0.001);
    EXPECT_EQ(second.silenceFrames, 0);
    EXPECT_NEAR(second.blockAt, anchor + 480 * kFrame, 1e-12);
    const SoundPlacement third = clock.place(480, 50.02, 0.0);
    EXPECT_NEAR(third.blockAt, anchor + 1440 * kFrame, 1e-12);
    EXPECT_EQ(clock.silenceInserted(), 0);
}

TEST(SoundClockAnchor, ZeroLatencyAndEmptyBlocksAreHarmless) {
    SoundClock clock;
    const SoundPlacement empty = clock.place(0, 10.0, 0.0);
    EXPECT_NEAR(empty.blockAt, 10.0, 1e-12);
    const SoundPlacement next = clock.place(480, 10.01, 0.0);
    EXPECT_EQ(next.silenceFrames, 0);
    EXPECT_NEAR(next.blockAt, 10.0, 1e-12);
}

TEST(SoundClockStamps, AnHourOfSmallBlocksStaysExactlyOnTheCount) {
    SoundClock clock;
    const double start = 987654.321; // a machine up for eleven days
    const int block = 441;           // an awkward size, not a divisor of the rate
    clock.place(block, start + block * kFrame, 0.0);
    std::int64_t count = block;
    double worst = 0.0;
    while (count < std::int64_t{3600} * kSoundRate) {
        const double arrival = start + static_cast<double>(count + block) / kSoundRate;
        const SoundPlacement p = clock.place(block, arrival, 0.0);
        ASSERT_EQ(p.silenceFrames, 0) << "at frame " << count;
        // The exact time, from integers, as far as a double can hold it.
        const double exact = start + static_cast<double>(count / kSoundRate)
                             + static_cast<double>(count % kSoundRate) / kSoundRate;
        worst = std::max(worst, std::abs(p.blockAt - exact));
        count += block;
    }
    EXPECT_EQ(clock.framesDelivered(), count);
    // Within a microsecond after an hour: no rounding builds up.
    EXPECT_LT(worst, 1e-6);
    EXPECT_NEAR(clock.timeOfFrame(std::int64_t{3600} * kSoundRate), start + 3600.0, 1e-6);
}

TEST(SoundClockHoles, LagBeyondTheThresholdBecomesSilenceBeforeTheBlock) {
    SoundClock clock;
    const double anchor = clock.place(480, 20.01, 0.0).blockAt; // anchor 20.0
    clock.place(480, 20.02, 0.0);
    // 120 ms of frames went missing: the next block was captured at 20.14.
    const SoundPlacement p = clock.place(480, 20.15, 0.0);
    EXPECT_EQ(p.silenceFrames, 5760); // 120 ms
    EXPECT_NEAR(p.silenceAt, anchor + 960 * kFrame, 1e-9);
    EXPECT_NEAR(p.blockAt, 20.14, 1e-9);
    EXPECT_EQ(clock.framesDelivered(), 960 + 5760 + 480);
    EXPECT_EQ(clock.silenceInserted(), 5760);
    // Back on the clock: the following block needs nothing.
    const SoundPlacement after = clock.place(480, 20.16, 0.0);
    EXPECT_EQ(after.silenceFrames, 0);
    EXPECT_NEAR(after.blockAt, 20.15, 1e-9);
}

TEST(SoundClockHoles, TheLagCanBeAskedWithoutPlacing) {
    SoundClock clock;
    EXPECT_EQ(clock.lagOf(480, 3.0, 0.0), 0.0); // no anchor yet
    clock.place(480, 3.01, 0.0);                // anchor 3.0
    EXPECT_NEAR(clock.lagOf(480, 3.10, 0.0), 0.08, 1e-9);
    EXPECT_NEAR(clock.lagOf(480, 3.10, 0.09), -0.01, 1e-9);
    EXPECT_EQ(clock.framesDelivered(), 480); // asking placed nothing
    EXPECT_EQ(clock.fillThreshold(), SoundClock::kDefaultLagThreshold);
    clock.noteOverrun();
    EXPECT_EQ(clock.fillThreshold(), 0.0);
}

TEST(SoundClockHoles, AReportedHoleIsPlacedLikeABlock) {
    // The caller delivers a hole's frames as silence; the clock counts them
    // like any block, so what follows stays where it belongs.
    SoundClock clock;
    clock.place(480, 1.01, 0.0);
    const SoundPlacement hole = clock.place(2400, 1.06, 0.0);
    EXPECT_EQ(hole.silenceFrames, 0);
    EXPECT_NEAR(hole.blockAt, 1.01, 1e-9);
    const SoundPlacement next = clock.place(480, 1.07, 0.0);
    EXPECT_EQ(next.silenceFrames, 0);
    EXPECT_NEAR(next.blockAt, 1.06, 1e-9);
}

TEST(SoundClockHoles, AfterAnOverrunEvenASmallLagIsFilled) {
    SoundClock clock;
    clock.place(480, 5.01, 0.0);
    clock.noteOverrun();
    // 20 ms lost: below the jitter threshold, but the server said it overran.
    const SoundPlacement p = clock.place(480, 5.04, 0.0);
    EXPECT_EQ(p.silenceFrames, 960);
    EXPECT_NEAR(p.blockAt, 5.03, 1e-9);
    // The overrun is spent: the same lag again is treated as jitter.
    const SoundPlacement q = clock.place(480, 5.07, 0.0);
    EXPECT_EQ(q.silenceFrames, 0);
}

TEST(SoundClockHoles, AnOverrunWithTheStreamAheadInsertsNothing) {
    SoundClock clock;
    clock.place(480, 5.01, 0.0);
    clock.noteOverrun();
    const SoundPlacement p = clock.place(480, 5.015, 0.0); // 5 ms early
    EXPECT_EQ(p.silenceFrames, 0);
    EXPECT_NEAR(p.blockAt, 5.01, 1e-9);
}

TEST(SoundClockJitter, LateAndEarlyArrivalsWithinTheThresholdInsertNoSilence) {
    SoundClock clock;
    std::mt19937 random(7);
    // Deliveries up to 40 ms late, each 10 ms block, for ten minutes; the
    // reported latency follows a little of the lateness, as a server's does.
    std::uniform_real_distribution<double> late(0.0, 0.040);
    std::uniform_real_distribution<double> latencyNoise(-0.002, 0.002);
    const double start = 300.0;
    std::int64_t count = 0;
    const double anchor = clock.place(480, start + 0.010, 0.0).blockAt;
    count += 480;
    for (int i = 0; i < 60000; ++i) {
        const double captured = start + static_cast<double>(count + 480) / kSoundRate;
        const double lateness = late(random);
        const SoundPlacement p = clock.place(480, captured + lateness, lateness * 0.5 + latencyNoise(random));
        ASSERT_EQ(p.silenceFrames, 0) << "block " << i;
        count += 480;
    }
    EXPECT_EQ(clock.silenceInserted(), 0);
    EXPECT_NEAR(clock.timeOfFrame(count), anchor + 600.01, 1e-6);
}

TEST(SoundClockJitter, ASlowDeviceIsCaughtUpInSteps) {
    // A device whose clock runs 0.1 % slow falls behind the host: the lag is
    // filled once it passes the threshold, never before, never stretched.
    SoundClock clock(0.050);
    const double start = 0.0;
    clock.place(480, start + 0.010, 0.0);
    double hostNow = 0.010;
    for (int i = 0; i < 12000; ++i) { // 120 s of sound
        hostNow += 0.010 * 1.001;
        const SoundPlacement p = clock.place(480, hostNow, 0.0);
        if (p.silenceFrames > 0) {
            EXPECT_GE(p.silenceFrames, 50 * kSoundRate / 1000);
            EXPECT_LT(p.silenceFrames, 52 * kSoundRate / 1000);
        }
        // Never more than the threshold (plus one block) off the host.
        const double lag = (hostNow - 0.010) - (p.blockAt - clock.anchor());
        EXPECT_LT(std::abs(lag), 0.061) << "block " << i;
    }
    // 120 ms behind after 120 s: two fills of about 50 ms.
    EXPECT_GT(clock.silenceInserted(), 2 * 50 * kSoundRate / 1000 - 10);
    EXPECT_LT(clock.silenceInserted(), 3 * 50 * kSoundRate / 1000);
}

} // namespace
} // namespace orvane
