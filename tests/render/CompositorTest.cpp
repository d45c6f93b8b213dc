// The frame compositor's behaviour: springs, time steps, motion blur, cursor,
// skipped frames and drawing at any size.
#include "RenderTestSupport.h"
#include "render/FrameCompositor.h"
#include "render/OutputGeometry.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

namespace {

CompositorSettings settings(double motionBlur = 0.5) {
    CompositorSettings s;
    s.motionBlur = motionBlur;
    s.padding = 0.1;
    s.cornerRadius = 14;
    s.smoothness = 0.4;
    return s;
}

FrameCompositor compositor(Timeline tl, double motionBlur = 0.5,
                           CursorImages art = CursorImages::shared()) {
    return FrameCompositor(std::move(tl), settings(motionBlur), Background::fromGradient(0),
                           std::move(art));
}

QImage output(int w = 160, int h = 100) {
    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::black);
    return out;
}

CursorSample sample(double t, double x, double y, bool pointer = false) {
    return {t, x, y, pointer};
}

void expectCam(const CamState& a, const CamState& b, double tol = 0) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.w, b.w, tol);
}

} // namespace

TEST(CompositorCamera, FirstFrameSnapsToTheTarget) {
    const Timeline tl = timelineWith({segment(0, 10, 2, 0.8, 0.3, 0.4)});
    auto c = compositor(tl);
    const QImage src = makeScreen(128, 80);
    QImage out = output();
    ASSERT_TRUE(c.compose(frameOf(src, 3.0), out));
    const ComposedFrame& f = c.last();
    EXPECT_DOUBLE_EQ(f.dt, 1.0 / 60);
    EXPECT_EQ(f.substeps, 4);
    expectCam(f.simulated, tl.state(3.0));
    expectCam(f.velocity, {0, 0, 0});
    expectCam(f.drawn, clampCamera(tl.state(3.0)));
    EXPECT_NEAR(f.drawn.w, 0.5, 1e-9);
    EXPECT_TRUE(f.drawnFrame);
}

TEST(CompositorCamera, SpringFollowsWithSubSteps) {
    // Zooming in with smooth 0.8: the camera lags the target and moves toward it.
    const Timeline tl = timelineWith({segment(1, 10, 2, 0.8)});
    auto c = compositor(tl);
    const QImage src = makeScreen(128, 80);
    QImage out = output();
    ASSERT_TRUE(c.compose(frameOf(src, 0.9), out));
    ASSERT_TRUE(c.compose(frameOf(src, 0.9 + 1.0 / 30), out));
    EXPECT_EQ(c.last().substeps, 8);
    double w = 1;
    double vw = 0;
    double t = 0.9 + 1.0 / 30;
    // Hand integration of the width channel (the target is the timeline's).
    {
        const double omega = 6.283185307179586 / (0.6 * 0.8 + 0.18);
        const double h = (1.0 / 30) / 8;
        const double target = tl.state(t).w;
        for (int i = 0; i < 8; ++i) {
            vw += h * (-omega * omega * (w - target) - 2 * omega * vw);
            w += h * vw;
        }
    }
    EXPECT_NEAR(c.last().simulated.w, w, 1e-12);
    EXPECT_NEAR(c.last().velocity.w, vw, 1e-12);
    for (int i = 2; i < 40; ++i) {
        t = 0.9 + i / 30.0;
        ASSERT_TRUE(c.compose(frameOf(src, t), out));
        // Always behind the target while zooming in (critically damped: no overshoot).
        EXPECT_GE(c.last().simulated.w, tl.state(t).w - 1e-9) << t;
    }
    EXPECT_NEAR(c.last().simulated.w, 0.5, 0.02); // settled by 2.2 s
}

