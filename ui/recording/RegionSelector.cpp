#include "RegionSelector.h"

#include "ui/Theme.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace orvane {

RegionSelector::RegionSelector(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("Orvane — Choose a region"));
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void RegionSelector::showOver(const QRect& screenArea, const QImage& picture) {
    picture_ = picture;
    setAttribute(Qt::WA_TranslucentBackground, picture.isNull());
    selection_ = QRect();
    dragging_ = false;
    setGeometry(screenArea);
    show();
    raise();
    activateWindow();
    setFocus();
}

QRect RegionSelector::snapped(QPoint from, QPoint to, QSize bounds) {
    auto clampX = [&](int x) { return std::clamp(x, 0, std::max(bounds.width(), 0)); };
    auto clampY = [&](int y) { return std::clamp(y, 0, std::max(bounds.height(), 0)); };
    const int left = clampX(std::min(from.x(), to.x()));
    const int top = clampY(std::min(from.y(), to.y()));
    const int right = clampX(std::max(from.x(), to.x()));
    const int bottom = clampY(std::max(from.y(), to.y()));
    return QRect(left, top, (right - left) & ~1, (bottom - top) & ~1);
}

QPoint RegionSelector::pixelAt(QPointF local) const {
    const double scale = devicePixelRatioF();
    return QPoint(static_cast<int>(std::lround(local.x() * scale)), static_cast<int>(std::lround(local.y() * scale)));
}

void RegionSelector::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    dragging_ = true;
    anchor_ = pixelAt(event->position());
    selection_ = QRect(anchor_, QSize(0, 0));
    update();
}

void RegionSelector::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        return;
    }
    const QSize bounds = (QSizeF(size()) * devicePixelRatioF()).toSize();
    selection_ = snapped(anchor_, pixelAt(event->position()), bounds);
    update();
}

void RegionSelector::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) {
        return;
    }
    mouseMoveEvent(event); // where it was let go
    dragging_ = false;
    if (selection_.width() < kMinimumSide || selection_.height() < kMinimumSide) {
        selection_ = QRect(); // a click, not a drag: try again
        update();
        return;
    }
    hide();
    emit chosen(selection_);
}

void RegionSelector::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        emit cancelled();
        return;
    }
    QWidget::keyPressEvent(event);
}

void RegionSelector::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const double scale = devicePixelRatioF();
    if (!picture_.isNull()) {
        p.drawImage(rect(), picture_);
    } else {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(rect(), Qt::transparent); // the live screen shows through
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    const QRectF chosen(selection_.x() / scale, selection_.y() / scale, selection_.width() / scale,
                        selection_.height() / scale);
    // Dim everything but the region.
    QPainterPath outside;
    outside.addRect(QRectF(rect()));
    QPainterPath inside;
    inside.addRect(chosen);
    p.fillPath(outside.subtracted(inside), QColor(0, 0, 0, 140));
    p.setFont(Theme::font(Theme::Font::callout));
    if (selection_.isEmpty()) {
        p.setPen(Qt::white);
        p.drawText(rect(), Qt::AlignCenter,
                   QStringLiteral("Drag to choose the region to record · Esc to cancel"));
        return;
    }
    p.setPen(QPen(Theme::color(Theme::Color::accent), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(chosen);
    const QString label = QStringLiteral("%1 × %2").arg(selection_.width()).arg(selection_.height());
    QRectF box = p.fontMetrics().boundingRect(label).adjusted(-8, -4, 8, 4);
    box.moveTopLeft(chosen.bottomLeft() + QPointF(0, 6));
    if (box.bottom() > height()) {
        box.moveBottomLeft(chosen.topLeft() - QPointF(0, 6));
    }
    p.fillRect(box, QColor(0, 0, 0, 200));
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, label);
}

} // namespace orvane
