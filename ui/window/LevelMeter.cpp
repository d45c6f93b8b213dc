#include "LevelMeter.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace orvane {

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LevelMeter::setLevel(double level) {
    const double v = std::isfinite(level) ? std::clamp(level, 0.0, 1.0) : 0.0;
    if (v == level_) {
        return;
    }
    level_ = v;
    update();
}

double LevelMeter::fill() const {
    if (level_ <= 0) {
        return 0;
    }
    const double db = 20.0 * std::log10(level_);
    return std::clamp(1.0 - db / kFloorDb, 0.0, 1.0);
}

QSize LevelMeter::sizeHint() const {
    return {120, 6};
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = track.height() / 2;
    QPainterPath shape;
    shape.addRoundedRect(track, radius, radius);
    p.fillPath(shape, Theme::color(Theme::Color::raisedSurface));
    const double f = fill();
    if (f <= 0) {
        return;
    }
    const QColor colour = f > kHot    ? Theme::color(Theme::Color::danger)
                          : f > kWarm ? QColor(0xF5, 0xB0, 0x2E)
                                      : Theme::color(Theme::Color::success);
    p.setClipPath(shape);
    p.fillRect(QRectF(track.left(), track.top(), track.width() * f, track.height()), colour);
}

} // namespace orvane
