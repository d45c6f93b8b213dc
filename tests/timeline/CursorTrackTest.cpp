// Smoothing, cursor position, synthetic cursor, click pulse and pointer state.
#include "timeline/CursorTrack.h"
#include "timeline/Timeline.h"

#include <gtest/gtest.h>

using namespace orvane;

namespace {

Moment click(double t, double x, double y) {
    Moment m;
    m.t = t;
    m.cx = x;
    m.cy = y;
    return m;
}

Timeline withClicks(std::vector<Moment> clicks) {
    Timeline tl;
    tl.build({}, clicks, 10, 1.5);
    return tl;
}

std::vector<CursorSample> ramp(int n) {
    std::vector<CursorSample> track;
    for (int i = 0; i < n; ++i) {
        track.push_back({i / 60.0, i * 0.01, 1 - i * 0.01, i % 2 == 0});
    }
    return track;
}

} // namespace

TEST(SmoothedTrack, ShortTracksAreUnchanged) {
    const auto four = ramp(4);
    EXPECT_EQ(smoothedTrack(four), four);
    EXPECT_TRUE(smoothedTrack({}).empty());
}

TEST(SmoothedTrack, CentredWindowCutShortAtTheEnds) {
    const auto five = ramp(5);
    const auto s = smoothedTrack(five);
    ASSERT_EQ(s.size(), 5u);
    // Sample 0 averages samples 0 to 4.
    EXPECT_NEAR(s[0].x, (0 + 0.01 + 0.02 + 0.03 + 0.04) / 5, 1e-15);
    EXPECT_EQ(s[0].t, five[0].t);
    EXPECT_EQ(s[1].pointer, five[1].pointer);

    std::vector<CursorSample> spike(30, CursorSample{0, 0, 0, false});
    for (int i = 0; i < 30; ++i) {
        spike[i].t = i;
    }
    spike[15].x = 13; // one outlier: every window that sees it averages 13 / count
    const auto sm = smoothedTrack(spike);
    EXPECT_DOUBLE_EQ(sm[15].x, 1);
    EXPECT_DOUBLE_EQ(sm[9].x, 1);  // 9 + 6 = 15: still inside
    EXPECT_DOUBLE_EQ(sm[8].x, 0);  // 8 + 6 = 14: outside
    EXPECT_DOUBLE_EQ(sm[21].x, 1);
    EXPECT_DOUBLE_EQ(sm[22].x, 0);
    // Near the end the window holds fewer samples: index 29 sees 23..29.
    spike[29].x = 7;
    EXPECT_DOUBLE_EQ(smoothedTrack(spike)[29].x, 1);
}

TEST(CursorPosition, InterpolatesAndClampsTheTrack) {
    Timeline tl;
    tl.track = {{1, 0.2, 0.2, false}, {2, 0.4, 1.4, false}, {3, -0.6, 0.4, false}};
    EXPECT_EQ(tl.cursor(0, 0), (NormPoint{0.2, 0.2}));
    EXPECT_EQ(tl.cursor(1, 0), (NormPoint{0.2, 0.2}));
    EXPECT_EQ(tl.cursor(2, 0), (NormPoint{0.4, 1.0})); // exactly on a sample, clamped
    const auto mid = tl.cursor(1.5, 0);
    EXPECT_NEAR(mid.x, 0.3, 1e-12);
    EXPECT_NEAR(mid.y, 0.8, 1e-12);
    EXPECT_EQ(tl.cursor(9, 0), (NormPoint{0, 0.4}));

    Timeline one;
    one.track = {{5, 0.7, 0.1, true}};
    EXPECT_EQ(one.cursor(0, 0), (NormPoint{0.7, 0.1}));
    EXPECT_EQ(one.cursor(100, 1), (NormPoint{0.7, 0.1}));
}

