#include "render/Background.h"

#include "render/BackgroundCache.h"
#include "render/ImageFilter.h"

#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cstring>

namespace orvane {

namespace {

QColor toColor(const Rgb& c) {
    return QColor::fromRgbF(static_cast<float>(c.r), static_cast<float>(c.g),
                            static_cast<float>(c.b));
}

} // namespace

Background Background::prepare(int index, double bgBlur, int outputWidth) {
    const BackgroundChoice choice = backgroundChoice(index);
    Background bg;
    bg.gradient_ = bgPresets[static_cast<std::size_t>(choice.gradient)];
    if (!choice.image) {
        return bg;
    }
    std::optional<QImage> image = bgImage(*choice.image);
    if (!image) {
        return bg;
    }
    if (bgBlur > 0.001) {
        // A failed blur (it cannot fail for the RGB32 decode) keeps the sharp image.
        gaussianBlur(*image, bgBlur * 40.0 * outputWidth / 640.0);
    }
    bg.image_ = std::move(*image);
    return bg;
}

Background::PreviewPlan Background::planPreview(int index, double bgBlur, int outputWidth) {
    const BackgroundChoice choice = backgroundChoice(index);
    PreviewPlan plan;
    plan.sharp.gradient_ = bgPresets[static_cast<std::size_t>(choice.gradient)];
    if (!choice.image) {
        return plan;
    }
    std::optional<QImage> image = BGPreviews::shared().image(*choice.image);
    const QSize full = QImageReader(backgroundImagePath(*choice.image)).size();
    if (!image || !full.isValid() || full.width() <= 0) {
        return plan;
    }
    if (bgBlur > 0.001) {
        // The export blurs the full-size photograph; in preview pixels the same
        // blur is narrower by the preview's scale.
        const double scale = double(image->width()) / full.width();
        plan.sigma = bgBlur * 40.0 * outputWidth / 640.0 * scale;
    }
    plan.sharp.image_ = std::move(*image);
    return plan;
}

Background Background::preparePreview(int index, double bgBlur, int outputWidth) {
    PreviewPlan plan = planPreview(index, bgBlur, outputWidth);
    if (plan.sigma > 0) {
        gaussianBlur(plan.sharp.image_, plan.sigma);
    }
    return std::move(plan.sharp);
}

Background Background::fromImage(QImage image) {
    Background bg;
    bg.image_ = std::move(image);
    return bg;
}

Background Background::fromGradient(int preset) {
    Background bg;
    bg.gradient_ = bgPresets[static_cast<std::size_t>(std::clamp(preset, 0, kGradientCount - 1))];
    return bg;
}

void Background::paint(QPainter& painter, QSize size) const {
    const double w = size.width();
    const double h = size.height();
    if (isImage()) {
        const double iw = image_.width();
        const double ih = image_.height();
        const double k = std::max(w / iw, h / ih);
        const QRectF target((w - k * iw) / 2, (h - k * ih) / 2, k * iw, k * ih);
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image_);
        painter.restore();
        return;
    }
    QLinearGradient g(0, 0, w, h);
    g.setSpread(QGradient::PadSpread);
    g.setColorAt(0, toColor(gradient_.first));
    g.setColorAt(1, toColor(gradient_.second));
    painter.fillRect(QRectF(0, 0, w, h), g);
}

const QImage& Background::fill(QImage& target, const QRect& skip) {
    static const QImage kNone;
    if (target.isNull() || (target.format() != QImage::Format_RGB32 &&
                            target.format() != QImage::Format_ARGB32_Premultiplied)) {
        return kNone;
    }
    if (rendered_.size() != target.size() || rendered_.format() != target.format()) {
        rendered_ = QImage(target.size(), target.format());
        if (rendered_.isNull()) {
            return kNone;
        }
        rendered_.fill(Qt::black);
        QPainter painter(&rendered_);
        paint(painter, rendered_.size());
    }
    const QRect hole = skip.intersected(target.rect());
    const auto copyRow = [&](int y, int from, int to) {
        if (to > from) {
            std::memcpy(target.scanLine(y) + std::ptrdiff_t(from) * 4,
                        rendered_.constScanLine(y) + std::ptrdiff_t(from) * 4,
                        static_cast<std::size_t>(to - from) * 4);
        }
    };
    for (int y = 0; y < target.height(); ++y) {
        if (hole.isEmpty() || y < hole.top() || y > hole.bottom()) {
            copyRow(y, 0, target.width());
        } else {
            copyRow(y, 0, hole.left());
            copyRow(y, hole.right() + 1, target.width());
        }
    }
    return rendered_;
}

} // namespace orvane
