#pragma once

#include <QWidget>

namespace orvane {

// The countdown before a take: a large number in the middle of what is about
// to be recorded. Frameless, on top and see-through around the number; Esc
// cancels. It goes a moment before the countdown ends, so that the screen
// under it is repainted before the first frame is taken. Main thread only.
class CountdownOverlay : public QWidget {
    Q_OBJECT

public:
    // How long before the countdown's end the overlay goes (milliseconds).
    static constexpr int kGoneBeforeEndMs = 250;

    explicit CountdownOverlay(QWidget* parent = nullptr);

    // Shows `secondsLeft` centred on `area` (global coordinates).
    void showOver(const QRect& area, int secondsLeft);
    // The next second; at 1 the overlay hides itself kGoneBeforeEndMs early.
    void setSecondsLeft(int secondsLeft);
    int secondsLeft() const { return seconds_; }

signals:
    void cancelled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int seconds_ = 0;
};

} // namespace orvane
