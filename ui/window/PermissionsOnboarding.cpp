#include "PermissionsOnboarding.h"

#include "capture/Permissions.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

using ui::symbol;

namespace {
QLabel* text(const QString& s, Theme::Font font, Theme::Color color, QWidget* parent) {
    auto* l = new QLabel(s, parent);
    l->setFont(Theme::font(font));
    l->setWordWrap(true);
    l->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(Theme::css(color)));
    return l;
}
} // namespace

PermissionsOnboarding::PermissionsOnboarding(Permissions& perms, std::function<void()> onDone,
                                             QWidget* parent)
    : QWidget(parent), perms_(perms), onDone_(std::move(onDone)) {
    setAttribute(Qt::WA_StyledBackground, false);
    auto* outer = new QVBoxLayout(this);
    outer->setAlignment(Qt::AlignCenter);

    card_ = new QWidget(this);
    card_->setObjectName(QStringLiteral("onboardingCard"));
    card_->setFixedWidth(440);
    card_->setStyleSheet(QStringLiteral("#onboardingCard { background: %1; border: 1px solid %2; "
                                        "border-radius: 20px; }")
                             .arg(Theme::css(Theme::Color::surface), Theme::css(Theme::Color::stroke)));
    auto* shadow = new QGraphicsDropShadowEffect(card_);
    shadow->setBlurRadius(30);
    shadow->setOffset(0, 12);
    shadow->setColor(QColor(0, 0, 0, 102));
    card_->setGraphicsEffect(shadow);
    outer->addWidget(card_);

    auto* column = new QVBoxLayout(card_);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(20);

    auto* head = new QVBoxLayout;
    head->setSpacing(6);
    auto* title = text(QStringLiteral("Two permissions to record"), Theme::Font::title,
                       Theme::Color::primaryText, card_);
    title->setAlignment(Qt::AlignCenter);
    auto* intro = text(QStringLiteral("Orvane needs these to capture your screen and follow your "
                                      "clicks. Everything stays on your computer."),
                       Theme::Font::callout, Theme::Color::secondaryText, card_);
    intro->setAlignment(Qt::AlignCenter);
    head->addWidget(title);
    head->addWidget(intro);
    column->addLayout(head);

    const QString titles[2] = {QStringLiteral("Screen Recording"), perms_.inputTitle()};
    const QString subtitles[2] = {QStringLiteral("Capture what's on screen"), perms_.inputSubtitle()};
    const char* anchors[2] = {Permissions::kScreenAnchor, Permissions::kAccessibilityAnchor};
    auto* rows = new QVBoxLayout;
    rows->setSpacing(10);
    for (int i = 0; i < 2; ++i) {
        auto* row = new QWidget(card_);
        row->setObjectName(QStringLiteral("permissionRow"));
        row->setStyleSheet(QStringLiteral("#permissionRow { background: %1; border-radius: 12px; }")
                               .arg(Theme::css(Theme::Color::raisedSurface)));
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(14, 14, 14, 14);
        h->setSpacing(10);
        rowIcon_[i] = new QLabel(row);
        auto* labels = new QVBoxLayout;
        labels->addWidget(text(titles[i], Theme::Font::label, Theme::Color::primaryText, row));
        labels->addWidget(text(subtitles[i], Theme::Font::caption, Theme::Color::secondaryText, row));
        rowEnabled_[i] = text(QStringLiteral("Enabled"), Theme::Font::caption, Theme::Color::success, row);
        rowEnable_[i] = new QPushButton(QStringLiteral("Enable"), row);
        Theme::setButtonStyle(rowEnable_[i], Theme::ButtonStyle::secondary);
        const QString anchor = QString::fromLatin1(anchors[i]);
        connect(rowEnable_[i], &QPushButton::clicked, this, [this, i, anchor] {
            if (i == 1) {
                perms_.requestAccessibility();
            } else {
                perms_.refresh();
            }
            // The platform may have no settings pane for these: the backend says
            // what is missing instead.
            const QString why = perms_.open(anchor);
            explanation_->setText(why);
            explanation_->setVisible(!why.isEmpty());
            refresh();
        });
        h->addWidget(rowIcon_[i]);
        h->addLayout(labels, 1);
        h->addWidget(rowEnabled_[i]);
        h->addWidget(rowEnable_[i]);
        rows->addWidget(row);
    }
    column->addLayout(rows);

    explanation_ = text(QString(), Theme::Font::caption, Theme::Color::danger, card_);
    explanation_->hide();
    column->addWidget(explanation_);
    auto* foot = text(QStringLiteral("After enabling in Settings, you may need to reopen Orvane."),
                      Theme::Font::footnote, Theme::Color::secondaryText, card_);
    foot->setAlignment(Qt::AlignCenter);
    column->addWidget(foot);
    done_ = new QPushButton(card_);
    Theme::setButtonStyle(done_, Theme::ButtonStyle::primary);
    connect(done_, &QPushButton::clicked, this, [this] {
        if (onDone_) {
            onDone_();
        }
    });
    column->addWidget(done_);

    tick_.setInterval(kRefreshMs);
    connect(&tick_, &QTimer::timeout, this, [this] {
        perms_.refresh();
        refresh();
    });
    refresh();
}

QString PermissionsOnboarding::rowState(int row) const {
    const int i = row == 0 ? 0 : 1;
    return rowEnabled_[i]->isVisibleTo(this) ? rowEnabled_[i]->text() : rowEnable_[i]->text();
}

QString PermissionsOnboarding::explanation() const {
    return explanation_->isVisibleTo(this) ? explanation_->text() : QString();
}

void PermissionsOnboarding::refresh() {
    const bool granted[2] = {perms_.screen(), perms_.accessibility()};
    for (int i = 0; i < 2; ++i) {
        rowIcon_[i]->setPixmap(granted[i]
                                   ? Theme::tinted(symbol(QStringLiteral("checkmark.circle.fill")).pixmap(20, 20),
                                                   Theme::color(Theme::Color::success))
                                   : Theme::tinted(symbol(QStringLiteral("circle")).pixmap(20, 20),
                                                   Theme::color(Theme::Color::secondaryText)));
        rowEnabled_[i]->setVisible(granted[i]);
        rowEnable_[i]->setVisible(!granted[i]);
    }
    done_->setText(granted[0] && granted[1] ? QStringLiteral("Start Recording")
                                            : QStringLiteral("Continue Anyway"));
}

void PermissionsOnboarding::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::color(Theme::Color::scrim));
}

void PermissionsOnboarding::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    tick_.start();
}

void PermissionsOnboarding::hideEvent(QHideEvent* event) {
    tick_.stop();
    QWidget::hideEvent(event);
}

} // namespace orvane
