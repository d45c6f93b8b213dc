#include "BackgroundSwatch.h"

#include "Theme.h"

#include "render/BackgroundCache.h"
#include "render/BackgroundPresets.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace orvane {

namespace {
QColor toColor(Rgb c) {
    return QColor::fromRgbF(static_cast<float>(c.r), static_cast<float>(c.g),
                            static_cast<float>(c.b));
}
} // namespace

BackgroundSwatch::BackgroundSwatch(int index, int side, QWidget* parent)
    : QAbstractButton(parent), index_(index), side_(side) {
    setCheckable(true);
    setFixedSize(side, side);
    setCursor(Qt::PointingHandCursor);
    const BackgroundChoice choice = backgroundChoice(index);
    if (choice.image) {
        if (auto img = BGThumbs::shared().thumb(*choice.image)) {
            thumb_ = *img;
        }
        setToolTip(backgroundImageName(*choice.image));
    } else {
        setToolTip(QStringLiteral("Gradient %1").arg(index + 1));
    }
}

QSize BackgroundSwatch::sizeHint() const {
    return {side_, side_};
}

void BackgroundSwatch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF r = QRectF(rect()).adjusted(2, 2, -2, -2);
    QPainterPath shape;
    shape.addRoundedRect(r, 7, 7);
    p.save();
    p.setClipPath(shape);
    const BackgroundChoice choice = backgroundChoice(index_);
    if (choice.image && !thumb_.isNull()) {
        // Fill the square: scale to cover and centre.
        const QSizeF s = QSizeF(thumb_.size()).scaled(r.size(), Qt::KeepAspectRatioByExpanding);
        p.drawImage(QRectF(r.center().x() - s.width() / 2, r.center().y() - s.height() / 2,
                           s.width(), s.height()),
                    thumb_);
    } else {
        const GradientPreset& g = bgPresets[static_cast<std::size_t>(choice.gradient)];
        QLinearGradient grad(r.topLeft(), r.bottomRight());
        grad.setColorAt(0, toColor(g.first));
        grad.setColorAt(1, toColor(g.second));
        p.fillRect(r, grad);
    }
    p.restore();
    if (isChecked()) {
        p.setPen(QPen(Theme::color(Theme::Color::primaryText), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 8, 8);
    } else {
        p.setPen(QPen(Theme::color(Theme::Color::stroke), 1));
        p.drawPath(shape);
    }
}

} // namespace orvane
