#include "render/CursorDrawing.h"

#include "render/ImageFilter.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace orvane {

QRectF cursorRect(QPointF tip, double height, bool pointer) {
    const double hx = pointer ? kHandHotX : kArrowHotX;
    const double hy = pointer ? kHandHotY : kArrowHotY;
    return {tip.x() - hx * height, tip.y() - hy * height, height, height};
}

int smearCopyCount(double length) {
    if (!(length > 1.2)) {
        return 0;
    }
    return std::clamp(static_cast<int>(length * 0.25), 3, 9);
}

int CursorShadowCache::padding() {
    return static_cast<int>(std::ceil(3 * kCursorShadowSigma)) + 1;
}

const QImage& CursorShadowCache::shadowFor(const QImage& art, double height, QPointF frac) {
    if (art.cacheKey() == artKey_ && height == height_ && frac == frac_ && !shadow_.isNull()) {
        return shadow_;
    }
    const int pad = padding();
    const int side = static_cast<int>(std::ceil(height)) + 2 * pad + 1;
    shadow_ = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
    shadow_.fill(Qt::transparent);
    {
        QPainter p(&shadow_);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(pad + frac.x(), pad + frac.y(), height, height), art);
        // Keep the shape's coverage, in black at the shadow's opacity.
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(shadow_.rect(), QColor(0, 0, 0, static_cast<int>(255 * kCursorShadowAlpha)));
    }
    gaussianBlur(shadow_, kCursorShadowSigma);
    artKey_ = art.cacheKey();
    height_ = height;
    frac_ = frac;
    return shadow_;
}

void drawArrowCursor(QPainter& painter, const CursorImages& art, QPointF tip, double height,
                     bool pointer, QPointF smear, CursorShadowCache* cache) {
    const std::optional<QImage>& image = pointer ? art.hand : art.arrow;
    if (!image || image->isNull() || !(height > 0) || !std::isfinite(tip.x()) ||
        !std::isfinite(tip.y())) {
        return;
    }
    const QRectF rect = cursorRect(tip, height, pointer);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double length = std::hypot(smear.x(), smear.y());
    if (const int n = smearCopyCount(length); n > 0) {
        painter.setOpacity(1.0 / n);
        for (int i = 0; i < n; ++i) {
            const double f = double(i) / (n - 1) - 0.5;
            painter.drawImage(rect.translated(f * smear.x(), f * smear.y()), *image);
        }
    } else {
        const QPointF whole(std::floor(rect.x()), std::floor(rect.y()));
        const QPointF frac = rect.topLeft() - whole;
        CursorShadowCache local;
        CursorShadowCache& shadows = cache != nullptr ? *cache : local;
        const QImage& shadow = shadows.shadowFor(*image, height, frac);
        const int pad = CursorShadowCache::padding();
        painter.drawImage(whole + QPointF(-pad, kCursorShadowOffsetY - pad), shadow);
        painter.drawImage(rect, *image);
    }
    painter.restore();
}

} // namespace orvane
