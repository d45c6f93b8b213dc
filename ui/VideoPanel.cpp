#include "VideoPanel.h"

#include "Theme.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>

namespace orvane {

VideoPanel::VideoPanel(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(QStringLiteral("Speed"), this);
    label->setFont(Theme::font(Theme::Font::label));
    auto* badge = new QLabel(QStringLiteral("Soon"), this);
    badge->setFont(Theme::font(Theme::Font::caption));
    badge->setStyleSheet(QStringLiteral("color: %1; background: %2; border-radius: 8px; "
                                        "padding: 1px 8px;")
                             .arg(Theme::css(Theme::Color::secondaryText),
                                  Theme::css(Theme::Color::raisedSurface)));
    row->addWidget(label);
    row->addWidget(badge);
    row->addStretch(1);
    setEnabled(false);
    auto* dim = new QGraphicsOpacityEffect(this);
    dim->setOpacity(0.55);
    setGraphicsEffect(dim);
}

} // namespace orvane
