// Canonical frames compared with reference pictures in references/, within a
// tolerance (largest channel error, share of differing pixels). Set
// ORVANE_UPDATE_REFERENCES=1 to rewrite the references after a deliberate
// change, then look at them before committing.
#include "RenderTestSupport.h"
#include "render/FrameCompositor.h"
#include "render/OutputGeometry.h"

#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

namespace {

// 256 x 160 source in "Original" with padding 0.1: a 320 x 200 output.
constexpr int kSourceW = 256;
constexpr int kSourceH = 160;

QImage outputImage() {
    const auto size = outputSize(kSourceW, kSourceH, outputAspect(0, kSourceW, kSourceH), 0.1);
    EXPECT_TRUE(size.has_value());
    QImage out(size->width, size->height, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::black);
    return out;
}

CompositorSettings look(double motionBlur) {
    CompositorSettings s;
    s.padding = 0.1;
    s.cornerRadius = 16;
    s.motionBlur = motionBlur;
    s.smoothness = 0.4;
    return s;
}

// Same-machine results are exact; the tolerance leaves room for other SIMD
// paths of the raster engine and the JPEG decoder.
constexpr int kMaxError = 48;
constexpr double kMaxDiffering = 0.01;

void expectMatches(const QImage& actual, const QString& name, int maxError, double maxDiffering) {
    const QString problem = checkReference(actual, name, maxError, maxDiffering);
    EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
}

} // namespace

TEST(ReferencePictures, CanonicalFrames) {
    const QImage src = makeScreen(kSourceW, kSourceH);
    QImage out = outputImage();
    ASSERT_EQ(out.size(), QSize(320, 200));

    {
        // Gradient background, full view, arrow cursor at a click.
        FrameCompositor c(timelineWith({}, {clickAt(2, 0.35, 0.4)}), look(0.5),
                          Background::prepare(0, 0, out.width()));
        ASSERT_TRUE(c.compose(frameOf(src, 1.0), out));
        expectMatches(out, QStringLiteral("gradient-full-view"), kMaxError, kMaxDiffering);
    }
    {
        // Photograph obg_07, blurred; no cursor.
        FrameCompositor c(timelineWith({}), look(0.5), Background::prepare(11, 0.5, out.width()));
        ASSERT_TRUE(c.compose(frameOf(src, 0.5), out));
        expectMatches(out, QStringLiteral("image-background-blurred"), kMaxError, kMaxDiffering);
    }
    {
        // Zoomed 2x on a focus lock near the top right; the cursor elsewhere.
        Timeline tl = timelineWith({segment(0, 10, 2, 0.01, 0.8, 0.2)}, {clickAt(4, 0.6, 0.35)});
        FrameCompositor c(tl, look(0.5), Background::prepare(2, 0, out.width()));
        // The first frame blurs as it snaps in from the full view; the next
        // one, with the camera at rest, is sharp.
        ASSERT_TRUE(c.compose(frameOf(src, 3.0 - 1.0 / 30), out));
        ASSERT_TRUE(c.compose(frameOf(src, 3.0), out));
        ASSERT_FALSE(c.last().blurred);
        expectMatches(out, QStringLiteral("zoomed-focus-lock"), kMaxError, kMaxDiffering);
    }
    {
        // The pointing hand, from the cursor track.
        Timeline tl = timelineWith({});
        tl.track = {{0, 0.45, 0.5, true}, {5, 0.45, 0.5, true}};
        FrameCompositor c(tl, look(0.5), Background::prepare(1, 0, out.width()));
        ASSERT_TRUE(c.compose(frameOf(src, 2.0), out));
        expectMatches(out, QStringLiteral("pointer-cursor"), kMaxError, kMaxDiffering);
    }
    {
        // A pan: the camera follows the cursor across at zoom 2, motion blur 1.
        Timeline tl = timelineWith({segment(0, 10, 2, 0.01)});
        tl.track = {{0, 0.3, 0.5, false},
                    {2.0, 0.3, 0.5, false},
                    {2.0 + 1.0 / 30, 0.6, 0.55, false},
                    {10, 0.6, 0.55, false}};
        FrameCompositor c(tl, look(1.0), Background::prepare(4, 0, out.width()));
        ASSERT_TRUE(c.compose(frameOf(src, 2.0), out));
        ASSERT_TRUE(c.compose(frameOf(src, 2.0 + 1.0 / 30), out));
        ASSERT_TRUE(c.last().blurred);
        expectMatches(out, QStringLiteral("motion-blurred-pan"), kMaxError, kMaxDiffering);
    }
}
