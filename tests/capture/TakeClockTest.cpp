// The take's clock across pauses: what belongs to the take, where it goes on
// the take's time line, and how a block of sound is cut at a pause's edges.

#include "capture/TakeClock.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

struct Part {
    double offset, length, takeAt;
};

std::vector<Part> partsOf(const TakeClock& clock, double from, double seconds) {
    std::vector<Part> parts;
    clock.forEachTakenPart(from, seconds, [&](double offset, double length, double takeAt) {
        parts.push_back({offset, length, takeAt});
    });
    return parts;
}

TEST(TakeClock, PausedSpansHaveNoTakeTimeAndLaterMomentsCloseTheGap) {
    TakeClock clock;
    clock.reset(100.0);
    EXPECT_DOUBLE_EQ(*clock.takeTimeOf(102.5), 2.5);
    EXPECT_DOUBLE_EQ(*clock.takeTimeOf(99.0), -1.0); // before the start: the writers put it at 0

    ASSERT_TRUE(clock.pause(103.0));
    EXPECT_FALSE(clock.pause(103.5)) << "a second pause while paused";
    EXPECT_TRUE(clock.paused());
    EXPECT_FALSE(clock.takeTimeOf(103.0).has_value());
    EXPECT_FALSE(clock.takeTimeOf(1e9).has_value()) << "a running pause holds everything after it";
    EXPECT_DOUBLE_EQ(clock.takeTimeAt(104.0), 3.0) << "the time shown while paused";
    EXPECT_DOUBLE_EQ(clock.pausedBefore(104.0), 1.0);

    ASSERT_TRUE(clock.resume(105.0));
    EXPECT_FALSE(clock.resume(105.5));
    EXPECT_FALSE(clock.paused());
    EXPECT_DOUBLE_EQ(*clock.takeTimeOf(105.0), 3.0) << "no jump at the resume";
    EXPECT_DOUBLE_EQ(*clock.takeTimeOf(106.0), 4.0);
    EXPECT_FALSE(clock.takeTimeOf(104.999).has_value());
    EXPECT_NEAR(*clock.takeTimeOf(102.999), 2.999, 1e-9) << "before the pause nothing moves";

    // A second pause adds up with the first.
    clock.pause(107.0);
    clock.resume(110.0);
    EXPECT_EQ(clock.pauseCount(), 2);
    EXPECT_DOUBLE_EQ(*clock.takeTimeOf(111.0), 6.0);
    EXPECT_DOUBLE_EQ(clock.pausedBefore(111.0), 5.0);
    EXPECT_DOUBLE_EQ(clock.takeTimeAt(108.0), 5.0);

    // A new take forgets the pauses.
    clock.reset(200.0);
    EXPECT_EQ(clock.pauseCount(), 0);
    EXPECT_DOUBLE_EQ(*clock.takeTimeOf(201.0), 1.0);
}

TEST(TakeClock, TakeTimeNeverRunsBackwards) {
    TakeClock clock;
    clock.reset(10.0);
    // A pause asked for before the start, a resume before its pause: both
    // are held at the edge they would cross.
    clock.pause(9.0);
    clock.resume(8.0);
    EXPECT_DOUBLE_EQ(*clock.takeTimeOf(10.5), 0.5);
    clock.pause(12.0);
    clock.resume(13.0);
    clock.pause(12.5); // into the previous pause: starts where it ended
    clock.resume(14.0);
    double last = -1;
    for (double h = 10.0; h < 16.0; h += 0.01) {
        if (auto t = clock.takeTimeOf(h)) {
            EXPECT_GE(*t, last) << "at host " << h;
            last = *t;
        }
    }
    EXPECT_NEAR(*clock.takeTimeOf(15.0), 3.0, 1e-12);
}

TEST(TakeClock, ABlockOfSoundIsCutAtThePausesEdges) {
    TakeClock clock;
    clock.reset(0.0);
    clock.pause(1.0);
    clock.resume(2.0);
    clock.pause(2.5);
    clock.resume(3.0);

    // Wholly before, wholly inside, wholly after.
    auto before = partsOf(clock, 0.5, 0.1);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_DOUBLE_EQ(before[0].takeAt, 0.5);
    EXPECT_TRUE(partsOf(clock, 1.2, 0.3).empty());
    auto after = partsOf(clock, 3.5, 0.1);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_DOUBLE_EQ(after[0].takeAt, 2.0);

    // Across the first pause: its head before, its tail after, back to back
    // on the take's time line.
    auto across = partsOf(clock, 0.9, 1.2);
    ASSERT_EQ(across.size(), 2u);
    EXPECT_NEAR(across[0].offset, 0.0, 1e-12);
    EXPECT_NEAR(across[0].length, 0.1, 1e-12);
    EXPECT_NEAR(across[0].takeAt, 0.9, 1e-12);
    EXPECT_NEAR(across[1].offset, 1.1, 1e-12);
    EXPECT_NEAR(across[1].length, 0.1, 1e-12);
    EXPECT_NEAR(across[1].takeAt, 1.0, 1e-12);

    // Across both pauses: three parts, and no take time is given twice.
    auto both = partsOf(clock, 0.5, 3.0);
    ASSERT_EQ(both.size(), 3u);
    double takeEnd = 0.5;
    double kept = 0;
    for (const Part& p : both) {
        EXPECT_NEAR(p.takeAt, takeEnd, 1e-12);
        takeEnd = p.takeAt + p.length;
        kept += p.length;
    }
    EXPECT_NEAR(kept, 1.5, 1e-12);

    // While a pause runs, nothing after its start is kept.
    clock.pause(4.0);
    auto head = partsOf(clock, 3.9, 1.0);
    ASSERT_EQ(head.size(), 1u);
    EXPECT_NEAR(head[0].length, 0.1, 1e-12);
}

} // namespace
} // namespace orvane
