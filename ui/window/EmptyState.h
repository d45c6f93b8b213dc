#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace orvane {

enum class Phase;
class SoundControls;

// What the window shows before and during a recording: a symbol (pulsing red
// while recording), a title, a subtitle, the 240-point start/stop button and
// the sound controls under it (sources before a take, meters during one).
class EmptyState : public QWidget {
    Q_OBJECT

public:
    explicit EmptyState(QWidget* parent = nullptr);

    void setPhase(Phase phase);
    // A note on what recording on this desktop cannot do, shown under the
    // button before a take; empty hides it.
    void setNote(const QString& note);
    QString note() const;
    QPushButton* startStopButton() const { return button_; }
    SoundControls* sound() const { return sound_; }
    QString title() const;
    // A panel along the right edge before a take (the library's takes); the
    // centre column stays where it is. The panel becomes a child of this.
    void setSidePanel(QWidget* panel);
    // Recording options along the bottom, before a take (the widget becomes
    // a child of this; the centre column does not move for it).
    void setOptions(QWidget* options);

protected:
    void resizeEvent(QResizeEvent* event) override;

signals:
    void startStopClicked();

private:
    QLabel* symbol_;
    QLabel* title_;
    QLabel* subtitle_;
    QLabel* note_;
    QPushButton* button_;
    SoundControls* sound_;
    QWidget* side_ = nullptr;
    QWidget* options_ = nullptr;
    QTimer pulse_;
    int pulseStep_ = 0;
    bool recording_ = false;
};

} // namespace orvane
