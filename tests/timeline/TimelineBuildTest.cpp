// Keyframes from segments and segments from clicks.
#include "timeline/Timeline.h"
#include "timeline/ZoomGeneration.h"

#include <gtest/gtest.h>

using namespace orvane;

namespace {

ZoomEffect seg(double s, double e, double z = 2, double smooth = 0.8) {
    ZoomEffect zf;
    zf.id = Uuid::random();
    zf.start = s;
    zf.end = e;
    zf.zoom = z;
    zf.smooth = smooth;
    return zf;
}

Moment click(double t, double x = 0.5, double y = 0.5) {
    Moment m;
    m.t = t;
    m.cx = x;
    m.cy = y;
    return m;
}

} // namespace

TEST(TimelineBuild, EmptySegmentListGivesTwoWideEndKeyframes) {
    Timeline tl;
    tl.build({}, {}, 10, 1.5);
    ASSERT_EQ(tl.anchors.size(), 2u);
    EXPECT_EQ(tl.anchors[0].t, 0);
    EXPECT_EQ(tl.anchors[1].t, 10);
    for (const auto& a : tl.anchors) {
        EXPECT_TRUE(a.wide);
        EXPECT_EQ(a.zoom, 1.5);
        EXPECT_EQ(a.smooth, 0.8);
        EXPECT_FALSE(a.fx.has_value());
    }
    EXPECT_EQ(tl.zoom, 1.5);
    EXPECT_EQ(tl.duration, 10);

    Timeline zero;
    zero.build({}, {}, 0, 1.5);
    ASSERT_EQ(zero.anchors.size(), 2u);
    EXPECT_EQ(zero.anchors[1].t, 0.001);
}

TEST(TimelineBuild, OneSegmentMakesFourKeyframes) {
    Timeline tl;
    ZoomEffect z = seg(2, 6, 2.5, 0.3);
    z.fx = 0.7;
    z.fy = 0.2;
    tl.build({z}, {}, 10, 1.5);
    ASSERT_EQ(tl.anchors.size(), 6u);
    const std::vector<double> expected{0, 2, 2.5, 5.45, 6, 10};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(tl.anchors[i].t, expected[i], 1e-12) << i;
    }
    EXPECT_TRUE(tl.anchors[1].wide);
    EXPECT_FALSE(tl.anchors[2].wide);
    EXPECT_FALSE(tl.anchors[3].wide);
    EXPECT_TRUE(tl.anchors[4].wide);
    EXPECT_EQ(tl.anchors[2].cx, 0.7);
    EXPECT_EQ(tl.anchors[2].cy, 0.2);
    EXPECT_EQ(tl.anchors[1].cx, 0.5); // wide keyframes sit in the centre
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(tl.anchors[i].zoom, 2.5);
        EXPECT_EQ(tl.anchors[i].smooth, 0.3);
        EXPECT_EQ(tl.anchors[i].fx, 0.7); // also on the wide ones
    }
    EXPECT_EQ(tl.anchors[5].zoom, 1.5);
    EXPECT_FALSE(tl.anchors[5].fx.has_value());
}

TEST(TimelineBuild, ShortSegmentCompressesItsZoom) {
    Timeline tl;
    tl.build({seg(2, 2.6)}, {}, 10, 1.5);
    EXPECT_NEAR(tl.anchors[1].t, 2, 1e-12);
    EXPECT_NEAR(tl.anchors[2].t, 2.3, 1e-12);
    EXPECT_NEAR(tl.anchors[3].t, 2.301, 1e-12);
    EXPECT_NEAR(tl.anchors[4].t, 2.6, 1e-12);
}

TEST(TimelineBuild, OverlappingSegmentIsPushedAfterThePrevious) {
    Timeline tl;
    // Listed out of order on purpose: build sorts by start.
    tl.build({seg(3, 6), seg(1, 4)}, {}, 10, 1.5);
    ASSERT_EQ(tl.anchors.size(), 10u);
    EXPECT_NEAR(tl.anchors[4].t, 4, 1e-12);
    EXPECT_NEAR(tl.anchors[5].t, 4.001, 1e-12); // second zoom-in starts 1 ms after 4
}

TEST(TimelineBuild, SegmentAtZeroStartsOneMillisecondIn) {
    Timeline tl;
    tl.build({seg(0, 2)}, {}, 5, 1.5);
    EXPECT_NEAR(tl.anchors[1].t, 0.001, 1e-12);
}

TEST(TimelineBuild, ClosingKeyframeFollowsLastSegmentPastDuration) {
    Timeline tl;
    tl.build({seg(8, 12)}, {}, 10, 1.5);
    EXPECT_NEAR(tl.anchors.back().t, 12.001, 1e-12);
}

