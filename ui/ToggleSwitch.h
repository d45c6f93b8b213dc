#pragma once

#include <QAbstractButton>

namespace orvane {

// An on/off switch: the label on the left, a rounded track with a sliding knob
// on the right, the accent colour when on. Checkable; a click anywhere on it,
// or Space while it has focus, flips it and emits toggled() like any button.
// Main thread only.
class ToggleSwitch final : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kTrackWidth = 34;  // points
    static constexpr int kTrackHeight = 20; // points

    explicit ToggleSwitch(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The track's rectangle inside the widget (its right end).
    QRect trackRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

} // namespace orvane
