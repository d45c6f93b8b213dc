#include "CountdownOverlay.h"

#include "ui/Theme.h"

#include <QKeyEvent>
#include <QPainter>
#include <QTimer>

namespace orvane {

namespace {
constexpr int kSide = 220; // points
} // namespace

CountdownOverlay::CountdownOverlay(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Orvane — Countdown"));
    setFixedSize(kSide, kSide);
    setFocusPolicy(Qt::StrongFocus);
}

void CountdownOverlay::showOver(const QRect& area, int secondsLeft) {
    seconds_ = secondsLeft;
    move(area.center() - QPoint(kSide / 2, kSide / 2));
    show();
    raise();
    activateWindow(); // for Esc
    setFocus();
    update();
}

void CountdownOverlay::setSecondsLeft(int secondsLeft) {
    seconds_ = secondsLeft;
    update();
    if (secondsLeft <= 1) {
        QTimer::singleShot(1000 - kGoneBeforeEndMs, this, [this] {
            if (seconds_ <= 1) {
                hide();
            }
        });
    }
}

void CountdownOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor disc = Theme::color(Theme::Color::scrim);
    disc.setAlphaF(0.75);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(rect().adjusted(4, 4, -4, -4));
    QFont f = Theme::font(Theme::Font::title);
    f.setPixelSize(120);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter, QString::number(seconds_));
}

void CountdownOverlay::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        emit cancelled();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace orvane
