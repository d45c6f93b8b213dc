#pragma once

#include <QWidget>

#include <vector>

class QLabel;
class QPushButton;

namespace orvane {

class EditModel;
class SliderRow;
class ToggleSwitch;

// The inspector's panel for the selected section of the video (the whole take
// while it is undivided): its speed, from the preset buttons or the slider
// (0.25x to 16x), whether its sound is heard, and cutting it out or restoring
// it. Each change is one undo step; a slider drag is one in all. Main thread.
class SectionPanel : public QWidget {
    Q_OBJECT

public:
    // The preset speeds, in the order of their buttons.
    static constexpr double kPresets[] = {0.5, 1, 1.5, 2, 4, 8};

    SectionPanel(EditModel& model, QWidget* parent = nullptr);

    // Shows the model's selected section's values (section 0 when none).
    void refresh();

    // For tests.
    const std::vector<QPushButton*>& presetButtons() const { return presets_; }
    SliderRow* speedRow() const { return speed_; }
    ToggleSwitch* muteSwitch() const { return mute_; }
    QPushButton* cutButton() const { return cut_; }
    QString note() const;

private:
    int index() const;

    EditModel& model_;
    std::vector<QPushButton*> presets_;
    SliderRow* speed_ = nullptr;
    ToggleSwitch* mute_ = nullptr;
    QPushButton* cut_ = nullptr;
    QLabel* note_ = nullptr;
    bool refreshing_ = false;
};

} // namespace orvane
