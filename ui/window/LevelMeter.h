#pragma once

#include <QWidget>

namespace orvane {

// A small painted bar showing a sound level: a rounded track with a fill from
// the left, green, then amber above kWarm and red above kHot. The level is the
// loudest sample of the last moment (0...1, linear); the bar shows it on a
// decibel scale from kFloorDb to 0 dB, so speech fills about half of it.
// Main thread only.
class LevelMeter final : public QWidget {
    Q_OBJECT
public:
    static constexpr double kFloorDb = -60.0;
    static constexpr double kWarm = 0.5; // fraction of the bar
    static constexpr double kHot = 0.9;

    explicit LevelMeter(QWidget* parent = nullptr);

    // Clamped to 0...1; non-finite values read as 0.
    void setLevel(double level);
    double level() const { return level_; }
    // The filled fraction of the bar (0...1) for the current level.
    double fill() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double level_ = 0;
};

} // namespace orvane
