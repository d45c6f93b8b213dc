#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QSlider;

namespace orvane {

// A labelled slider over a real range: the label and the value text on one
// row, the slider below. The slider works in 1000 steps across the range.
// Main thread only.
class SliderRow : public QWidget {
    Q_OBJECT

public:
    SliderRow(const QString& label, double min, double max, QWidget* parent = nullptr);

    // Called with every new value while the user drags or clicks.
    std::function<void(double)> onChange;
    // Called once when the user starts dragging (not when the drag ends).
    std::function<void()> onEditBegin;
    // Formats the value text.
    std::function<QString(double)> format;

    // Shows a value without calling onChange.
    void setValue(double value);
    double value() const { return value_; }
    QString valueText() const;
    QSlider* slider() const { return slider_; }

private:
    double fromSteps(int steps) const;
    int toSteps(double value) const;

    double min_;
    double max_;
    double value_;
    bool updating_ = false;
    QLabel* valueLabel_;
    QSlider* slider_;
};

} // namespace orvane