TEST(CompositorCamera, LongGapAdvancesOnlyATenth) {
    // While fully zoomed on a focus lock the target stays put, so frames at
    // 3.0 s and at 5.0 s after the same first frame must agree exactly: both
    // gaps count as 0.1 s.
    const Timeline tl = timelineWith({segment(0, 10, 2, 0.8, 0.3, 0.4)});
    const QImage src = makeScreen(64, 40);
    QImage out = output(80, 50);
    auto a = compositor(tl);
    auto b = compositor(tl);
    ASSERT_TRUE(a.compose(frameOf(src, 0.2), out));
    const CamState first = a.last().simulated;
    ASSERT_TRUE(b.compose(frameOf(src, 0.2), out));
    ASSERT_TRUE(a.compose(frameOf(src, 3.0), out));
    ASSERT_TRUE(b.compose(frameOf(src, 5.0), out));
    EXPECT_DOUBLE_EQ(a.last().dt, 0.1);
    EXPECT_EQ(a.last().substeps, 24);
    expectCam(a.last().simulated, b.last().simulated);
    expectCam(a.last().velocity, b.last().velocity);
    // Moved toward the target (w 0.5), not onto it.
    EXPECT_LT(a.last().simulated.w, first.w);
    EXPECT_GT(a.last().simulated.w, 0.5 + 1e-3);
    // A step shorter than 1/240 s counts as 1/240 s in one sub-step; a step
    // back in time too.
    ASSERT_TRUE(a.compose(frameOf(src, 3.001), out));
    EXPECT_DOUBLE_EQ(a.last().dt, 1.0 / 240);
    EXPECT_EQ(a.last().substeps, 1);
    ASSERT_TRUE(a.compose(frameOf(src, 2.5), out));
    EXPECT_DOUBLE_EQ(a.last().dt, 1.0 / 240);
    // A time that is not finite counts as 0.
    ASSERT_TRUE(a.compose(frameOf(src, std::nan("")), out));
    EXPECT_DOUBLE_EQ(a.last().time, 0);
}

TEST(CompositorCamera, LowSmoothFollowsTheTargetExactly) {
    // smooth below 0.02: no spring, the camera is the target at every frame,
    // through the zoom-in, the hold and the zoom-out.
    const Timeline tl = timelineWith({segment(0.5, 2.5, 2.5, 0.01, 0.8, 0.2)}, {}, 3);
    auto c = compositor(tl);
    const QImage src = makeScreen(64, 40);
    QImage out = output(80, 50);
    for (int i = 0; i <= 90; ++i) {
        const double t = i / 30.0;
        ASSERT_TRUE(c.compose(frameOf(src, t), out));
        expectCam(c.last().simulated, tl.state(t));
        expectCam(c.last().velocity, {0, 0, 0});
        expectCam(c.last().drawn, clampCamera(tl.state(t)));
    }
}

TEST(CompositorMotionBlur, CameraAtRestNeverBlurs) {
    const QImage src = makeScreen(128, 80);
    QImage out = output();
    // No zoom at all.
    auto still = compositor(timelineWith({}), 1.0);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(still.compose(frameOf(src, i / 30.0), out));
        EXPECT_EQ(still.last().blurRadius, 0);
        EXPECT_FALSE(still.last().blurred);
    }
    // Settled on a held zoom: the tiny residual motion stays in the dead zone.
    auto held = compositor(timelineWith({segment(0, 10, 2, 0.8, 0.3, 0.4)}), 1.0);
    for (int i = 0; i < 120; ++i) {
        ASSERT_TRUE(held.compose(frameOf(src, 0.5 + i / 30.0), out));
    }
    EXPECT_EQ(held.last().blurRadius, 0);
    EXPECT_FALSE(held.last().blurred);
}

TEST(CompositorMotionBlur, FirstFrameBlurDependsOnTheTargetAlone) {
    // The first frame snaps to a zoomed target away from the centre; the
    // previous drawn camera is the full view, so the blur is measured from it.
    const Timeline tl = timelineWith({segment(0, 10, 2, 0.8, 0.3, 0.4)});
    const QImage src = makeScreen(200, 120);
    QImage out = output();
    auto c = compositor(tl, 0.6);
    ASSERT_TRUE(c.compose(frameOf(src, 3.0), out));
    const CamState d = clampCamera(tl.state(3.0));
    const double dx = (d.x - 0.5) * 200;
    const double dy = (d.y - 0.5) * 120;
    const double amount = std::abs(1 / d.w - 1) * 120 * 0.5 + std::hypot(dx, dy) - 0.02 * 120;
    const double radius = std::min(0.6 * amount * 0.7, 0.045 * 120);
    EXPECT_NEAR(c.last().blurRadius, radius, 1e-9);
    EXPECT_NEAR(c.last().blurAngle, std::atan2(-dy, dx), 1e-12);
    EXPECT_TRUE(c.last().blurred);
    // The same with the setting off: nothing.
    auto off = compositor(tl, 0.001);
    ASSERT_TRUE(off.compose(frameOf(src, 3.0), out));
    EXPECT_EQ(off.last().blurRadius, 0);
    EXPECT_EQ(off.last().blurAngle, 0);
    EXPECT_FALSE(off.last().blurred);
}

