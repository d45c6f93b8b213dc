// Drawing a large source small: the box halvings, the chain the compositor
// keeps, and the compositor's two drawings (BGRA for the preview, I420 for
// the export) showing one-pixel detail as its average rather than as moire.
#include "RenderTestSupport.h"
#include "render/FrameCompositor.h"
#include "render/HalfScale.h"
#include "render/SourceReduction.h"
#include "media/YuvConversion.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

namespace {

// One-pixel vertical stripes, black and white, in BGRA.
QImage stripesBgra(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            row[x] = (x % 2 == 0) ? 0xff000000u : 0xffffffffu;
        }
    }
    return img;
}

// The same stripes in I420 (limited range: luma 16 and 235, neutral chroma).
YuvImage stripesYuv(int w, int h) {
    YuvImage img(w, h);
    const YuvView v = img.view();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            v.y.row(y)[x] = (x % 2 == 0) ? 16 : 235;
        }
    }
    return img;
}

CompositorSettings bare() {
    CompositorSettings s;
    s.motionBlur = 0;
    s.padding = 0;
    s.cornerRadius = 0;
    return s;
}

struct Range {
    int low = 255;
    int high = 0;
};

// The range of every channel over the middle of a BGRA picture (a margin of
// 8 pixels keeps the video's edges out).
Range rangeOf(const QImage& img) {
    Range r;
    for (int y = 8; y < img.height() - 8; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 8; x < img.width() - 8; ++x) {
            for (const int c : {qRed(row[x]), qGreen(row[x]), qBlue(row[x])}) {
                r.low = std::min(r.low, c);
                r.high = std::max(r.high, c);
            }
        }
    }
    return r;
}

Range rangeOf(const Plane& p, int margin) {
    Range r;
    for (int y = margin; y < p.height - margin; ++y) {
        for (int x = margin; x < p.width - margin; ++x) {
            r.low = std::min(r.low, int(p.row(y)[x]));
            r.high = std::max(r.high, int(p.row(y)[x]));
        }
    }
    return r;
}

} // namespace

TEST(HalfScale, HalvingsLeaveAScaleOfAtLeastThreeQuarters) {
    EXPECT_EQ(halfscale::halvingsFor(1.0), 0);
    EXPECT_EQ(halfscale::halvingsFor(0.75), 0);
    EXPECT_EQ(halfscale::halvingsFor(0.74), 1);
    EXPECT_EQ(halfscale::halvingsFor(800.0 / 1920), 1);
    EXPECT_EQ(halfscale::halvingsFor(0.3), 2);
    EXPECT_EQ(halfscale::halvingsFor(0.1), 3);
    EXPECT_EQ(halfscale::halvingsFor(0.001, 4), 4); // the limit holds
    EXPECT_EQ(halfscale::halvingsFor(0), 0);
    EXPECT_EQ(halfscale::halvingsFor(-1), 0);
    EXPECT_EQ(halfscale::halvingsFor(std::nan("")), 0);
}

TEST(HalfScale, BgraHalvingAveragesEachTwoByTwoBlock) {
    // Odd sizes and widths past the vector loop: every output pixel is the
    // rounded mean of its block, an odd last row or column averaged with
    // itself.
    for (const QSize size : {QSize(37, 5), QSize(2, 2), QSize(1, 1), QSize(64, 9)}) {
        QImage src(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                src.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * 5 + y * 91) % 256,
                                        (x * y * 7 + 3) % 256));
            }
        }
        QImage dst;
        ASSERT_TRUE(halfscale::halveBgra(src, dst));
        ASSERT_EQ(dst.size(), QSize((size.width() + 1) / 2, (size.height() + 1) / 2));
        for (int y = 0; y < dst.height(); ++y) {
            for (int x = 0; x < dst.width(); ++x) {
                const int x1 = std::min(2 * x + 1, size.width() - 1);
                const int y1 = std::min(2 * y + 1, size.height() - 1);
                const QRgb px[4] = {src.pixel(2 * x, 2 * y), src.pixel(x1, 2 * y),
                                    src.pixel(2 * x, y1), src.pixel(x1, y1)};
                const auto mean = [&](int (*channel)(QRgb)) {
                    return (channel(px[0]) + channel(px[1]) + channel(px[2]) + channel(px[3]) + 2) / 4;
                };
                const QRgb got = dst.pixel(x, y);
                ASSERT_EQ(qRed(got), mean(qRed)) << size.width() << " " << x << "," << y;
                ASSERT_EQ(qGreen(got), mean(qGreen)) << x << "," << y;
                ASSERT_EQ(qBlue(got), mean(qBlue)) << x << "," << y;
            }
        }
    }
    QImage dst;
    EXPECT_FALSE(halfscale::halveBgra(QImage(), dst));
    EXPECT_FALSE(halfscale::halveBgra(QImage(4, 4, QImage::Format_Grayscale8), dst));
}

