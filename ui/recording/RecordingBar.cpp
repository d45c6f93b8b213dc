#include "RecordingBar.h"

#include "ui/Theme.h"
#include "ui/TransportRules.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace orvane {

RecordingBar::RecordingBar(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QString::fromUtf8(kTitle));
    setAttribute(Qt::WA_TranslucentBackground);
    setObjectName(QStringLiteral("recordingBar"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 8, 8, 8);
    column->setSpacing(4);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    auto* dot = new QLabel(QStringLiteral("●"), this);
    dot->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::danger)));
    time_ = new QLabel(QStringLiteral("0:00"), this);
    time_->setFont(Theme::font(Theme::Font::body));
    time_->setMinimumWidth(48);
    pause_ = new QPushButton(QStringLiteral("Pause"), this);
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    hide_ = new QPushButton(QStringLiteral("×"), this);
    hide_->setToolTip(QStringLiteral("Hide this bar: the status icon keeps the controls"));
    hide_->setFixedWidth(28);
    hide_->hide();
    for (QPushButton* b : {pause_, stop_, hide_}) {
        Theme::setButtonStyle(b, Theme::ButtonStyle::secondary);
        b->setFocusPolicy(Qt::NoFocus); // never takes the keyboard from the app being recorded
    }
    row->addWidget(dot);
    row->addWidget(time_);
    row->addWidget(pause_);
    row->addWidget(stop_);
    row->addWidget(hide_);
    column->addLayout(row);
    disk_ = new QLabel(this);
    disk_->setFont(Theme::font(Theme::Font::caption));
    disk_->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::danger)));
    disk_->hide();
    column->addWidget(disk_);
    connect(pause_, &QPushButton::clicked, this, &RecordingBar::pauseClicked);
    connect(stop_, &QPushButton::clicked, this, &RecordingBar::stopClicked);
    connect(hide_, &QPushButton::clicked, this, &RecordingBar::hideClicked);
}

void RecordingBar::setElapsed(double seconds) {
    // A running clock shows whole seconds gone, not the nearest second.
    time_->setText(TransportRules::mmss(std::floor(seconds)));
}

QString RecordingBar::elapsedText() const {
    return time_->text();
}

void RecordingBar::setPaused(bool paused) {
    pause_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
}

void RecordingBar::setDiskNote(const QString& note) {
    disk_->setText(note);
    disk_->setVisible(!note.isEmpty());
    adjustSize();
}

QString RecordingBar::diskNote() const {
    return disk_->text();
}

void RecordingBar::setCanHide(bool canHide) {
    hide_->setVisible(canHide);
    adjustSize();
}

void RecordingBar::placeAwayFrom(const QRect& recorded) {
    adjustSize();
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* chosen = nullptr;
    for (QScreen* s : screens) {
        if (!s->geometry().intersects(recorded)) {
            chosen = s;
            break;
        }
    }
    QRect room;
    if (chosen != nullptr) {
        room = chosen->availableGeometry();
    } else {
        // One screen, or every screen recorded: the corner of the recorded
        // one, where it covers the least.
        QScreen* s = QGuiApplication::screenAt(recorded.center());
        room = (s != nullptr ? s : QGuiApplication::primaryScreen())->availableGeometry();
    }
    move(room.right() - width() - 24, room.bottom() - height() - 24);
}

void RecordingBar::mousePressEvent(QMouseEvent* event) {
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void RecordingBar::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        move(event->globalPosition().toPoint() - dragOffset_);
    }
}

void RecordingBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Theme::color(Theme::Color::strongStroke));
    p.setBrush(Theme::color(Theme::Color::raisedSurface));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

} // namespace orvane