TEST(CompositorMotionBlur, PanBlursAlongTheMotionAndSmearsTheCursor) {
    // The camera follows the cursor track; a jump of the cursor with smooth
    // 0.01 moves the camera at once from 0.3 to 0.7.
    Timeline tl = timelineWith({segment(0, 10, 2, 0.01)});
    tl.track = {sample(0, 0.3, 0.5), sample(2.0, 0.3, 0.5), sample(2.0 + 1.0 / 30, 0.7, 0.5),
                sample(10, 0.7, 0.5)};
    const QImage src = makeScreen(200, 120);
    QImage out = output();
    auto c = compositor(tl, 1.0);
    ASSERT_TRUE(c.compose(frameOf(src, 2.0), out));
    ASSERT_TRUE(c.compose(frameOf(src, 2.0 + 1.0 / 30), out));
    const ComposedFrame& f = c.last();
    EXPECT_NEAR(f.drawn.x, 0.7, 1e-9);
    EXPECT_NEAR(f.blurRadius, 0.045 * 120, 1e-9); // capped
    EXPECT_NEAR(f.blurAngle, 0, 1e-12);           // to the right
    EXPECT_TRUE(f.blurred);
    // Smear: along +x, z x radius scaled from source to output pixels.
    const QRectF video = videoRect(160, 100, 0.1, 200, 120);
    EXPECT_NEAR(f.smear.x(), 2 * 0.045 * 120 * video.width() / 200, 1e-9);
    EXPECT_NEAR(f.smear.y(), 0, 1e-9);
}

TEST(CompositorCursor, NoCursorWithoutClicksOrSamples) {
    const QImage src = makeScreen(128, 80);
    QImage withArt = output();
    QImage withoutArt = output();
    auto a = compositor(timelineWith({segment(0, 5, 2, 0.5)}));
    auto b = compositor(timelineWith({segment(0, 5, 2, 0.5)}), 0.5, CursorImages{});
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(a.compose(frameOf(src, i * 0.2), withArt));
        ASSERT_TRUE(b.compose(frameOf(src, i * 0.2), withoutArt));
        EXPECT_FALSE(a.last().cursorShown);
        EXPECT_EQ(comparePictures(withArt, withoutArt).maxChannelError, 0);
    }
    // One click is enough to bring it back.
    auto clicked = compositor(timelineWith({}, {clickAt(1, 0.4, 0.6)}));
    QImage out = output();
    ASSERT_TRUE(clicked.compose(frameOf(src, 1.0), out));
    EXPECT_TRUE(clicked.last().cursorShown);
    EXPECT_GT(comparePictures(out, withoutArt).differing, 20);
}

TEST(CompositorCursor, NoCursorOverPicturesThatShowTheirOwn) {
    const QImage src = makeScreen(128, 80);
    Timeline tl = timelineWith({}, {clickAt(1, 0.4, 0.6)});
    tl.cursorInPicture = true;
    auto inPicture = compositor(tl);
    auto noArt = compositor(tl, 0.5, CursorImages{});
    QImage out = output();
    QImage bare = output();
    ASSERT_TRUE(inPicture.compose(frameOf(src, 1.0), out));
    ASSERT_TRUE(noArt.compose(frameOf(src, 1.0), bare));
    EXPECT_FALSE(inPicture.last().cursorShown);
    EXPECT_EQ(comparePictures(out, bare).maxChannelError, 0);
}

