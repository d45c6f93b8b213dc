#pragma once

#include <QPoint>
#include <QWidget>

class QLabel;
class QPushButton;

namespace orvane {

// The small floating bar titled "Orvane — Recording" that holds a take's
// controls while the main window is out of the way: a red dot, the take's
// time, Pause/Resume and Stop, and a note about the disk when it runs low.
// Frameless and on top; dragged anywhere by its body. Main thread only.
class RecordingBar : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Orvane — Recording";

    explicit RecordingBar(QWidget* parent = nullptr);

    // Take seconds shown ("0:12").
    void setElapsed(double seconds);
    void setPaused(bool paused);
    // A line about the disk ("About 4 min left on the disk"); empty hides it.
    void setDiskNote(const QString& note);
    QString diskNote() const;
    QString elapsedText() const;
    // Whether the bar offers to hide itself (only where a status icon holds
    // the controls too).
    void setCanHide(bool canHide);

    // Moves the bar onto a screen that does not show `recorded` (global
    // coordinates) when there is one, else into the lower right corner of
    // the screen that does.
    void placeAwayFrom(const QRect& recorded);

    QPushButton* pauseButton() const { return pause_; }
    QPushButton* stopButton() const { return stop_; }

signals:
    void pauseClicked();
    void stopClicked();
    void hideClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* time_;
    QLabel* disk_;
    QPushButton* pause_;
    QPushButton* stop_;
    QPushButton* hide_;
    QPoint dragOffset_;
};

} // namespace orvane
