// Cursor art, cursor drawing (hot spots, shadow, smear copies) and the squircle.
#include "RenderTestSupport.h"
#include "render/CursorArt.h"
#include "render/CursorDrawing.h"
#include "render/Squircle.h"

#include <QPainter>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using namespace orvane;
using namespace orvane::test;

namespace {

struct PathPoint {
    QPainterPath::ElementType type;
    double x;
    double y;
};

// The path's elements, with line segments of zero length left out (Qt may or
// may not store them).
std::vector<PathPoint> pointsOf(const QPainterPath& path) {
    std::vector<PathPoint> out;
    for (int i = 0; i < path.elementCount(); ++i) {
        const auto e = path.elementAt(i);
        if (e.type == QPainterPath::LineToElement && !out.empty() && out.back().x == e.x &&
            out.back().y == e.y) {
            continue;
        }
        out.push_back({e.type, e.x, e.y});
    }
    return out;
}

// Bounding box of the pixels with alpha above `threshold`.
QRect opaqueBounds(const QImage& img, int threshold = 0) {
    QRect box;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(img.pixel(x, y)) > threshold) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

QImage transparentCanvas(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

} // namespace

TEST(Squircle, RadiusZeroIsTheRectangle) {
    const QRectF rect(10, 20, 100, 60);
    for (const double r : {0.0, -5.0}) {
        const QPainterPath p = squirclePath(rect, r, 0.6);
        EXPECT_EQ(p.boundingRect(), rect);
        const auto pts = pointsOf(p);
        ASSERT_GE(pts.size(), 4u);
        for (const auto& pt : pts) {
            EXPECT_NE(pt.type, QPainterPath::CurveToElement);
            EXPECT_TRUE((pt.x == 10 || pt.x == 110) && (pt.y == 20 || pt.y == 80))
                << pt.x << "," << pt.y;
        }
    }
}

TEST(Squircle, HundredBySixtyPointForPoint) {
    // r = min(100, 30) = 30; e = min(30, 1.6 x 30) = 30; control points at 0.62 e.
    const QPainterPath p = squirclePath(QRectF(0, 0, 100, 60), 100, 0.6);
    const double c = 0.62 * 30;
    using E = QPainterPath::ElementType;
    const std::vector<PathPoint> expected = {
        {E::MoveToElement, 30, 0},
        {E::LineToElement, 70, 0},
        {E::CurveToElement, 70 + c, 0},
        {E::CurveToDataElement, 100, 30 - c},
        {E::CurveToDataElement, 100, 30},
        // The short side is only the end of one curve and the start of the next.
        {E::CurveToElement, 100, 30 + c},
        {E::CurveToDataElement, 70 + c, 60},
        {E::CurveToDataElement, 70, 60},
        {E::LineToElement, 30, 60},
        {E::CurveToElement, 30 - c, 60},
        {E::CurveToDataElement, 0, 30 + c},
        {E::CurveToDataElement, 0, 30},
        {E::CurveToElement, 0, 30 - c},
        {E::CurveToDataElement, 30 - c, 0},
        {E::CurveToDataElement, 30, 0},
    };
    const auto actual = pointsOf(p);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].type, expected[i].type) << "element " << i;
        EXPECT_NEAR(actual[i].x, expected[i].x, 1e-9) << "element " << i;
        EXPECT_NEAR(actual[i].y, expected[i].y, 1e-9) << "element " << i;
    }
}

TEST(Squircle, SmoothingReachAndCornerShape) {
    // With room to spare the curves reach (s + 1) x r along each edge.
    const auto pts = pointsOf(squirclePath(QRectF(0, 0, 400, 300), 20, 0.6));
    ASSERT_GE(pts.size(), 2u);
    EXPECT_NEAR(pts[0].x, 32, 1e-9);
    EXPECT_NEAR(pts[1].x, 400 - 32, 1e-9);
    // Negative smoothing counts as 0: the curves reach r.
    const auto plain = pointsOf(squirclePath(QRectF(0, 0, 400, 300), 20, -1));
    EXPECT_NEAR(plain[0].x, 20, 1e-9);
    // The corner is cut: its very corner is outside, the centre inside.
    const QPainterPath p = squirclePath(QRectF(0, 0, 400, 300), 40, 0.6);
    EXPECT_FALSE(p.contains(QPointF(1, 1)));
    EXPECT_TRUE(p.contains(QPointF(200, 150)));
    EXPECT_TRUE(p.contains(QPointF(200, 1)));
}