TEST(HalfScale, PlaneHalvingAveragesEachTwoByTwoBlock) {
    for (const int w : {1, 7, 33, 64, 71}) {
        std::vector<std::uint8_t> in(static_cast<std::size_t>(w) * 5);
        for (std::size_t i = 0; i < in.size(); ++i) {
            in[i] = static_cast<std::uint8_t>((i * 53 + 7) % 256);
        }
        const Plane src{in.data(), w, w, 5};
        const int hw = (w + 1) / 2;
        std::vector<std::uint8_t> out(static_cast<std::size_t>(hw) * 3 + 64, 0);
        const Plane dst{out.data(), hw, hw, 3};
        ASSERT_TRUE(halfscale::halvePlane(src, dst));
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < hw; ++x) {
                const int x1 = std::min(2 * x + 1, w - 1);
                const int y1 = std::min(2 * y + 1, 4);
                const int sum = src.row(2 * y)[2 * x] + src.row(2 * y)[x1] + src.row(y1)[2 * x] +
                                src.row(y1)[x1];
                ASSERT_EQ(dst.row(y)[x], (sum + 2) / 4) << w << ": " << x << "," << y;
            }
        }
        const Plane tooSmall{out.data(), hw, hw, 2};
        EXPECT_FALSE(halfscale::halvePlane(src, tooSmall));
    }
}

TEST(SourceReduction, ReusesTheReductionOfTheSamePictureOnly) {
    QImage src = makeScreen(200, 120);
    SourceReduction r;
    const QImage* once = r.bgra(src, 2, 7);
    ASSERT_NE(once, nullptr);
    EXPECT_EQ(once->size(), QSize(50, 30));
    EXPECT_EQ(r.bgraReductions(), 1);
    const QImage kept = once->copy();
    EXPECT_EQ(r.bgra(src, 2, 7), once);
    EXPECT_EQ(r.bgraReductions(), 1); // the same picture: reused
    src.fill(Qt::red);
    ASSERT_NE(r.bgra(src, 2, 8), nullptr); // a new picture: reduced again
    EXPECT_EQ(r.bgraReductions(), 2);
    EXPECT_EQ(qRed(r.bgra(src, 2, 8)->pixel(10, 10)), 255);
    EXPECT_NE(r.bgra(src, 1, 8), nullptr); // another level
    EXPECT_EQ(r.bgraReductions(), 3);
    r.bgra(src, 1, 0); // unknown pictures are always reduced
    r.bgra(src, 1, 0);
    EXPECT_EQ(r.bgraReductions(), 5);
    EXPECT_NE(kept.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(r.bgra(src, 0, 9), nullptr);
}

TEST(Prefilter, StripesDrawnSmallComeOutGreyInBothDrawings) {
    // 1920 pixels of one-pixel stripes shown 800 pixels wide: without a
    // prefilter a bilinear draw reads them unevenly and they alias.
    const QImage srcBgra = stripesBgra(1920, 1200);
    FrameCompositor bgra(timelineWith({}), bare(), Background::fromGradient(0));
    QImage out(800, 500, QImage::Format_RGB32);
    ASSERT_TRUE(bgra.compose(frameOf(srcBgra, 0), out));
    EXPECT_EQ(bgra.last().reduction, 2);
    const Range rb = rangeOf(out);
    EXPECT_GE(rb.low, 123) << "BGRA low " << rb.low << " high " << rb.high;
    EXPECT_LE(rb.high, 132) << "BGRA low " << rb.low << " high " << rb.high;

    const YuvImage srcYuv = stripesYuv(1920, 1200);
    FrameCompositor yuv(timelineWith({}), bare(), Background::fromGradient(0));
    YuvImage outYuv(800, 500);
    ASSERT_TRUE(yuv.composeYuv(srcYuv.view(), 0, outYuv.view()));
    EXPECT_EQ(yuv.last().reduction, 2);
    const Range ry = rangeOf(outYuv.view().y, 8);
    EXPECT_GE(ry.low, 121) << "I420 low " << ry.low << " high " << ry.high;
    EXPECT_LE(ry.high, 130) << "I420 low " << ry.low << " high " << ry.high;
    const Range ru = rangeOf(outYuv.view().u, 4);
    EXPECT_EQ(ru.low, 128);
    EXPECT_EQ(ru.high, 128);
}

TEST(Prefilter, StripesShownAtFullSizeStayStripes) {
    // At 1:1, and zoomed in enough that the scale is 0.75 or more, the source
    // is drawn as it is: the stripes keep their full contrast.
    const QImage srcBgra = stripesBgra(1920, 1200);
    FrameCompositor full(timelineWith({}), bare(), Background::fromGradient(0));
    QImage out(1920, 1200, QImage::Format_RGB32);
    ASSERT_TRUE(full.compose(frameOf(srcBgra, 0), out));
    EXPECT_EQ(full.last().reduction, 1);
    EXPECT_EQ(out.copy(100, 100, 64, 1), srcBgra.copy(100, 100, 64, 1));

    // 800 wide, zoomed 2.4x: 0.83 output pixels per source pixel.
    const Timeline zoomed = timelineWith({segment(0, 10, 2.4, 0.01)});
    FrameCompositor bgra(zoomed, bare(), Background::fromGradient(0));
    QImage small(800, 500, QImage::Format_RGB32);
    ASSERT_TRUE(bgra.compose(frameOf(srcBgra, 5), small));
    EXPECT_EQ(bgra.last().reduction, 1);
    const YuvImage srcYuv = stripesYuv(1920, 1200);
    FrameCompositor yuv(zoomed, bare(), Background::fromGradient(0));
    YuvImage outYuv(800, 500);
    ASSERT_TRUE(yuv.composeYuv(srcYuv.view(), 5, outYuv.view()));
    EXPECT_EQ(yuv.last().reduction, 1);
}

TEST(Prefilter, ReducedDrawingMatchesBetweenThePaths) {
    // A 9:16 export of a wide screen shrinks the video to a third: both
    // drawings reduce it alike (twice) and still show the same picture.
    const QImage screen = makeScreen(960, 600);
    YuvImage srcYuv(960, 600);
    yuv::fromBgra(screen.constBits(), screen.bytesPerLine(), 960, 600, srcYuv.view());
    QImage srcBgra(960, 600, QImage::Format_RGB32);
    yuv::toBgra(srcYuv.view(), 0, 0, 960, 600, srcBgra.bits(), srcBgra.bytesPerLine());
    CompositorSettings look = bare();
    look.padding = 0.05;
    look.cornerRadius = 20;
    FrameCompositor bgra(timelineWith({}), look, Background::fromGradient(1));
    FrameCompositor yuvPath(timelineWith({}), look, Background::fromGradient(1));
    QImage out(338, 600, QImage::Format_RGB32);
    YuvImage outYuv(338, 600);
    ASSERT_TRUE(bgra.compose(frameOf(srcBgra, 0), out));
    ASSERT_TRUE(yuvPath.composeYuv(srcYuv.view(), 0, outYuv.view()));
    EXPECT_EQ(bgra.last().reduction, 4);
    EXPECT_EQ(yuvPath.last().reduction, 4);
    YuvImage expected(338, 600);
    yuv::fromBgra(out.constBits(), out.bytesPerLine(), 338, 600, expected.view());
    const Plane a = outYuv.view().y;
    const Plane e = expected.view().y;
    double sum = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            sum += std::abs(int(a.row(y)[x]) - int(e.row(y)[x]));
        }
    }
    EXPECT_LT(sum / (double(a.width) * a.height), 2.0);
}

