#include "render/YuvPatch.h"

#include "media/YuvConversion.h"

#include <cstring>

namespace orvane {

bool YuvPatch::load(const YuvView& picture, const QRect& area) {
    const QRect clipped = area.intersected(QRect(0, 0, picture.width(), picture.height()));
    if (clipped.isEmpty()) {
        area_ = QRect();
        return false;
    }
    // Whole chroma blocks: widen to even edges (a last odd column stays in).
    const int left = clipped.left() & ~1;
    const int top = clipped.top() & ~1;
    const int right = std::min(clipped.right() | 1, picture.width() - 1);
    const int bottom = std::min(clipped.bottom() | 1, picture.height() - 1);
    area_ = QRect(QPoint(left, top), QPoint(right, bottom));
    if (image_.size() != area_.size()) {
        image_ = QImage(area_.size(), QImage::Format_ARGB32_Premultiplied);
        original_ = QImage(area_.size(), QImage::Format_ARGB32_Premultiplied);
        if (image_.isNull() || original_.isNull()) {
            area_ = QRect();
            return false;
        }
    }
    yuv::toBgra(picture, area_.x(), area_.y(), area_.width(), area_.height(), image_.bits(),
                image_.bytesPerLine());
    std::memcpy(original_.bits(), image_.constBits(), static_cast<std::size_t>(image_.sizeInBytes()));
    return true;
}

void YuvPatch::store(const YuvView& picture) const {
    if (area_.isEmpty()) {
        return;
    }
    const int w = area_.width();
    const int h = area_.height();
    const auto pixel = [&](const QImage& img, int x, int y) {
        return reinterpret_cast<const QRgb*>(img.constScanLine(y))[x];
    };
    for (int by = 0; by < h; by += 2) {
        for (int bx = 0; bx < w; bx += 2) {
            bool changed = false;
            int r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    // An odd last row or column counts twice, as in fromBgra.
                    const int x = std::min(bx + dx, w - 1);
                    const int y = std::min(by + dy, h - 1);
                    const QRgb now = pixel(image_, x, y);
                    r += qRed(now);
                    g += qGreen(now);
                    b += qBlue(now);
                    if (now != pixel(original_, x, y)) {
                        changed = true;
                        picture.y.row(area_.y() + y)[area_.x() + x] =
                            yuv::luma(qRed(now), qGreen(now), qBlue(now));
                    }
                }
            }
            if (changed) {
                const int cx = (area_.x() + bx) / 2;
                const int cy = (area_.y() + by) / 2;
                picture.u.row(cy)[cx] = yuv::cbOfSum(r, g, b);
                picture.v.row(cy)[cx] = yuv::crOfSum(r, g, b);
            }
        }
    }
}

} // namespace orvane
