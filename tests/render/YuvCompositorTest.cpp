// The compositor's I420 drawing (the export's) against its BGRA drawing (the
// preview's): the same picture frame after frame, under zoom, pan, motion
// blur, rounded corners and the cursor; and the pieces it is made of.
#include "RenderTestSupport.h"
#include "render/FrameCompositor.h"
#include "render/ImageFilter.h"
#include "render/YuvPatch.h"
#include "media/YuvConversion.h"

#include <QPainter>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

namespace {

constexpr int kSrcW = 240;
constexpr int kSrcH = 150;
constexpr int kOutW = 320;
constexpr int kOutH = 220;

YuvImage toYuv(const QImage& bgra) {
    YuvImage out(bgra.width(), bgra.height());
    yuv::fromBgra(bgra.constBits(), bgra.bytesPerLine(), bgra.width(), bgra.height(), out.view());
    return out;
}

QImage toBgra(const YuvImage& yuvImage) {
    QImage out(yuvImage.width(), yuvImage.height(), QImage::Format_RGB32);
    yuv::toBgra(yuvImage.view(), 0, 0, yuvImage.width(), yuvImage.height(), out.bits(),
                out.bytesPerLine());
    return out;
}

struct PlaneDiff {
    double mean = 0;      // mean absolute difference, levels
    double farShare = 0;  // share of samples more than 24 levels apart
};

PlaneDiff diff(const Plane& a, const Plane& b) {
    double sum = 0;
    long far = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const int d = std::abs(int(a.row(y)[x]) - int(b.row(y)[x]));
            sum += d;
            far += d > 24 ? 1 : 0;
        }
    }
    const double n = double(a.width) * a.height;
    return {sum / n, static_cast<double>(far) / n};
}

// Runs both drawings over the same frames and compares every one.
void expectSamePictures(const Timeline& tl, const CompositorSettings& look,
                        const std::vector<double>& times, bool expectBlur = false) {
    // Both see the same source: the I420 picture, and its BGRA form.
    const YuvImage sourceYuv = toYuv(makeScreen(kSrcW, kSrcH));
    const QImage sourceBgra = toBgra(sourceYuv);
    FrameCompositor bgraPath(tl, look, Background::fromGradient(2));
    FrameCompositor yuvPath(tl, look, Background::fromGradient(2));
    QImage bgraOut(kOutW, kOutH, QImage::Format_RGB32);
    YuvImage yuvOut(kOutW, kOutH);
    bool blurred = false;
    for (const double t : times) {
        ASSERT_TRUE(bgraPath.compose(frameOf(sourceBgra, t), bgraOut));
        ASSERT_TRUE(yuvPath.composeYuv(sourceYuv.view(), t, yuvOut.view()));
        // The same simulation on both.
        EXPECT_DOUBLE_EQ(yuvPath.last().drawn.x, bgraPath.last().drawn.x);
        EXPECT_DOUBLE_EQ(yuvPath.last().drawn.w, bgraPath.last().drawn.w);
        EXPECT_EQ(yuvPath.last().blurred, bgraPath.last().blurred);
        blurred = blurred || yuvPath.last().blurred;
        const YuvImage expected = toYuv(bgraOut);
        const YuvView e = expected.view();
        const YuvView a = yuvOut.view();
        const PlaneDiff dy = diff(a.y, e.y);
        const PlaneDiff du = diff(a.u, e.u);
        const PlaneDiff dv = diff(a.v, e.v);
        EXPECT_LT(dy.mean, 2.0) << "t " << t;
        EXPECT_LT(dy.farShare, 0.01) << "t " << t;
        EXPECT_LT(du.mean, 2.0) << "t " << t;
        EXPECT_LT(dv.mean, 2.0) << "t " << t;
    }
    EXPECT_EQ(blurred, expectBlur);
}

CompositorSettings look(double motionBlur, double cornerRadius = 30) {
    CompositorSettings s;
    s.motionBlur = motionBlur;
    s.padding = 0.1;
    s.cornerRadius = cornerRadius;
    s.smoothness = 0.6;
    return s;
}

} // namespace

TEST(YuvCompositor, FullViewMatchesTheBgraDrawing) {
    expectSamePictures(timelineWith({}), look(0), {0.0, 1.0 / 60, 2.0 / 60});
    expectSamePictures(timelineWith({}), look(0, 0), {0.0});
}

TEST(YuvCompositor, ZoomAndCursorMatchTheBgraDrawing) {
    const Timeline tl = timelineWith({segment(0.5, 4, 2.2, 0.5)},
                                     {clickAt(1.0, 0.3, 0.4), clickAt(2.5, 0.7, 0.6)});
    std::vector<double> times;
    for (int i = 0; i < 150; i += 7) {
        times.push_back(0.4 + i / 60.0);
    }
    expectSamePictures(tl, look(0), times);
}

