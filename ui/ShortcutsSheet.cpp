#include "ShortcutsSheet.h"

#include "ui/Symbols.h"
#include "Theme.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

using ui::symbol;

std::vector<ShortcutsSheet::Item> ShortcutsSheet::windowItems() {
    return {
        {QStringLiteral("Space"), QStringLiteral("Play / pause")},
        {QStringLiteral("Z"), QStringLiteral("Add zoom at the playhead")},
        {QStringLiteral("Delete"), QStringLiteral("Delete the selected zoom")},
        {QStringLiteral("← / →"), QStringLiteral("Skip 5 seconds back / forward")},
        {QStringLiteral("Esc"), QStringLiteral("Deselect the zoom")},
        {QStringLiteral("Ctrl Z"), QStringLiteral("Undo the last edit")},
        {QStringLiteral("Ctrl E"), QStringLiteral("Export the video")},
        // Editing sections, after the first seven.
        {QStringLiteral("S"), QStringLiteral("Split the video at the playhead")},
        {QStringLiteral("Delete"), QStringLiteral("Cut the selected section")},
        {QStringLiteral("Ctrl Shift Z"), QStringLiteral("Redo (also Ctrl Y)")},
    };
}

ShortcutsSheet::ShortcutsSheet(std::vector<Item> items, QWidget* parent)
    : QDialog(parent), items_(std::move(items)) {
    setWindowTitle(QStringLiteral("Keyboard shortcuts"));
    setModal(true);
    setFixedWidth(420);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(10);

    auto* header = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(symbol(QStringLiteral("keyboard")).pixmap(18, 18));
    auto* title = new QLabel(QStringLiteral("Keyboard shortcuts"), this);
    title->setFont(Theme::font(Theme::Font::heading));
    auto* done = new QPushButton(QStringLiteral("Done"), this);
    Theme::setButtonStyle(done, Theme::ButtonStyle::secondary);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    header->addWidget(icon);
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(done);
    column->addLayout(header);

    for (std::size_t i = 0; i < items_.size(); ++i) {
        auto* row = new QHBoxLayout;
        auto* cap = new QLabel(items_[i].first, this);
        cap->setFont(Theme::font(Theme::Font::caption));
        cap->setMinimumWidth(64);
        cap->setAlignment(Qt::AlignCenter);
        cap->setStyleSheet(QStringLiteral("border: 1px solid %1; border-radius: 5px; "
                                          "padding: 2px 6px; background: %2;")
                               .arg(Theme::css(Theme::Color::strongStroke),
                                    Theme::css(Theme::Color::raisedSurface)));
        auto* label = new QLabel(items_[i].second, this);
        label->setFont(Theme::font(Theme::Font::body));
        row->addWidget(cap);
        row->addWidget(label, 1);
        column->addLayout(row);
        if (i + 1 < items_.size()) {
            auto* line = new QFrame(this);
            line->setFrameShape(QFrame::HLine);
            line->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::stroke)));
            column->addWidget(line);
        }
    }
}

} // namespace orvane
