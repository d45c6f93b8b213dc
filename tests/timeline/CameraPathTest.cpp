// Cam::flight, Timeline::frame and Timeline::state.
#include "timeline/Timeline.h"

#include "TimelineFixtures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orvane;

namespace {

Timeline timelineWith(std::vector<ZoomEffect> zooms, double duration = 10) {
    Timeline tl;
    tl.build(zooms, {}, duration, 1.5);
    return tl;
}

ZoomEffect seg(double s, double e, double z, std::optional<double> fx = {},
               std::optional<double> fy = {}, double smooth = 0.8) {
    return test::segment(s, e, z, smooth, fx, fy);
}

} // namespace

TEST(CamFlight, ConstantsAndEndpoints) {
    EXPECT_EQ(Cam::RHO, std::sqrt(2.0));
    const Cam::State from{0.2, 0.7, 1};
    const Cam::State to{0.8, 0.3, 0.4};
    const auto f = Cam::flight(from, to);
    const auto a = f(0);
    const auto b = f(1);
    EXPECT_NEAR(a.x, from.x, 1e-12);
    EXPECT_NEAR(a.y, from.y, 1e-12);
    EXPECT_NEAR(a.w, from.w, 1e-12);
    EXPECT_NEAR(b.x, to.x, 1e-9);
    EXPECT_NEAR(b.y, to.y, 1e-9);
    EXPECT_NEAR(b.w, to.w, 1e-9);
}

TEST(CamFlight, ZoomOnlyIsGeometric) {
    const auto f = Cam::flight({0.5, 0.5, 1}, {0.5, 0.5, 0.25});
    EXPECT_NEAR(f(0.5).w, 0.5, 1e-12);
    EXPECT_NEAR(f(0.25).w, std::sqrt(0.5), 1e-12);
    EXPECT_EQ(f(0.5).x, 0.5);
}

TEST(CamFlight, PanZoomsOutOnTheWay) {
    // A long pan at a fixed width widens the view in the middle of the flight.
    const auto f = Cam::flight({0.2, 0.5, 0.3}, {0.8, 0.5, 0.3});
    EXPECT_GT(f(0.5).w, 0.3);
    EXPECT_NEAR(f(0.5).x, 0.5, 1e-9); // symmetric
}

TEST(CameraPath, NoSegmentsIsFullFrameEverywhere) {
    const Timeline tl = timelineWith({});
    for (double t : {-5.0, 0.0, 3.3, 10.0, 99.0}) {
        const auto s = tl.state(t);
        EXPECT_EQ(s, (CamState{0.5, 0.5, 1})) << t;
        const auto f = tl.frame(t);
        EXPECT_EQ(f.w, 1);
    }
    // A default timeline that was never built answers full frame too.
    Timeline unbuilt;
    EXPECT_EQ(unbuilt.frame(1).w, 1);
    EXPECT_EQ(unbuilt.frame(1).zoom, 2.2);
    EXPECT_EQ(unbuilt.state(1), (CamState{0.5, 0.5, 1}));
}

TEST(CameraPath, ZoomedWithoutFocusOrTrackStaysCentred) {
    const Timeline tl = timelineWith({seg(2, 6, 2)});
    const auto s = tl.state(4);
    EXPECT_DOUBLE_EQ(s.x, 0.5);
    EXPECT_DOUBLE_EQ(s.y, 0.5);
    EXPECT_DOUBLE_EQ(s.w, 0.5);
}

TEST(CameraPath, FocusLockIsClampedInsideTheFrame) {
    const Timeline tl = timelineWith({seg(2, 6, 2, 0.9, 0.9)});
    const auto s = tl.state(4);
    EXPECT_DOUBLE_EQ(s.x, 0.75);
    EXPECT_DOUBLE_EQ(s.y, 0.75);
    EXPECT_DOUBLE_EQ(s.w, 0.5);
    // The keyframe centre is clamped as well.
    const auto f = tl.frame(4);
    EXPECT_DOUBLE_EQ(f.cx, 0.75);
    EXPECT_EQ(f.fx, 0.9);
}

TEST(CameraPath, OnlyOneFocusCoordinateFollowsTheCursor) {
    Timeline tl = timelineWith({seg(2, 6, 2, 0.9, std::nullopt)});
    tl.track = {{0, 0.3, 0.4, false}, {10, 0.3, 0.4, false}};
    const auto s = tl.state(4);
    EXPECT_DOUBLE_EQ(s.x, 0.3);
    EXPECT_DOUBLE_EQ(s.y, 0.4);
}

TEST(CameraPath, HalfwayThroughZoomInFollowsTheFlight) {
    const Timeline tl = timelineWith({seg(2, 6, 2)});
    // Zoom-in from 2 to 2.5; u = 0.5 gives e = 0.5 and a geometric width.
    const auto f = tl.frame(2.25);
    EXPECT_NEAR(f.w, std::sqrt(0.5), 1e-12);
    EXPECT_GT(std::abs(f.w - 0.75), 0.04);
    // Cubic ease: u = 0.25 gives e = 4 * 0.25^3 = 0.0625.
    EXPECT_NEAR(tl.frame(2.125).w, std::pow(0.5, 0.0625), 1e-12);
}

TEST(CameraPath, ZoomProgressPullsTowardTheTarget) {
    const Timeline tl = timelineWith({seg(2, 6, 2, 0.7, 0.3)});
    const auto f = tl.frame(2.25);
    const auto s = tl.state(2.25);
    const double p = (1 - f.w) / (1 - 1 / f.zoom);
    EXPECT_NEAR(s.x, 0.5 + p * 0.2, 1e-12);
    EXPECT_NEAR(s.y, 0.5 - p * 0.2, 1e-12);
}

TEST(CameraPath, BeforeAndAfterTheKeyframes) {
    const Timeline tl = timelineWith({seg(2, 6, 2)});
    EXPECT_EQ(tl.frame(-1).w, 1);
    EXPECT_EQ(tl.frame(-1).smooth, 0.8);
    EXPECT_EQ(tl.frame(50).w, 1);
    EXPECT_EQ(tl.frame(50).zoom, 1.5); // the closing keyframe's default zoom
}

TEST(CameraPath, TimeOnAKeyframeBelongsToThePairEndingThere) {
    const Timeline tl = timelineWith({seg(2, 6, 3, 0.2, 0.2, 0.3)});
    // At t1 = 2 the pair is (opening, t1): both wide, values from the opening keyframe.
    auto f = tl.frame(2);
    EXPECT_EQ(f.smooth, 0.8);
    EXPECT_FALSE(f.fx.has_value());
    EXPECT_EQ(f.zoom, 3); // the larger zoom of the pair
    // Just after, the zoom-in pair takes its values from the zoomed keyframe.
    f = tl.frame(2.0001);
    EXPECT_EQ(f.smooth, 0.3);
    EXPECT_EQ(f.fx, 0.2);
    // At t2 the zoom-in is complete.
    EXPECT_NEAR(tl.frame(2.5).w, 1.0 / 3, 1e-12);
    // During the zoom-out the values come from the zoomed keyframe before it.
    f = tl.frame(5.8);
    EXPECT_EQ(f.smooth, 0.3);
    EXPECT_EQ(f.fx, 0.2);
}

TEST(CameraPath, ZoomLevelOneOrBelowNeverLeavesFullFrame) {
    const Timeline tl = timelineWith({seg(2, 6, 0.5)});
    for (double t = 0; t < 10; t += 0.1) {
        EXPECT_LE(tl.state(t).w, 1);
        EXPECT_LE(tl.frame(t).w, 1);
    }
}
