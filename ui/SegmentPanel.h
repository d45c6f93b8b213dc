#pragma once

#include <QWidget>

namespace orvane {

class Recorder;
class SliderRow;
class ToggleSwitch;

// The inspector's panel for one zoom segment: level, duration, transition and
// the focus lock with its two coordinates. Each slider drag and each flip of the
// switch is one undo step. A stale index (the segment was deleted meanwhile)
// shows the fallbacks and writes nothing. Main thread only.
class SegmentPanel : public QWidget {
    Q_OBJECT

public:
    explicit SegmentPanel(Recorder& recorder, QWidget* parent = nullptr);

    void setIndex(int index);
    int index() const { return index_; }
    // Reads the segment again into the controls.
    void refresh();

    SliderRow* zoomRow() const { return zoom_; }
    SliderRow* durationRow() const { return duration_; }
    SliderRow* transitionRow() const { return transition_; }
    SliderRow* focusXRow() const { return focusX_; }
    SliderRow* focusYRow() const { return focusY_; }
    ToggleSwitch* focusSwitch() const { return lock_; }

private:
    bool valid() const;

    Recorder& rec_;
    int index_ = -1;
    bool refreshing_ = false;
    SliderRow* zoom_;
    SliderRow* duration_;
    SliderRow* transition_;
    ToggleSwitch* lock_;
    SliderRow* focusX_;
    SliderRow* focusY_;
};

} // namespace orvane