TEST(TimelineBuild, ClicksAreSortedStably) {
    Timeline tl;
    tl.build({}, {click(3, 0.1), click(1), click(3, 0.2), click(2)}, 5, 1.5);
    ASSERT_EQ(tl.clicks.size(), 4u);
    EXPECT_EQ(tl.clicks[0].t, 1);
    EXPECT_EQ(tl.clicks[1].t, 2);
    EXPECT_EQ(tl.clicks[2].cx, 0.1);
    EXPECT_EQ(tl.clicks[3].cx, 0.2);
}

TEST(TimelineBuild, BuildLeavesTrackAlone) {
    Timeline tl;
    tl.track = {{0, 0.1, 0.1, false}};
    tl.build({}, {}, 1, 1.5);
    EXPECT_EQ(tl.track.size(), 1u);
}

TEST(ZoomGeneration, MergesClicksWithinTheMergeInterval) {
    const auto z = zoomsFromClicks({click(1), click(3), click(6)}, {20, 1.5, 0.8, 3.5});
    ASSERT_EQ(z.size(), 1u);
    EXPECT_DOUBLE_EQ(z[0].start, 0.5);
    EXPECT_DOUBLE_EQ(z[0].end, 7.45);
    EXPECT_EQ(z[0].zoom, 1.5);
    EXPECT_EQ(z[0].smooth, 0.8);
    EXPECT_FALSE(z[0].fx || z[0].fy);
}

TEST(ZoomGeneration, ClicksFartherApartMakeSeparateSegments) {
    const auto z = zoomsFromClicks({click(5), click(1)}, {20, 2.0, 0.4, 3.5});
    ASSERT_EQ(z.size(), 2u);
    EXPECT_DOUBLE_EQ(z[0].start, 0.5);
    EXPECT_DOUBLE_EQ(z[0].end, 2.45);
    EXPECT_DOUBLE_EQ(z[1].start, 4.5);
    EXPECT_DOUBLE_EQ(z[1].end, 6.45);
    EXPECT_EQ(z[1].zoom, 2.0);
    EXPECT_EQ(z[1].smooth, 0.4);
    EXPECT_NE(z[0].id, z[1].id);
}

TEST(ZoomGeneration, EdgesOfTheTake) {
    auto z = zoomsFromClicks({click(0.2)}, {10, 1.5, 0.8, 3.5});
    EXPECT_EQ(z[0].start, 0);
    z = zoomsFromClicks({click(9.7)}, {10, 1.5, 0.8, 3.5});
    EXPECT_EQ(z[0].end, 10);
    // A click past the end gives an inverted segment; build copes with it.
    z = zoomsFromClicks({click(12)}, {10, 1.5, 0.8, 3.5});
    EXPECT_DOUBLE_EQ(z[0].start, 11.5);
    EXPECT_EQ(z[0].end, 10);
    EXPECT_TRUE(zoomsFromClicks({}, {10, 1.5, 0.8, 3.5}).empty());
}

TEST(ZoomGeneration, MergeUsesClickTimesOnlyAndChains) {
    // Each click is 3 s after the previous: one segment however long the chain.
    std::vector<Moment> clicks;
    for (int i = 0; i < 10; ++i) {
        clicks.push_back(click(1 + 3.0 * i));
    }
    const auto z = zoomsFromClicks(clicks, {100, 1.5, 0.8, 3.5});
    ASSERT_EQ(z.size(), 1u);
    EXPECT_DOUBLE_EQ(z[0].end, 28 + 1.45);
    // A merge interval of exactly the gap still merges (<=).
    EXPECT_EQ(zoomsFromClicks({click(1), click(4.5)}, {100, 1.5, 0.8, 3.5}).size(), 1u);
    // A custom hold is honoured.
    Moment m = click(2);
    m.hold = 2;
    EXPECT_DOUBLE_EQ(zoomsFromClicks({m}, {100, 1.5, 0.8, 3.5})[0].end, 4.55);
}

TEST(Uuid, RandomIdsAreVersion4AndDistinct) {
    const Uuid a = Uuid::random();
    const Uuid b = Uuid::random();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.bytes[6] >> 4, 4);
    EXPECT_EQ(a.bytes[8] & 0xC0, 0x80);
    const std::string s = a.toString();
    ASSERT_EQ(s.size(), 36u);
    EXPECT_EQ(s[14], '4');
    EXPECT_EQ(s[8], '-');
    EXPECT_FALSE(a.isNil());
    EXPECT_TRUE(Uuid{}.isNil());
}
