#include "render/Squircle.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

constexpr double k = 0.62;

// How far each corner curve reaches along the edges; 0 for square corners.
double reach(const QRectF& rect, double radius, double smoothing) {
    const double shortSide = std::min(rect.width(), rect.height());
    const double r = std::min(radius, shortSide / 2);
    if (!(r > 0)) {
        return 0;
    }
    const double s = std::isfinite(smoothing) ? std::max(smoothing, 0.0) : 0.0;
    return std::min(shortSide / 2, (s + 1) * r);
}

} // namespace

QPainterPath squirclePath(const QRectF& rect, double radius, double smoothing) {
    QPainterPath path;
    const double e = reach(rect, radius, smoothing);
    if (!(e > 0)) {
        path.addRect(rect);
        return path;
    }
    const double minX = rect.left();
    const double minY = rect.top();
    const double maxX = rect.right();
    const double maxY = rect.bottom();

    path.moveTo(minX + e, minY);
    path.lineTo(maxX - e, minY);
    path.cubicTo(maxX - e + k * e, minY, maxX, minY + e - k * e, maxX, minY + e);
    path.lineTo(maxX, maxY - e);
    path.cubicTo(maxX, maxY - e + k * e, maxX - e + k * e, maxY, maxX - e, maxY);
    path.lineTo(minX + e, maxY);
    path.cubicTo(minX + e - k * e, maxY, minX, maxY - e + k * e, minX, maxY - e);
    path.lineTo(minX, minY + e);
    path.cubicTo(minX, minY + e - k * e, minX + e - k * e, minY, minX + e, minY);
    path.closeSubpath();
    return path;
}

QPainterPath squircleCornersPath(const QRectF& rect, double radius, double smoothing,
                                 double outset) {
    QPainterPath path;
    const double e = reach(rect, radius, smoothing);
    if (!(e > 0)) {
        return path;
    }
    const double o = std::isfinite(outset) && outset > 0 ? outset : 0;
    const double minX = rect.left();
    const double minY = rect.top();
    const double maxX = rect.right();
    const double maxY = rect.bottom();
    // Each piece: from the (outset) corner along one edge to where the curve
    // starts, back along the curve, and home along the other edge.
    path.moveTo(maxX + o, minY - o);
    path.lineTo(maxX + o, minY + e);
    path.lineTo(maxX, minY + e);
    path.cubicTo(maxX, minY + e - k * e, maxX - e + k * e, minY, maxX - e, minY);
    path.lineTo(maxX - e, minY - o);
    path.closeSubpath();
    path.moveTo(maxX + o, maxY + o);
    path.lineTo(maxX - e, maxY + o);
    path.lineTo(maxX - e, maxY);
    path.cubicTo(maxX - e + k * e, maxY, maxX, maxY - e + k * e, maxX, maxY - e);
    path.lineTo(maxX + o, maxY - e);
    path.closeSubpath();
    path.moveTo(minX - o, maxY + o);
    path.lineTo(minX - o, maxY - e);
    path.lineTo(minX, maxY - e);
    path.cubicTo(minX, maxY - e + k * e, minX + e - k * e, maxY, minX + e, maxY);
    path.lineTo(minX + e, maxY + o);
    path.closeSubpath();
    path.moveTo(minX - o, minY - o);
    path.lineTo(minX + e, minY - o);
    path.lineTo(minX + e, minY);
    path.cubicTo(minX + e - k * e, minY, minX, minY + e - k * e, minX, minY + e);
    path.lineTo(minX - o, minY + e);
    path.closeSubpath();
    return path;
}

} // namespace orvane