TEST(CursorArt, LoadsBothImagesWithTheirHotSpots) {
    const auto& arrow = CursorArt::arrow();
    const auto& hand = CursorArt::hand();
    ASSERT_TRUE(arrow.has_value());
    ASSERT_TRUE(hand.has_value());
    EXPECT_EQ(arrow->size(), QSize(256, 256));
    EXPECT_EQ(hand->size(), QSize(256, 256));
    EXPECT_EQ(arrow->format(), QImage::Format_ARGB32_Premultiplied);

    // The arrow's tip is its top-left-most point, at (4, 2) of 256.
    const QRect a = opaqueBounds(*arrow, 16);
    EXPECT_NEAR(a.left(), kArrowHotX * 256, 1.5);
    EXPECT_NEAR(a.top(), kArrowHotY * 256, 1.5);
    EXPECT_GT(qAlpha(arrow->pixel(8, 20)), 200); // just inside the tip
    EXPECT_EQ(qAlpha(arrow->pixel(200, 20)), 0); // beside the arrow
    // A white body inside a dark rim.
    const QRgb body = arrow->pixel(40, 100);
    EXPECT_GT(qRed(body), 240);
    const QRgb rim = arrow->pixel(6, 100);
    EXPECT_LT(qRed(rim), 60);
    EXPECT_GT(qAlpha(rim), 240);

    // The hand's fingertip touches the top edge at 0.296875 of the width.
    const QRect h = opaqueBounds(*hand, 16);
    EXPECT_LE(h.top(), 1);
    int sum = 0;
    int count = 0;
    for (int x = 0; x < 256; ++x) {
        if (qAlpha(hand->pixel(x, 1)) > 128) {
            sum += x;
            ++count;
        }
    }
    ASSERT_GT(count, 0);
    EXPECT_NEAR(double(sum) / count + 0.5, kHandHotX * 256, 2.0);
}

TEST(CursorArt, MissingOrBrokenResourcesGiveNothing) {
    EXPECT_FALSE(CursorArt::load(QStringLiteral("cursor-that-does-not-exist")));
    EXPECT_FALSE(CursorArt::loadFile(QString()));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString bogus = dir.filePath(QStringLiteral("bogus.pdf"));
    QFile f(bogus);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is not a PDF document at all");
    f.close();
    EXPECT_FALSE(CursorArt::loadFile(bogus));
}

TEST(CursorDrawing, HotSpotPlacement) {
    const QRectF arrow = cursorRect(QPointF(100, 100), 64, false);
    EXPECT_DOUBLE_EQ(arrow.x(), 100 - 0.015625 * 64);
    EXPECT_DOUBLE_EQ(arrow.y(), 100 - 0.0078125 * 64);
    EXPECT_DOUBLE_EQ(arrow.width(), 64);
    const QRectF hand = cursorRect(QPointF(100, 100), 64, true);
    EXPECT_DOUBLE_EQ(hand.x(), 100 - 0.296875 * 64);
    EXPECT_DOUBLE_EQ(hand.y(), 100);
    EXPECT_DOUBLE_EQ(hand.height(), 64);
}

TEST(CursorDrawing, SmearCopyCounts) {
    EXPECT_EQ(smearCopyCount(0), 0);
    EXPECT_EQ(smearCopyCount(1.2), 0);
    EXPECT_EQ(smearCopyCount(1.3), 3);
    EXPECT_EQ(smearCopyCount(15.9), 3);
    EXPECT_EQ(smearCopyCount(16), 4);
    EXPECT_EQ(smearCopyCount(40), 9);
    EXPECT_EQ(smearCopyCount(400), 9);
    EXPECT_EQ(smearCopyCount(std::nan("")), 0);
}