TEST(CompositorCursor, MissingPointerArtSkipsOnlyPointerFrames) {
    Timeline tl = timelineWith({});
    tl.track = {sample(0, 0.4, 0.4, true), sample(0.99, 0.4, 0.4, true), sample(1.0, 0.4, 0.4),
                sample(3, 0.4, 0.4)};
    const QImage src = makeScreen(128, 80);
    const auto art = CursorImages::shared();
    ASSERT_TRUE(art.arrow && art.hand);
    auto arrowOnly = compositor(tl, 0.5, CursorImages{art.arrow, std::nullopt});
    auto none = compositor(tl, 0.5, CursorImages{});
    auto both = compositor(tl, 0.5, art);
    for (const double t : {0.5, 2.0}) {
        QImage a = output();
        QImage n = output();
        QImage b = output();
        ASSERT_TRUE(arrowOnly.compose(frameOf(src, t), a));
        ASSERT_TRUE(none.compose(frameOf(src, t), n));
        ASSERT_TRUE(both.compose(frameOf(src, t), b));
        EXPECT_EQ(arrowOnly.last().pointer, t < 1);
        if (t < 1) {
            // Pointer frame: no hand to draw, so nothing at all.
            EXPECT_EQ(comparePictures(a, n).maxChannelError, 0);
            EXPECT_GT(comparePictures(b, n).differing, 20); // the hand does draw
        } else {
            // Arrow frame: the arrow is there.
            EXPECT_GT(comparePictures(a, n).differing, 20);
            EXPECT_EQ(comparePictures(a, b).maxChannelError, 0);
        }
    }
}

TEST(CompositorCursor, PlacedThroughTheCameraAndScaledByClicks) {
    // A focus lock sets the camera, yet the cursor is still drawn where the
    // track says, mapped through the zoom.
    Timeline tl = timelineWith({segment(0, 10, 2, 0.01, 0.7, 0.3)}, {clickAt(4, 0.6, 0.35)});
    tl.track = {sample(0, 0.6, 0.35), sample(10, 0.6, 0.35)};
    const QImage src = makeScreen(128, 80);
    QImage out = output(200, 120);
    auto c = compositor(tl);
    ASSERT_TRUE(c.compose(frameOf(src, 3.0), out));
    const ComposedFrame& f = c.last();
    EXPECT_NEAR(f.drawn.x, 0.7, 1e-9); // the focus, not the cursor
    EXPECT_NEAR(f.drawn.y, 0.3, 1e-9);
    EXPECT_TRUE(f.cursorShown);
    const QRectF video = videoRect(200, 120, 0.1, 128, 80);
    const QPointF expected = mapToOutput(200, 120, video, f.drawn, 0.6, 0.35);
    EXPECT_NEAR(f.cursorTip.x(), expected.x(), 1e-9);
    EXPECT_NEAR(f.cursorTip.y(), expected.y(), 1e-9);
    EXPECT_NEAR(f.cursorHeight, 0.08 * 120, 1e-9);
    // At the click the cursor shrinks (the timeline's pulse).
    ASSERT_TRUE(c.compose(frameOf(src, 4.0), out));
    EXPECT_NEAR(c.last().cursorHeight, 0.08 * 120 * tl.cursorScale(4.0), 1e-9);
    EXPECT_LT(c.last().cursorHeight, 0.08 * 120);
}

TEST(CompositorCursor, CursorSpringLagsThenSettles) {
    Timeline tl = timelineWith({});
    tl.track = {sample(0, 0.2, 0.5), sample(1.0, 0.2, 0.5), sample(1.0 + 1.0 / 60, 0.8, 0.5),
                sample(5, 0.8, 0.5)};
    const QImage src = makeScreen(64, 40);
    QImage out = output(80, 50);
    auto c = compositor(tl);
    ASSERT_TRUE(c.compose(frameOf(src, 1.0), out));
    EXPECT_NEAR(c.last().cursorPosition.x(), 0.2, 1e-12); // snaps on the first draw
    ASSERT_TRUE(c.compose(frameOf(src, 1.0 + 2.0 / 60), out));
    const double x1 = c.last().cursorPosition.x();
    EXPECT_GT(x1, 0.2);
    EXPECT_LT(x1, 0.8);
    for (int i = 3; i < 40; ++i) {
        ASSERT_TRUE(c.compose(frameOf(src, 1.0 + i / 60.0), out));
    }
    EXPECT_NEAR(c.last().cursorPosition.x(), 0.8, 1e-3);
}

