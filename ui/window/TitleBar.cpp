#include "TitleBar.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace orvane {

using ui::symbol;

namespace {

// One of the three round window controls.
QPushButton* windowControl(const QColor& color, const QString& tip, QWidget* parent) {
    auto* b = new QPushButton(parent);
    b->setFixedSize(12, 12);
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    b->setCursor(Qt::ArrowCursor);
    b->setStyleSheet(QStringLiteral("QPushButton { background: %1; border: none; border-radius: 6px; }"
                                    "QPushButton:hover { background: %2; }")
                         .arg(color.name(), color.lighter(125).name()));
    return b;
}

} // namespace

TitleBar::TitleBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(kHeight);
    setAutoFillBackground(false);

    // The controls sit at a fixed inset from the top-left corner, outside any
    // layout, so resizes and focus changes never move them.
    close_ = windowControl(QColor(0xFF, 0x5F, 0x57), QStringLiteral("Close"), this);
    minimise_ = windowControl(QColor(0xFE, 0xBC, 0x2E), QStringLiteral("Minimise"), this);
    maximise_ = windowControl(QColor(0x28, 0xC8, 0x40), QStringLiteral("Maximise"), this);
    const int y = kControlsInset.y() + (kHeight - 2 * kControlsInset.y() - 12) / 2;
    close_->move(kControlsInset.x(), y);
    minimise_->move(kControlsInset.x() + 20, y);
    maximise_->move(kControlsInset.x() + 40, y);
    connect(close_, &QPushButton::clicked, this, &TitleBar::closeClicked);
    connect(minimise_, &QPushButton::clicked, this, &TitleBar::minimiseClicked);
    connect(maximise_, &QPushButton::clicked, this, &TitleBar::maximiseClicked);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(kControlsInset.x() + 66, 0, 10, 0);
    row->setSpacing(6);
    name_ = new QLabel(this);
    name_->setFont(Theme::font(Theme::Font::heading));
    size_ = new QLabel(this);
    size_->setFont(Theme::font(Theme::Font::caption));
    size_->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::secondaryText)));
    status_ = new QLabel(this);
    status_->setFont(Theme::font(Theme::Font::caption));
    status_->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::danger)));
    status_->hide();
    row->addWidget(name_, 0, Qt::AlignVCenter);
    row->addWidget(size_, 0, Qt::AlignVCenter);
    row->addSpacing(12);
    row->addWidget(status_, 0, Qt::AlignVCenter);
    row->addStretch(1);

    trash_ = new QPushButton(this);
    trash_->setIcon(symbol(QStringLiteral("trash")));
    trash_->setToolTip(QStringLiteral("Delete recording and start over"));
    trash_->setAccessibleName(QStringLiteral("Delete recording"));
    trash_->setFlat(true);
    trash_->setFixedSize(30, 26);
    export_ = new QPushButton(QStringLiteral("Export"), this);
    Theme::setButtonStyle(export_, Theme::ButtonStyle::primary);
    export_->setToolTip(QStringLiteral("Export the video"));
    export_->setMinimumWidth(86);
    connect(trash_, &QPushButton::clicked, this, &TitleBar::trashClicked);
    connect(export_, &QPushButton::clicked, this, &TitleBar::exportClicked);

    menu_ = new QToolButton(this);
    menu_->setIcon(symbol(QStringLiteral("ellipsis.circle")));
    menu_->setPopupMode(QToolButton::InstantPopup);
    menu_->setAutoRaise(true);
    menu_->setToolTip(QStringLiteral("Orvane"));
    auto* menu = new QMenu(menu_);
    connect(menu->addAction(QStringLiteral("About Orvane")), &QAction::triggered, this,
            &TitleBar::aboutRequested);
    updates_ = menu->addAction(QStringLiteral("Check for Updates…"));
    connect(updates_, &QAction::triggered, this, &TitleBar::checkForUpdatesRequested);
    menu_->setMenu(menu);

    row->addWidget(trash_, 0, Qt::AlignVCenter);
    row->addWidget(export_, 0, Qt::AlignVCenter);
    row->addWidget(menu_, 0, Qt::AlignVCenter);
    setTakeControlsVisible(false);
}

void TitleBar::setTakeControlsVisible(bool visible) {
    name_->setVisible(visible);
    size_->setVisible(visible);
    trash_->setVisible(visible);
    export_->setVisible(visible);
}

void TitleBar::setTakeName(const QString& name, const QString& size) {
    name_->setText(name);
    size_->setText(size);
}

void TitleBar::setExportLabel(const QString& label) {
    export_->setText(label);
}

void TitleBar::flashStatus(const QString& text, Tone tone) {
    tone_ = tone;
    status_->setStyleSheet(QStringLiteral("color: %1")
                               .arg(Theme::css(tone == Tone::Success ? Theme::Color::success
                                                                     : Theme::Color::danger)));
    status_->setText(text);
    status_->show();
    QTimer::singleShot(6000, status_, [this, text] {
        if (status_->text() == text) {
            status_->hide();
        }
    });
}

void TitleBar::setCanCheckForUpdates(bool can) {
    updates_->setEnabled(can);
}

void TitleBar::mousePressEvent(QMouseEvent* event) {
    // Only the bar's own empty parts get here; its buttons take their clicks.
    if (event->button() == Qt::LeftButton && window()->windowHandle() != nullptr) {
        window()->windowHandle()->startSystemMove();
    }
}

void TitleBar::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit maximiseClicked();
    }
}

void TitleBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::color(Theme::Color::windowBackground));
    p.setPen(Theme::color(Theme::Color::stroke));
    p.drawLine(0, height() - 1, width(), height() - 1);
}

} // namespace orvane
