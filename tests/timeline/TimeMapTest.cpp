// The sections of a take and the one map between take time and output time:
// round trips, joins, neighbouring and empty sections, the speed limits, and
// how the zoom segments are clipped by cuts.
#include "timeline/Section.h"
#include "timeline/TimeMap.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orvane;

namespace {

Section kept(double a, double b, double speed = 1) {
    Section s;
    s.start = a;
    s.end = b;
    s.speed = speed;
    return s;
}
Section cut(double a, double b) {
    Section s = kept(a, b);
    s.cut = true;
    return s;
}

} // namespace

TEST(TimeMap, UndividedAndPlainTakesMapEveryTimeToItself) {
    for (const auto& list : {std::vector<Section>{}, sections::whole(10),
                             std::vector<Section>{kept(0, 4), kept(4, 10)}}) {
        const TimeMap map(list);
        EXPECT_TRUE(map.identity());
        for (double t : {-1.0, 0.0, 3.3, 4.0, 10.0, 12.5}) {
            EXPECT_EQ(map.outputTime(t), t);
            EXPECT_EQ(map.takeTime(t), t);
        }
    }
}

TEST(TimeMap, CutsAndSpeedsRoundTripAndJoinAtTheNextKeptSection) {
    // 0-2 kept, 2-5 cut, 5-7 at 2x, 7-8 at 0.25x, 8-10 kept.
    const std::vector<Section> list{kept(0, 2), cut(2, 5), kept(5, 7, 2), kept(7, 8, 0.25),
                                    kept(8, 10)};
    const TimeMap map(list);
    ASSERT_FALSE(map.identity());
    ASSERT_EQ(map.pieces().size(), 4U);
    EXPECT_DOUBLE_EQ(map.outputTime(10), 2 + 1 + 4 + 2);
    EXPECT_DOUBLE_EQ(map.outputTime(1), 1);
    EXPECT_DOUBLE_EQ(map.outputTime(2), 2) << "the cut's first instant is the join";
    EXPECT_DOUBLE_EQ(map.outputTime(4.9), 2) << "inside the cut: the join";
    EXPECT_DOUBLE_EQ(map.outputTime(5), 2);
    EXPECT_DOUBLE_EQ(map.outputTime(6), 2.5);
    EXPECT_DOUBLE_EQ(map.outputTime(7.5), 3 + 2);
    EXPECT_DOUBLE_EQ(map.takeTime(2), 5) << "at a join, the section after it";
    EXPECT_DOUBLE_EQ(map.takeTime(1.999), 1.999);
    EXPECT_DOUBLE_EQ(map.takeTime(2.5), 6);
    EXPECT_DOUBLE_EQ(map.takeTime(5), 7.5);
    // Round trips on kept time, either way.
    for (double t = 0; t < 10; t += 0.01) {
        if (t >= 2 && t < 5) {
            continue;
        }
        EXPECT_NEAR(map.takeTime(map.outputTime(t)), t, 1e-9) << t;
    }
    for (double o = 0; o < 9; o += 0.01) {
        EXPECT_NEAR(map.outputTime(map.takeTime(o)), o, 1e-9) << o;
    }
    // Monotonic: the output never runs backwards.
    double last = -1;
    for (double t = 0; t <= 10; t += 0.005) {
        const double o = map.outputTime(t);
        EXPECT_GE(o, last);
        last = o;
    }
    EXPECT_EQ(map.pieceAt(3), nullptr);
    ASSERT_NE(map.pieceAt(5), nullptr);
    EXPECT_EQ(map.pieceAt(5)->section, 2U);
    EXPECT_DOUBLE_EQ(map.keptFrom(3), 5);
    EXPECT_DOUBLE_EQ(map.keptFrom(6), 6);
    // Past the end the last speed goes on (a movie a little longer than the take).
    EXPECT_DOUBLE_EQ(map.outputTime(10.5), 9.5);
    EXPECT_DOUBLE_EQ(map.takeTime(9.5), 10.5);
}

TEST(TimeMap, LeadingAndTrailingCutsAndTheSpeedLimits) {
    const TimeMap map({cut(0, 1), kept(1, 3, 16), kept(3, 4, sections::kMinSpeed), cut(4, 6)});
    EXPECT_DOUBLE_EQ(map.outputTime(0), 0);
    EXPECT_DOUBLE_EQ(map.outputTime(0.5), 0);
    EXPECT_DOUBLE_EQ(map.takeTime(0), 1);
    EXPECT_DOUBLE_EQ(map.outputTime(3), 2.0 / 16);
    EXPECT_DOUBLE_EQ(map.outputTime(4), 2.0 / 16 + 4);
    EXPECT_DOUBLE_EQ(map.outputTime(5), 2.0 / 16 + 4) << "a trailing cut ends the output";
    EXPECT_DOUBLE_EQ(map.outputTime(7), 2.0 / 16 + 4);
    EXPECT_NEAR(map.takeTime(map.outputTime(2.2)), 2.2, 1e-12);
    EXPECT_NEAR(map.takeTime(map.outputTime(3.7)), 3.7, 1e-12);
    EXPECT_TRUE(map.pieces()[0].muted) << "sound above 4x is left out";
    EXPECT_FALSE(map.pieces()[1].muted);
    EXPECT_DOUBLE_EQ(map.keptFrom(4.5), 6) << "nothing kept after: the end of the list";

    // Out-of-range speeds are held at the ends.
    const TimeMap clamped({kept(0, 1, 100), kept(1, 2, 0.01)});
    EXPECT_DOUBLE_EQ(clamped.outputTime(2), 1.0 / 16 + 4);

    // Everything cut: no output at all.
    const TimeMap none({cut(0, 5)});
    EXPECT_DOUBLE_EQ(none.outputTime(3), 0);
    EXPECT_TRUE(none.pieces().empty());
}

