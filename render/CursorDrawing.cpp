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

int CursorSpriteCache::padding() {
    return static_cast<int>(std::ceil(3 * kCursorShadowSigma + kCursorShadowOffsetY)) + 1;
}

const QImage& CursorSpriteCache::sprite(const QImage& art, double height, QPointF frac,
                                        bool shadow) {
    if (art.cacheKey() == artKey_ && height == height_ && frac == frac_ && shadow == shadow_ &&
        !sprite_.isNull()) {
        return sprite_;
    }
    const int pad = padding();
    const int side = static_cast<int>(std::ceil(height)) + 2 * pad + 1;
    const QRectF place(pad + frac.x(), pad + frac.y(), height, height);
    sprite_ = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
    sprite_.fill(Qt::transparent);
    if (shadow) {
        {
            QPainter p(&sprite_);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(place.translated(0, kCursorShadowOffsetY), art);
            // Keep the shape's coverage, in black at the shadow's opacity.
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(sprite_.rect(), QColor(0, 0, 0, static_cast<int>(255 * kCursorShadowAlpha)));
        }
        gaussianBlur(sprite_, kCursorShadowSigma);
    }
    QPainter p(&sprite_);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(place, art);
    p.end();
    artKey_ = art.cacheKey();
    height_ = height;
    frac_ = frac;
    shadow_ = shadow;
    return sprite_;
}

void drawArrowCursor(QPainter& painter, const CursorImages& art, QPointF tip, double height,
                     bool pointer, QPointF smear, CursorSpriteCache* cache) {
    const std::optional<QImage>& image = pointer ? art.hand : art.arrow;
    if (!image || image->isNull() || !(height > 0) || !std::isfinite(tip.x()) ||
        !std::isfinite(tip.y())) {
        return;
    }
    const QRectF rect = cursorRect(tip, height, pointer);
    const QPointF whole(std::floor(rect.x()), std::floor(rect.y()));
    const QPointF frac = rect.topLeft() - whole;
    CursorSpriteCache local;
    CursorSpriteCache& sprites = cache != nullptr ? *cache : local;
    const double length = std::hypot(smear.x(), smear.y());
    const int n = smearCopyCount(length);
    const QImage& sprite = sprites.sprite(*image, height, frac, n == 0);
    const QPointF origin =
        whole - QPointF(CursorSpriteCache::padding(), CursorSpriteCache::padding());
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (n > 0) {
        painter.setOpacity(1.0 / n);
        for (int i = 0; i < n; ++i) {
            const double f = double(i) / (n - 1) - 0.5;
            painter.drawImage(origin + QPointF(f * smear.x(), f * smear.y()), sprite);
        }
    } else {
        painter.drawImage(origin, sprite);
    }
    painter.restore();
}

} // namespace orvane