TEST(CompositorFrames, SkippedFramesAdvanceTheCameraOnly) {
    Timeline tl = timelineWith({segment(0, 10, 2, 0.8)}, {clickAt(1, 0.5, 0.5)});
    const QImage src = makeScreen(64, 40);
    auto c = compositor(tl);
    QImage out = output(80, 50);
    ASSERT_TRUE(c.compose(frameOf(src, 1.0), out));

    // No pixels: skipped, output untouched, time remembered.
    QImage marker = output(80, 50);
    marker.fill(Qt::magenta);
    const QImage before = marker;
    SourceFrame broken = frameOf(src, 1.0 + 1.0 / 30);
    broken.data = nullptr;
    EXPECT_FALSE(c.compose(broken, marker));
    EXPECT_FALSE(c.last().drawnFrame);
    EXPECT_EQ(marker, before);
    ASSERT_TRUE(c.compose(frameOf(src, 1.0 + 2.0 / 30), out));
    EXPECT_NEAR(c.last().dt, 1.0 / 30, 1e-12);

    // A stride too short for the width, a zero size, a bad output format.
    SourceFrame shortStride = frameOf(src, 1.2);
    shortStride.stride = 10;
    EXPECT_FALSE(c.compose(shortStride, out));
    SourceFrame empty = frameOf(src, 1.3);
    empty.width = 0;
    EXPECT_FALSE(c.compose(empty, out));
    QImage rgb888(80, 50, QImage::Format_RGB888);
    EXPECT_FALSE(c.compose(frameOf(src, 1.4), rgb888));
    QImage null;
    EXPECT_FALSE(c.compose(frameOf(src, 1.5), null));
}

