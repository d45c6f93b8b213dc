#include "CompositionPanel.h"

#include "AudioSection.h"
#include "BackgroundSwatch.h"
#include "InspectorTexts.h"
#include "SliderRow.h"
#include "ui/Symbols.h"
#include "Theme.h"

#include "app/Recorder.h"
#include "render/BackgroundPresets.h"
#include "render/OutputGeometry.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace orvane {

using ui::symbol;

namespace {
// Swatch columns in the 340-point rail (its content is 308 points wide).
constexpr int kColumns = 7;

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(Theme::font(Theme::Font::caption));
    label->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::secondaryText)));
    return label;
}
} // namespace

CompositionPanel::CompositionPanel(Recorder& recorder, QWidget* parent)
    : QWidget(parent), rec_(recorder) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);

    padding_ = new SliderRow(QStringLiteral("Padding"), 0, 0.22, this);
    padding_->format = InspectorTexts::roundedPercent;
    padding_->onChange = [this](double v) { rec_.setPadding(v); };
    corners_ = new SliderRow(QStringLiteral("Corners"), 0, 36, this);
    corners_->format = InspectorTexts::corners;
    corners_->onChange = [this](double v) { rec_.setCornerRadius(v); };
    blur_ = new SliderRow(QStringLiteral("Background blur"), 0, 1, this);
    blur_->format = InspectorTexts::roundedPercent;
    blur_->onChange = [this](double v) { rec_.setBgBlur(v); };
    layout->addWidget(padding_);
    layout->addWidget(corners_);
    layout->addWidget(blur_);

    layout->addWidget(caption(QStringLiteral("Background"), this));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(kSwatchGap);
    grid->setVerticalSpacing(kSwatchGap);
    grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const int count = kGradientCount + kBackgroundImageCount;
    for (int i = 0; i < count; ++i) {
        auto* swatch = new BackgroundSwatch(i, kSwatch, this);
        grid->addWidget(swatch, i / kColumns, i % kColumns);
        swatches_.push_back(swatch);
        connect(swatch, &QAbstractButton::clicked, this, [this, i] {
            rec_.setBackground(i);
            refresh(); // a click on the selected swatch keeps it selected
        });
    }
    layout->addLayout(grid);

    layout->addWidget(caption(QStringLiteral("Format"), this));
    format_ = new QComboBox(this);
    for (const FormatPreset& f : formatPresets) {
        format_->addItem(symbol(QString::fromLatin1(f.icon.data(), static_cast<int>(f.icon.size()))),
                         QString::fromLatin1(f.name.data(), static_cast<int>(f.name.size())));
    }
    connect(format_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0) {
            rec_.setFormatIndex(i);
        }
    });
    layout->addWidget(format_);

    audio_ = new AudioSection(rec_, this);
    layout->addWidget(audio_);

    connect(&rec_, &Recorder::paddingChanged, this, &CompositionPanel::refresh);
    connect(&rec_, &Recorder::cornerRadiusChanged, this, &CompositionPanel::refresh);
    connect(&rec_, &Recorder::bgBlurChanged, this, &CompositionPanel::refresh);
    connect(&rec_, &Recorder::backgroundChanged, this, &CompositionPanel::refresh);
    connect(&rec_, &Recorder::formatIndexChanged, this, &CompositionPanel::refresh);
    refresh();
}

void CompositionPanel::setSoundKinds(const std::vector<SoundKind>& kinds) {
    audio_->setSoundKinds(kinds);
}

void CompositionPanel::refresh() {
    padding_->setValue(rec_.padding());
    corners_->setValue(rec_.cornerRadius());
    blur_->setValue(rec_.bgBlur());
    for (QAbstractButton* s : swatches_) {
        s->setChecked(static_cast<BackgroundSwatch*>(s)->index() == rec_.background());
    }
    const int f = std::clamp(rec_.formatIndex(), 0, static_cast<int>(formatPresets.size()) - 1);
    if (format_->currentIndex() != f) {
        const QSignalBlocker block(format_);
        format_->setCurrentIndex(f);
    }
}

} // namespace orvane