TEST(CursorPosition, BinarySearchFindsTheBracketingPair) {
    Timeline tl;
    for (int i = 0; i < 1000; ++i) {
        tl.track.push_back({i * 0.1, i / 1000.0, 0.5, false});
    }
    for (int i = 0; i < 999; ++i) {
        const double t = i * 0.1 + 0.03;
        EXPECT_NEAR(tl.cursor(t, 0).x, (i + 0.3) / 1000.0, 1e-9) << i;
    }
}

TEST(SyntheticCursor, GlidesBetweenClicks) {
    const Timeline tl = withClicks({click(1, 0.2, 0.2), click(3, 0.8, 0.8)});
    EXPECT_EQ(tl.cursor(0, 0), (NormPoint{0.2, 0.2}));
    EXPECT_EQ(tl.cursor(2.76, 0), (NormPoint{0.2, 0.2}));
    const auto mid = tl.cursor(2.83, 0);
    EXPECT_NEAR(mid.x, 0.5, 1e-9);
    EXPECT_NEAR(mid.y, 0.5, 1e-9);
    EXPECT_EQ(tl.cursor(2.9, 0), (NormPoint{0.8, 0.8}));
    EXPECT_EQ(tl.cursor(5, 0), (NormPoint{0.8, 0.8}));
    // With smoothness 1 the glide lasts 0.64 s: it departs at 2.26.
    EXPECT_EQ(tl.cursor(2.26, 1), (NormPoint{0.2, 0.2}));
    EXPECT_NEAR(tl.cursor(2.58, 1).x, 0.5, 1e-9);
    // No clicks, no track: the centre.
    EXPECT_EQ(Timeline{}.cursor(3, 0.5), (NormPoint{0.5, 0.5}));
}

TEST(SyntheticCursor, CloseClicksGlideAtLeastFortyMilliseconds) {
    const Timeline tl = withClicks({click(1, 0, 0), click(1.05, 1, 1)});
    // lead 0.0175, arrive 1.0325, glide 0.04 starting at 0.9925 (before the first click,
    // but the cursor rests on the first click until it has passed).
    const double depart = 1.0325 - 0.04;
    const double t = 1.01;
    const double v = (t - depart) / 0.04;
    const double e = v * v * v * (v * (6 * v - 15) + 10);
    EXPECT_NEAR(tl.synthCursor(t, 0).x, e, 1e-9);
    EXPECT_EQ(tl.synthCursor(1.0325, 0).x, 1);
}

TEST(CursorScale, PulsesAroundClicks) {
    EXPECT_EQ(Timeline{}.cursorScale(1), 1);
    const Timeline tl = withClicks({click(2, 0, 0), click(2.1, 0, 0), click(5, 0, 0)});
    EXPECT_EQ(tl.cursorScale(2), 0.7);
    EXPECT_EQ(tl.cursorScale(5), 0.7);
    EXPECT_EQ(tl.cursorScale(5.14), 1);
    EXPECT_EQ(tl.cursorScale(4.86), 1);
    EXPECT_EQ(tl.cursorScale(0), 1);
    // Between the two close clicks the nearer one counts: 2.05 is 0.05 from both.
    const double k = 1 - 0.05 / 0.14;
    EXPECT_NEAR(tl.cursorScale(2.05), 0.7 + 0.3 * (1 - k * k), 1e-12);
    // 2.12 is 0.02 from 2.1 (not 0.12 from 2).
    const double k2 = 1 - 0.02 / 0.14;
    EXPECT_NEAR(tl.cursorScale(2.12), 0.7 + 0.3 * (1 - k2 * k2), 1e-12);
}

TEST(PointerState, HoldsUntilTheNextSample) {
    Timeline tl;
    EXPECT_FALSE(tl.isPointer(1));
    tl.track = {{1, 0, 0, true}, {2, 0, 0, false}, {3, 0, 0, true}};
    EXPECT_FALSE(tl.isPointer(0.999));
    EXPECT_TRUE(tl.isPointer(1));
    EXPECT_TRUE(tl.isPointer(1.999));
    EXPECT_FALSE(tl.isPointer(2));
    EXPECT_TRUE(tl.isPointer(3));
    EXPECT_TRUE(tl.isPointer(100));
}
