#include "render/Squircle.h"

#include <algorithm>
#include <cmath>

namespace orvane {

QPainterPath squirclePath(const QRectF& rect, double radius, double smoothing) {
    QPainterPath path;
    const double shortSide = std::min(rect.width(), rect.height());
    const double r = std::min(radius, shortSide / 2);
    if (!(r > 0)) {
        path.addRect(rect);
        return path;
    }
    const double s = std::isfinite(smoothing) ? std::max(smoothing, 0.0) : 0.0;
    const double e = std::min(shortSide / 2, (s + 1) * r);
    constexpr double k = 0.62;
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

} // namespace orvane