TEST(YuvCompositor, MotionBlurredPanMatchesTheBgraDrawing) {
    Timeline tl = timelineWith({segment(0, 10, 2, 0.01)});
    tl.track = {{0, 0.3, 0.5, false}, {2.0, 0.3, 0.5, false}, {2.0 + 1.0 / 30, 0.7, 0.5, false},
                {10, 0.7, 0.5, false}};
    expectSamePictures(tl, look(1.0), {2.0, 2.0 + 1.0 / 30}, true);
}

TEST(YuvCompositor, SkipsUnusableFramesLikeTheBgraDrawing) {
    FrameCompositor c(timelineWith({segment(0, 10, 2)}), look(0), Background::fromGradient(0));
    YuvImage out(kOutW, kOutH);
    const YuvImage source = toYuv(makeScreen(kSrcW, kSrcH));
    EXPECT_FALSE(c.composeYuv(YuvView{}, 0, out.view()));
    EXPECT_FALSE(c.composeYuv(source.view(), 1.0 / 60, YuvView{}));
    // A chroma plane too small for its luma is refused, not overrun.
    YuvView shortChroma = source.view();
    shortChroma.u.width = 3;
    EXPECT_FALSE(c.composeYuv(shortChroma, 2.0 / 60, out.view()));
    EXPECT_FALSE(c.last().drawnFrame);
    // The camera still advanced through the skipped frames.
    EXPECT_NEAR(c.last().time, 2.0 / 60, 1e-12);
    EXPECT_TRUE(c.composeYuv(source.view(), 3.0 / 60, out.view()));
    EXPECT_NEAR(c.last().dt, 1.0 / 60, 1e-12);
}

TEST(YuvPatch, UntouchedPixelsKeepTheirBytesAndDrawnOnesAreConverted) {
    const YuvImage original = toYuv(makeScreen(64, 40));
    YuvImage picture = toYuv(makeScreen(64, 40));
    YuvPatch patch;
    // Odd edges widen to whole chroma blocks; an area past the picture is clipped.
    ASSERT_TRUE(patch.load(picture.view(), QRect(5, 3, 80, 9)));
    EXPECT_EQ(patch.origin(), QPoint(4, 2));
    EXPECT_EQ(patch.image().size(), QSize(60, 10));
    patch.store(picture.view()); // nothing drawn
    const auto same = [](const Plane& a, const Plane& b) {
        for (int y = 0; y < a.height; ++y) {
            for (int x = 0; x < a.width; ++x) {
                if (a.row(y)[x] != b.row(y)[x]) {
                    return false;
                }
            }
        }
        return true;
    };
    EXPECT_TRUE(same(picture.view().y, original.view().y));
    EXPECT_TRUE(same(picture.view().u, original.view().u));

    ASSERT_TRUE(patch.load(picture.view(), QRect(10, 10, 20, 20)));
    {
        QPainter p(&patch.image());
        p.fillRect(QRect(QPoint(20, 20) - patch.origin(), QSize(4, 4)), QColor(255, 0, 0));
    }
    patch.store(picture.view());
    const YuvView v = picture.view();
    EXPECT_EQ(v.y.row(21)[21], 63);  // red's luma
    EXPECT_EQ(v.v.row(10)[10], 240); // and chroma
    EXPECT_EQ(v.y.row(12)[12], original.view().y.row(12)[12]);
    EXPECT_FALSE(patch.load(picture.view(), QRect(70, 50, 5, 5)));
}

TEST(MotionBlurPlane, BlursAPlaneLikeTheSameChannelOfAnImage) {
    const QImage screen = makeScreen(120, 80);
    YuvImage planes = toYuv(screen);
    // A grey image whose every channel holds the luma plane.
    QImage grey(120, 80, QImage::Format_RGB32);
    const YuvView v = planes.view();
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 120; ++x) {
            const int l = v.y.row(y)[x];
            grey.setPixel(x, y, qRgb(l, l, l));
        }
    }
    MotionBlur imageBlur;
    MotionBlur planeBlur;
    QImage blurredImage;
    YuvImage blurred(120, 80);
    for (const double angle : {0.0, 0.7, 2.0}) {
        ASSERT_TRUE(imageBlur.apply(grey, blurredImage, 9.5, angle));
        ASSERT_TRUE(planeBlur.applyPlane(v.y, blurred.view().y, 9.5, angle));
        for (int y = 0; y < 80; ++y) {
            for (int x = 0; x < 120; ++x) {
                ASSERT_EQ(blurred.view().y.row(y)[x], qBlue(blurredImage.pixel(x, y)))
                    << angle << " at " << x << "," << y;
            }
        }
    }
    // Mismatched sizes and a plane blurred onto itself are refused.
    YuvImage small(60, 40);
    EXPECT_FALSE(planeBlur.applyPlane(v.y, small.view().y, 3, 0));
    EXPECT_FALSE(planeBlur.applyPlane(v.y, v.y, 3, 0));
}