TEST(Prefilter, ALongMotionBlurIsMadeOnAHalvedCopyInBothDrawings) {
    // The first frame of a take zoomed 1.5x jumps from the full view (where
    // the camera starts): a blur of about 54 source pixels, drawn at 0.78 output pixels per source pixel. Such a
    // blur keeps no detail along its line, so it is made at half size; with
    // no blur the same frame is drawn from the full-size source.
    const Timeline tl = timelineWith({segment(0, 10, 1.5, 0.01)});
    const QImage screen = makeScreen(1920, 1200);
    YuvImage srcYuv(1920, 1200);
    yuv::fromBgra(screen.constBits(), screen.bytesPerLine(), 1920, 1200, srcYuv.view());
    for (const double blur : {1.0, 0.0}) {
        CompositorSettings look = bare();
        look.motionBlur = blur;
        FrameCompositor bgra(tl, look, Background::fromGradient(0));
        FrameCompositor yuvPath(tl, look, Background::fromGradient(0));
        QImage out(1000, 625, QImage::Format_RGB32);
        YuvImage outYuv(1000, 625);
        ASSERT_TRUE(bgra.compose(frameOf(screen, 5), out));
        ASSERT_TRUE(yuvPath.composeYuv(srcYuv.view(), 5, outYuv.view()));
        EXPECT_NEAR(bgra.last().drawn.w, 1 / 1.5, 1e-9);
        EXPECT_EQ(bgra.last().blurred, blur > 0);
        EXPECT_EQ(yuvPath.last().blurred, blur > 0);
        if (blur > 0) {
            EXPECT_GT(bgra.last().blurRadius, 24);
        }
        EXPECT_EQ(bgra.last().reduction, blur > 0 ? 2 : 1) << "blur " << blur;
        EXPECT_EQ(yuvPath.last().reduction, bgra.last().reduction) << "blur " << blur;
    }
}
