#include "SliderRow.h"

#include "Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {
constexpr int kSteps = 1000;
} // namespace

SliderRow::SliderRow(const QString& label, double min, double max, QWidget* parent)
    : QWidget(parent), min_(min), max_(max), value_(min) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* row = new QHBoxLayout;
    auto* title = new QLabel(label, this);
    title->setFont(Theme::font(Theme::Font::label));
    valueLabel_ = new QLabel(this);
    valueLabel_->setFont(Theme::font(Theme::Font::caption));
    valueLabel_->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::secondaryText)));
    row->addWidget(title);
    row->addStretch(1);
    row->addWidget(valueLabel_);
    column->addLayout(row);

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setRange(0, kSteps);
    slider_->setAccessibleName(label);
    column->addWidget(slider_);

    connect(slider_, &QSlider::sliderPressed, this, [this] {
        if (onEditBegin) {
            onEditBegin();
        }
    });
    // A click on the groove or a key press moves the slider without a drag:
    // each such step is an edit of its own.
    connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction &&
            !slider_->isSliderDown() && onEditBegin) {
            onEditBegin();
        }
    });
    connect(slider_, &QSlider::valueChanged, this, [this](int steps) {
        if (updating_) {
            return;
        }
        value_ = fromSteps(steps);
        valueLabel_->setText(valueText());
        if (onChange) {
            onChange(value_);
        }
    });
}

void SliderRow::setValue(double value) {
    value_ = value;
    if (slider_->isSliderDown()) {
        // The user's hand owns the knob; the text still shows the applied value.
        valueLabel_->setText(valueText());
        return;
    }
    updating_ = true;
    slider_->setValue(toSteps(value));
    updating_ = false;
    valueLabel_->setText(valueText());
}

QString SliderRow::valueText() const {
    return format ? format(value_) : QString::number(value_);
}

double SliderRow::fromSteps(int steps) const {
    return min_ + (max_ - min_) * static_cast<double>(steps) / kSteps;
}

int SliderRow::toSteps(double value) const {
    if (!(max_ > min_) || !std::isfinite(value)) {
        return 0;
    }
    const double f = std::clamp((value - min_) / (max_ - min_), 0.0, 1.0);
    return static_cast<int>(std::lround(f * kSteps));
}

} // namespace orvane
