#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace orvane {

class CompositionPanel;
class Recorder;
class SegmentPanel;
class SectionPanel;

// The inspector rail beside the stage, 340 points wide and scrolling: the
// start/stop button, a header naming the panel ("Zoom", "Composition" or
// "Video") with a deselect button, the panel that the selection calls for and,
// at the foot, the keyboard-shortcuts button. It follows the Recorder's
// selection and writes through its operations. Main thread only.
class InspectorRail : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 340;
    static constexpr int kHeaderHeight = 30;

    explicit InspectorRail(Recorder& recorder, QWidget* parent = nullptr);

    QString headerTitle() const;
    QPushButton* startStopButton() const { return startStop_; }
    QPushButton* deselectButton() const { return deselect_; }
    QPushButton* shortcutsButton() const { return shortcuts_; }
    SegmentPanel* segmentPanel() const { return segment_; }
    CompositionPanel* compositionPanel() const { return composition_; }
    SectionPanel* sectionPanel() const { return video_; }
    QWidget* currentPanel() const;

signals:
    void startStopClicked();
    void deselectClicked();
    void shortcutsClicked();

private:
    void refresh();

    Recorder& rec_;
    QPushButton* startStop_;
    QLabel* title_;
    QPushButton* deselect_;
    QStackedWidget* panels_;
    SegmentPanel* segment_;
    CompositionPanel* composition_;
    SectionPanel* video_;
    QPushButton* shortcuts_;
};

} // namespace orvane