TEST(CompositorFrames, SamePictureAtAnyScale) {
    // The preview draws at view scale: half the size, the same picture.
    Timeline tl = timelineWith({segment(0, 10, 2, 0.01, 0.4, 0.6)}, {clickAt(3, 0.45, 0.55)});
    const QImage src = makeScreen(256, 160);
    auto big = compositor(tl, 0.5);
    auto small = compositor(tl, 0.5);
    QImage outBig = output(320, 200);
    QImage outSmall = output(160, 100);
    ASSERT_TRUE(big.compose(frameOf(src, 3.0), outBig));
    ASSERT_TRUE(small.compose(frameOf(src, 3.0), outSmall));
    const QImage halved = outBig.scaled(160, 100, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const PictureDiff d = comparePictures(halved, outSmall, 24);
    EXPECT_LT(d.differing, 160 * 100 / 50); // under 2% beyond a small error
    // The picture is opaque in both formats.
    QImage rgb32(160, 100, QImage::Format_RGB32);
    auto third = compositor(tl, 0.5);
    ASSERT_TRUE(third.compose(frameOf(src, 3.0), rgb32));
    EXPECT_LE(comparePictures(rgb32, outSmall).maxChannelError, 1);
    EXPECT_EQ(qAlpha(outSmall.pixel(1, 1)), 255);
}

TEST(CompositorFrames, VideoSitsInItsRoundedRectangle) {
    const QImage src = makeScreen(128, 80);
    CompositorSettings s = settings(0);
    s.cornerRadius = 40; // 25 pixels at 400 wide
    FrameCompositor c(timelineWith({}), s, Background::fromGradient(3), CursorImages{});
    QImage out = output(400, 250);
    ASSERT_TRUE(c.compose(frameOf(src, 0), out));
    const QRectF video = videoRect(400, 250, 0.1, 128, 80);
    // The centre of the output shows the centre of the source.
    const QRgb mid = out.pixel(200, 125);
    const QRgb srcMid = src.pixel(64, 40);
    EXPECT_NEAR(qRed(mid), qRed(srcMid), 40);
    // The padding shows the gradient (preset 3 is dark grey-blue).
    const QRgb pad = out.pixel(5, 125);
    EXPECT_LT(qRed(pad), 50);
    EXPECT_LT(qGreen(pad), 60);
    // The video's own corner pixel is cut away, the same spot along the edge is not.
    const QPoint corner(static_cast<int>(video.left()) + 1, static_cast<int>(video.top()) + 1);
    EXPECT_EQ(comparePictures(out.copy(QRect(corner, QSize(1, 1))),
                              out.copy(QRect(QPoint(corner.x(), 3), QSize(1, 1))), 30)
                  .differing,
              0);
    EXPECT_NE(out.pixel(static_cast<int>(video.center().x()), static_cast<int>(video.top()) + 1),
              out.pixel(static_cast<int>(video.center().x()), 3));
}

TEST(CompositorFrames, FramesWithoutAlphaStillDrawOpaque) {
    // A BGR0 frame (alpha bytes 0) must not come out transparent.
    QImage bgr0(64, 40, QImage::Format_ARGB32);
    bgr0.fill(QColor(200, 100, 50));
    for (int y = 0; y < bgr0.height(); ++y) {
        uchar* row = bgr0.scanLine(y);
        for (int x = 0; x < bgr0.width(); ++x) {
            row[x * 4 + 3] = 0;
        }
    }
    for (const double blur : {0.0, 1.0}) {
        Timeline tl = timelineWith({segment(0, 10, 2, 0.01, 0.3, 0.3)});
        auto c = compositor(tl, blur, CursorImages{});
        QImage out = output(80, 50);
        ASSERT_TRUE(c.compose(frameOf(bgr0, 2.0), out));
        EXPECT_EQ(c.last().blurred, blur > 0);
        const QRgb p = out.pixel(40, 25);
        EXPECT_EQ(qAlpha(p), 255);
        EXPECT_NEAR(qRed(p), 200, 2);
        EXPECT_NEAR(qGreen(p), 100, 2);
        EXPECT_NEAR(qBlue(p), 50, 2);
    }
}

TEST(CompositorFrames, DevicePixelRatioDoesNotScaleTheDrawing) {
    // The preview hands in a canvas tagged with the screen's pixel ratio.
    Timeline tl = timelineWith({segment(0, 10, 2, 0.01, 0.4, 0.6)}, {clickAt(3, 0.45, 0.55)});
    const QImage src = makeScreen(128, 80);
    auto plain = compositor(tl);
    auto hidpi = compositor(tl);
    QImage a = output(160, 100);
    QImage b = output(160, 100);
    b.setDevicePixelRatio(2);
    ASSERT_TRUE(plain.compose(frameOf(src, 3.0), a));
    ASSERT_TRUE(hidpi.compose(frameOf(src, 3.0), b));
    EXPECT_EQ(comparePictures(a, b).maxChannelError, 0);
    EXPECT_EQ(b.devicePixelRatio(), 2);
}

TEST(CompositorFrames, NewTimelineKeepsTheSprings) {
    // An edit replaces the timeline mid-play: the camera glides to the new
    // target instead of jumping.
    const QImage src = makeScreen(64, 40);
    QImage out = output(80, 50);
    auto c = compositor(timelineWith({segment(0, 10, 2, 0.8, 0.3, 0.3)}));
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(c.compose(frameOf(src, 1 + i / 60.0), out));
    }
    const CamState before = c.last().simulated;
    const Timeline edited = timelineWith({segment(0, 10, 2, 0.8, 0.7, 0.7)});
    c.setTimeline(edited);
    ASSERT_TRUE(c.compose(frameOf(src, 2.0), out));
    EXPECT_NEAR(c.last().target.x, 0.7, 1e-9);
    EXPECT_GT(c.last().simulated.x, before.x);
    EXPECT_LT(c.last().simulated.x, 0.7 - 0.05);
    // reset() forgets the springs: the next frame snaps.
    c.reset();
    ASSERT_TRUE(c.compose(frameOf(src, 2.1), out));
    EXPECT_NEAR(c.last().simulated.x, edited.state(2.1).x, 1e-12);
}
