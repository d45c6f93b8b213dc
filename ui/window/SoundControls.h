#pragma once

#include "capture/SoundChoice.h"
#include "capture/SoundSource.h"

#include <QWidget>

#include <vector>

class QComboBox;

namespace orvane {

class LevelMeter;
class ToggleSwitch;

// The sound part of the empty state: before a take, a "Microphone" and a
// "Desktop sound" switch and the microphone's device menu ("Default input"
// first, then the server's inputs); while recording, a level meter beside
// each source that records. Main thread only.
class SoundControls final : public QWidget {
    Q_OBJECT
public:
    explicit SoundControls(QWidget* parent = nullptr);

    // The server's inputs for the device menu (empty: only "Default input").
    // A chosen device that is not among them stays in the menu, marked
    // unavailable, so a choice is never changed behind the user's back.
    void setDevices(const std::vector<SoundDevice>& devices);
    void setChoice(const SoundChoice& choice);
    SoundChoice choice() const { return choice_; }
    // Recording: the switches and the menu are locked, and a meter shows for
    // each source in `recorded`; otherwise the meters hide.
    void setRecording(bool recording, bool microphoneRecorded, bool desktopRecorded);
    void setLevels(double microphone, double desktop);

    ToggleSwitch* microphoneSwitch() const { return micSwitch_; }
    ToggleSwitch* desktopSwitch() const { return desktopSwitch_; }
    QComboBox* deviceMenu() const { return deviceMenu_; }
    LevelMeter* microphoneMeter() const { return micMeter_; }
    LevelMeter* desktopMeter() const { return desktopMeter_; }

signals:
    // The user changed the choice (not emitted by setChoice()).
    void choiceChanged(const orvane::SoundChoice& choice);

private:
    void fillDeviceMenu();
    void userChanged();

    ToggleSwitch* micSwitch_;
    ToggleSwitch* desktopSwitch_;
    QComboBox* deviceMenu_;
    LevelMeter* micMeter_;
    LevelMeter* desktopMeter_;
    std::vector<SoundDevice> devices_;
    SoundChoice choice_;
    bool updating_ = false; // filling the widgets from code, not the user
};

} // namespace orvane
