#include "EmptyState.h"

#include "SoundControls.h"

#include "app/Recorder.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace orvane {

using ui::symbol;

EmptyState::EmptyState(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(20);
    column->addStretch(1);
    symbol_ = new QLabel(this);
    symbol_->setAlignment(Qt::AlignCenter);
    title_ = new QLabel(this);
    title_->setFont(Theme::font(Theme::Font::title));
    title_->setAlignment(Qt::AlignCenter);
    subtitle_ = new QLabel(this);
    subtitle_->setFont(Theme::font(Theme::Font::body));
    subtitle_->setAlignment(Qt::AlignCenter);
    subtitle_->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::secondaryText)));
    note_ = new QLabel(this);
    note_->setFont(Theme::font(Theme::Font::caption));
    note_->setAlignment(Qt::AlignCenter);
    note_->setWordWrap(true);
    note_->setMaximumWidth(420);
    note_->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::secondaryText)));
    note_->hide();
    button_ = new QPushButton(this);
    Theme::setButtonStyle(button_, Theme::ButtonStyle::primary);
    button_->setFixedWidth(240);
    connect(button_, &QPushButton::clicked, this, &EmptyState::startStopClicked);
    sound_ = new SoundControls(this);
    column->addWidget(symbol_);
    column->addWidget(title_);
    column->addWidget(subtitle_);
    column->addWidget(button_, 0, Qt::AlignHCenter);
    column->addWidget(sound_, 0, Qt::AlignHCenter);
    column->addWidget(note_, 0, Qt::AlignHCenter);
    column->addStretch(1);

    auto* opacity = new QGraphicsOpacityEffect(symbol_);
    opacity->setOpacity(1);
    symbol_->setGraphicsEffect(opacity);
    pulse_.setInterval(50);
    connect(&pulse_, &QTimer::timeout, this, [this, opacity] {
        ++pulseStep_;
        opacity->setOpacity(0.55 + 0.45 * (0.5 + 0.5 * std::cos(pulseStep_ * 0.16)));
    });
    setPhase(Phase::idle);
}

void EmptyState::setOptions(QWidget* options) {
    options_ = options;
    options_->setParent(this);
    options_->setVisible(!recording_);
    resizeEvent(nullptr);
}

void EmptyState::setSidePanel(QWidget* panel) {
    side_ = panel;
    side_->setParent(this);
    side_->setVisible(!recording_);
    resizeEvent(nullptr);
}

void EmptyState::resizeEvent(QResizeEvent* event) {
    if (event != nullptr) {
        QWidget::resizeEvent(event);
    }
    if (side_ != nullptr) {
        // Beside the centred column (240 points wide), never over it.
        const int width = std::clamp((this->width() - 240) / 2 - 48, 0, 360);
        side_->setGeometry(this->width() - width - 24, 24, width, std::max(height() - 48, 0));
    }
    if (options_ != nullptr) {
        // Along the bottom, under the centred column, which stays where it is.
        const QSize hint = options_->sizeHint();
        options_->setGeometry((this->width() - hint.width()) / 2, height() - hint.height() - 28,
                              hint.width(), hint.height());
    }
}

QString EmptyState::title() const {
    return title_->text();
}

void EmptyState::setNote(const QString& note) {
    note_->setText(note);
    note_->setVisible(!note.isEmpty() && !recording_);
}

QString EmptyState::note() const {
    return note_->text();
}

void EmptyState::setPhase(Phase phase) {
    recording_ = phase == Phase::recording;
    if (side_ != nullptr) {
        side_->setVisible(!recording_);
    }
    if (options_ != nullptr) {
        options_->setVisible(!recording_);
    }
    if (recording_) {
        symbol_->setPixmap(Theme::tinted(symbol(QStringLiteral("record.circle")).pixmap(56, 56),
                                         Theme::color(Theme::Color::danger)));
        title_->setText(QStringLiteral("Recording your screen…"));
        subtitle_->setText(QStringLiteral("Click around your app, then stop to edit."));
        button_->setText(QStringLiteral("Stop"));
        button_->setIcon(symbol(QStringLiteral("stop.fill")));
        note_->hide();
        pulse_.start();
    } else {
        symbol_->setPixmap(symbol(QStringLiteral("rectangle.dashed.badge.record")).pixmap(56, 56));
        title_->setText(QStringLiteral("Record your screen"));
        subtitle_->setText(QStringLiteral("Orvane zooms to every click on a smooth camera path."));
        button_->setText(phase == Phase::ready ? QStringLiteral("Record Again")
                                               : QStringLiteral("Record Screen"));
        note_->setVisible(!note_->text().isEmpty());
        button_->setIcon(symbol(phase == Phase::ready ? QStringLiteral("arrow.clockwise")
                                                      : QStringLiteral("record.circle")));
        pulse_.stop();
        if (auto* e = qobject_cast<QGraphicsOpacityEffect*>(symbol_->graphicsEffect())) {
            e->setOpacity(1);
        }
    }
}

} // namespace orvane