TEST(CursorDrawing, StillCursorHasItsShadowBelow) {
    const CursorImages art{solidSquare(32, Qt::white), solidSquare(32, Qt::white)};
    QImage canvas = transparentCanvas(120, 120);
    {
        QPainter p(&canvas);
        // Arrow hot spot (0.5, 0.25 of 32): the square covers (39.5, 39.75) ... (71.5, 71.75).
        drawArrowCursor(p, art, QPointF(40, 40), 32, false, QPointF(0, 0.8));
    }
    EXPECT_EQ(qAlpha(canvas.pixel(55, 55)), 255);
    EXPECT_EQ(qRed(canvas.pixel(55, 55)), 255);
    // Two pixels below the bottom edge: the shadow, dark and translucent.
    const QRgb below = canvas.pixel(55, 73);
    EXPECT_GT(qAlpha(below), 30);
    EXPECT_LT(qAlpha(below), 140);
    EXPECT_EQ(qRed(below), 0);
    // Far away: nothing.
    EXPECT_EQ(qAlpha(canvas.pixel(5, 5)), 0);
    EXPECT_EQ(qAlpha(canvas.pixel(110, 110)), 0);
}

TEST(CursorDrawing, SmearDrawsTranslucentCopiesWithoutShadow) {
    const CursorImages art{solidSquare(32, Qt::white), std::nullopt};
    {
        // 1.3 pixels: three copies at 1/3 each; where all overlap the alpha is
        // 1 - (2/3)^3.
        QImage canvas = transparentCanvas(120, 120);
        QPainter p(&canvas);
        drawArrowCursor(p, art, QPointF(40, 40), 32, false, QPointF(1.3, 0));
        p.end();
        EXPECT_NEAR(qAlpha(canvas.pixel(55, 55)), 255 * (1 - std::pow(2.0 / 3, 3)), 3);
        EXPECT_EQ(qAlpha(canvas.pixel(55, 74)), 0); // no shadow
    }
    {
        // 40 pixels: nine copies at 1/9, from -20 to +20 in steps of 5.
        QImage canvas = transparentCanvas(160, 120);
        QPainter p(&canvas);
        drawArrowCursor(p, art, QPointF(60, 40), 32, false, QPointF(40, 0));
        p.end();
        // Copies 2 ... 8 cover x = 80 wholly.
        // (Each copy's 8-bit alpha rounds, so allow for the compounding.)
        EXPECT_NEAR(qAlpha(canvas.pixel(80, 55)), 255 * (1 - std::pow(8.0 / 9, 7)), 8);
        // Only the leftmost copy reaches here (its left edge at 59.5 - 20).
        EXPECT_NEAR(qAlpha(canvas.pixel(42, 55)), 255.0 / 9, 3);
        EXPECT_EQ(qAlpha(canvas.pixel(37, 55)), 0);
    }
}

TEST(CursorDrawing, MissingArtDrawsNothing) {
    const CursorImages art{solidSquare(32, Qt::white), std::nullopt};
    QImage canvas = transparentCanvas(80, 80);
    QPainter p(&canvas);
    drawArrowCursor(p, art, QPointF(20, 20), 32, true, QPointF());
    drawArrowCursor(p, art, QPointF(20, 20), 0, false, QPointF());
    drawArrowCursor(p, art, QPointF(std::nan(""), 20), 32, false, QPointF());
    p.end();
    EXPECT_TRUE(opaqueBounds(canvas).isEmpty());
}

TEST(Squircle, CornerPiecesAreWhatTheSquircleCutsAway) {
    const QRectF rect(10, 20, 200, 120);
    const QPainterPath shape = squirclePath(rect, 24, 0.6);
    const QPainterPath corners = squircleCornersPath(rect, 24, 0.6);
    // Every sampled point of the rectangle is in exactly one of the two.
    int inCorners = 0;
    for (double y = 20.25; y < 140; y += 1.5) {
        for (double x = 10.25; x < 210; x += 1.5) {
            const bool a = shape.contains(QPointF(x, y));
            const bool b = corners.contains(QPointF(x, y));
            EXPECT_NE(a, b) << x << "," << y;
            inCorners += b ? 1 : 0;
        }
    }
    EXPECT_GT(inCorners, 20);
    EXPECT_TRUE(corners.contains(QPointF(11, 21)));
    EXPECT_TRUE(corners.contains(QPointF(209, 139)));
    EXPECT_TRUE(squircleCornersPath(rect, 0, 0.6).isEmpty());
}
