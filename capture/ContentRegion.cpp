#include "ContentRegion.h"

#include <QStringList>

#include <cmath>

namespace orvane {

QRect evenRegion(QRect region) {
    return QRect(region.x(), region.y(), region.width() & ~1, region.height() & ~1);
}

std::optional<QRect> parseRegion(const QString& text) {
    // Far beyond any display, and far from where pixel sums overflow.
    constexpr int kLargest = 1 << 20;
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) {
        return std::nullopt;
    }
    int v[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || v[i] < 0 || v[i] > kLargest) {
            return std::nullopt;
        }
    }
    const QRect region = evenRegion(QRect(v[0], v[1], v[2], v[3]));
    if (region.width() < 2 || region.height() < 2) {
        return std::nullopt;
    }
    return region;
}

QString regionProblem(QRect region, QSize displayPixels) {
    if (region.width() < 2 || region.height() < 2) {
        return QStringLiteral("the region is smaller than 2x2 pixels");
    }
    // Compared as 64-bit sums: a corner near INT_MAX must not wrap around.
    const qint64 right = qint64(region.x()) + region.width();
    const qint64 bottom = qint64(region.y()) + region.height();
    if (region.x() < 0 || region.y() < 0 || right > displayPixels.width() ||
        bottom > displayPixels.height()) {
        return QStringLiteral("the region %1,%2 %3x%4 reaches past the monitor's %5x%6 pixels")
            .arg(region.x())
            .arg(region.y())
            .arg(region.width())
            .arg(region.height())
            .arg(displayPixels.width())
            .arg(displayPixels.height());
    }
    return {};
}

Result<CaptureContent> withRegion(const CaptureContent& display, QRect region) {
    if (display.kind != CaptureContent::Kind::Display) {
        return Error{ErrorKind::Invalid, "a region is a part of a monitor: it cannot be given with a window"};
    }
    region = evenRegion(region);
    const double scale = display.pixelScale > 0 ? display.pixelScale : 1.0;
    const QSize pixels(static_cast<int>(std::lround(display.area.width() * scale)),
                       static_cast<int>(std::lround(display.area.height() * scale)));
    if (const QString why = regionProblem(region, pixels); !why.isEmpty()) {
        return Error{ErrorKind::Invalid, why.toStdString()};
    }
    CaptureContent c = display;
    c.region = region;
    c.title = QStringLiteral("%1 (region at %2,%3)").arg(display.title).arg(region.x()).arg(region.y());
    return c;
}

QRectF recordedArea(const CaptureContent& content) {
    if (content.region.isEmpty() || content.kind != CaptureContent::Kind::Display) {
        return content.area;
    }
    const double scale = content.pixelScale > 0 ? content.pixelScale : 1.0;
    return QRectF(content.area.x() + content.region.x() / scale,
                  content.area.y() + content.region.y() / scale, content.region.width() / scale,
                  content.region.height() / scale);
}

} // namespace orvane
