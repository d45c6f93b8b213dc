#include "InspectorRail.h"

#include "CompositionPanel.h"
#include "SegmentPanel.h"
#include "ui/Symbols.h"
#include "Theme.h"
#include "SectionPanel.h"

#include "app/Recorder.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace orvane {

using ui::symbol;

InspectorRail::InspectorRail(Recorder& recorder, QWidget* parent)
    : QWidget(parent), rec_(recorder) {
    setFixedWidth(kWidth);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);

    auto* content = new QWidget(scroll);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(14);

    startStop_ = new QPushButton(content);
    Theme::setButtonStyle(startStop_, Theme::ButtonStyle::primary);
    connect(startStop_, &QPushButton::clicked, this, &InspectorRail::startStopClicked);
    column->addWidget(startStop_);

    auto* header = new QWidget(content);
    header->setFixedHeight(kHeaderHeight);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(0, 0, 0, 0);
    title_ = new QLabel(header);
    title_->setFont(Theme::font(Theme::Font::heading));
    deselect_ = new QPushButton(QStringLiteral("Deselect"), header);
    Theme::setButtonStyle(deselect_, Theme::ButtonStyle::secondary);
    deselect_->setToolTip(QStringLiteral("Deselect the zoom"));
    connect(deselect_, &QPushButton::clicked, this, &InspectorRail::deselectClicked);
    headerRow->addWidget(title_);
    headerRow->addStretch(1);
    headerRow->addWidget(deselect_);
    column->addWidget(header);

    panels_ = new QStackedWidget(content);
    segment_ = new SegmentPanel(rec_, panels_);
    composition_ = new CompositionPanel(rec_, panels_);
    video_ = new SectionPanel(rec_, panels_);
    panels_->addWidget(segment_);
    panels_->addWidget(composition_);
    panels_->addWidget(video_);
    column->addWidget(panels_);
    column->addStretch(1);

    shortcuts_ = new QPushButton(content);
    shortcuts_->setIcon(symbol(QStringLiteral("keyboard")));
    shortcuts_->setIconSize(QSize(20, 20));
    shortcuts_->setFlat(true);
    shortcuts_->setToolTip(QStringLiteral("Keyboard shortcuts"));
    shortcuts_->setCursor(Qt::PointingHandCursor);
    shortcuts_->setStyleSheet(QStringLiteral("border: none; background: transparent;"));
    connect(shortcuts_, &QPushButton::clicked, this, &InspectorRail::shortcutsClicked);
    column->addWidget(shortcuts_, 0, Qt::AlignLeft);

    scroll->setWidget(content);

    connect(&rec_, &Recorder::phaseChanged, this, &InspectorRail::refresh);
    connect(&rec_, &EditModel::selectedChanged, this, &InspectorRail::refresh);
    connect(&rec_, &EditModel::videoSelectedChanged, this, &InspectorRail::refresh);
    connect(&rec_, &EditModel::zoomsChanged, this, &InspectorRail::refresh);
    connect(&rec_, &EditModel::sectionsChanged, this, &InspectorRail::refresh);
    refresh();
}

QString InspectorRail::headerTitle() const {
    return title_->text();
}

QWidget* InspectorRail::currentPanel() const {
    return panels_->currentWidget();
}

void InspectorRail::refresh() {
    switch (rec_.phase()) {
    case Phase::idle:
        startStop_->setText(QStringLiteral("Record Screen"));
        startStop_->setIcon(symbol(QStringLiteral("record.circle")));
        break;
    case Phase::recording:
        startStop_->setText(QStringLiteral("Stop"));
        startStop_->setIcon(symbol(QStringLiteral("stop.fill")));
        break;
    case Phase::ready:
        startStop_->setText(QStringLiteral("Record Again"));
        startStop_->setIcon(symbol(QStringLiteral("arrow.clockwise")));
        break;
    }

    const auto sel = rec_.selected();
    const bool validZoom = sel && *sel >= 0 && static_cast<std::size_t>(*sel) < rec_.zooms().size();
    if (validZoom) {
        title_->setText(QStringLiteral("Zoom"));
        segment_->setIndex(*sel);
        panels_->setCurrentWidget(segment_);
    } else if (!rec_.videoSelected()) {
        title_->setText(QStringLiteral("Composition"));
        panels_->setCurrentWidget(composition_);
    } else {
        title_->setText(rec_.sections().empty() ? QStringLiteral("Video") : QStringLiteral("Section"));
        panels_->setCurrentWidget(video_);
    }
    // The deselect button shows while something is selected.
    deselect_->setVisible(validZoom || rec_.videoSelected());
}

} // namespace orvane