TEST(Sections, SplitMoveAndNormaliseKeepTheListWhole) {
    // A split of the undivided take makes two plain sections.
    auto list = sections::split({}, 4, 10);
    ASSERT_EQ(list.size(), 2U);
    EXPECT_EQ(list[0], kept(0, 4));
    EXPECT_EQ(list[1], kept(4, 10));
    EXPECT_TRUE(sections::plain(list));
    // Too near a boundary, or outside: nothing.
    EXPECT_EQ(sections::split(list, 4.01, 10), list);
    EXPECT_EQ(sections::split(list, 0, 10), list);
    EXPECT_EQ(sections::split(list, 10, 10), list);
    EXPECT_EQ(sections::split(list, NAN, 10), list);
    // A split keeps the settings on both halves.
    list[1].speed = 2;
    list = sections::split(list, 7, 10);
    ASSERT_EQ(list.size(), 3U);
    EXPECT_EQ(list[1].speed, 2);
    EXPECT_EQ(list[2].speed, 2);
    EXPECT_EQ(*sections::indexAt(list, 4), 1U) << "a boundary belongs to the section it starts";
    EXPECT_EQ(*sections::indexAt(list, 3.99), 0U);
    EXPECT_EQ(*sections::indexAt(list, 99), 2U);
    // A boundary moves, but not past its neighbours' ends.
    auto moved = sections::movedBoundary(list, 1, 5);
    EXPECT_EQ(moved[0].end, 5);
    EXPECT_EQ(moved[1].start, 5);
    moved = sections::movedBoundary(list, 1, 100);
    EXPECT_DOUBLE_EQ(moved[1].start, 7 - sections::kMinLength);
    EXPECT_EQ(sections::movedBoundary(list, 0, 1), list);
    EXPECT_EQ(sections::movedBoundary(list, 9, 1), list);

    // Normalising closes gaps and overlaps, drops empty sections and clamps.
    const auto fixed = sections::normalised(
        {kept(5, 8, 99), kept(1, 3), kept(2, 2), kept(2.5, 6), kept(NAN, 4)}, 10);
    ASSERT_EQ(fixed.size(), 5U);
    EXPECT_EQ(fixed[0], kept(0, 1)) << "a gap is filled by a plain section";
    EXPECT_EQ(fixed[1], kept(1, 3));
    EXPECT_EQ(fixed[2], kept(3, 6)) << "an overlap begins where the earlier ends";
    EXPECT_EQ(fixed[3].start, 6);
    EXPECT_EQ(fixed[3].speed, 16);
    EXPECT_EQ(fixed[4], kept(8, 10)) << "the rest of the take, plain";
    EXPECT_TRUE(sections::normalised({cut(0, 1)}, 0).empty());
    // Neighbouring and zero-length sections map like one.
    const TimeMap zero({kept(0, 2), kept(2, 2), kept(2, 4)});
    EXPECT_TRUE(zero.identity());
}

TEST(Sections, RangesAreSetApartForTheCommandLine) {
    auto list = sections::withRange({}, 2, 4, 10, [](Section& s) { s.cut = true; });
    list = sections::withRange(list, 6, 8, 10, [](Section& s) { s.speed = 4; });
    const TimeMap map(list);
    EXPECT_DOUBLE_EQ(map.outputTime(10), 2 + 2 + 0.5 + 2);
}

TEST(TimeMap, ZoomsInsideACutGoAndThoseAcrossItAreShortened) {
    const std::vector<Section> list{kept(0, 4), cut(4, 6), kept(6, 10)};
    auto zoom = [](double a, double b) {
        ZoomEffect z;
        z.start = a;
        z.end = b;
        return z;
    };
    const auto shown =
        visibleZooms({zoom(1, 3), zoom(3, 5), zoom(4.5, 5.5), zoom(5, 8), zoom(3.5, 7)}, list);
    ASSERT_EQ(shown.size(), 4U);
    EXPECT_EQ(shown[0].end, 3) << "untouched";
    EXPECT_EQ(shown[1].start, 3);
    EXPECT_EQ(shown[1].end, 4) << "an end in the cut comes back to where it begins";
    EXPECT_EQ(shown[2].start, 6) << "a start in the cut moves to where the take goes on";
    EXPECT_EQ(shown[2].end, 8);
    EXPECT_EQ(shown[3].start, 3.5) << "a segment across the whole cut keeps both ends";
    EXPECT_EQ(shown[3].end, 7);
    EXPECT_EQ(visibleZooms({zoom(1, 3)}, {}).size(), 1U);
}
