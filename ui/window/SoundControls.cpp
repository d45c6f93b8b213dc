#include "SoundControls.h"

#include "LevelMeter.h"
#include "ui/Theme.h"
#include "ui/ToggleSwitch.h"

#include <QComboBox>
#include <QGridLayout>

namespace orvane {

SoundControls::SoundControls(QWidget* parent) : QWidget(parent) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    micSwitch_ = new ToggleSwitch(QStringLiteral("Microphone"), this);
    desktopSwitch_ = new ToggleSwitch(QStringLiteral("Desktop sound"), this);
    deviceMenu_ = new QComboBox(this);
    deviceMenu_->setFont(Theme::font(Theme::Font::caption));
    deviceMenu_->setToolTip(QStringLiteral("The input the microphone is recorded from"));
    micMeter_ = new LevelMeter(this);
    desktopMeter_ = new LevelMeter(this);
    micMeter_->setFixedWidth(120);
    desktopMeter_->setFixedWidth(120);
    micMeter_->setAccessibleName(QStringLiteral("Microphone level"));
    desktopMeter_->setAccessibleName(QStringLiteral("Desktop sound level"));
    micMeter_->hide();
    desktopMeter_->hide();
    grid->addWidget(micSwitch_, 0, 0);
    grid->addWidget(deviceMenu_, 0, 1);
    grid->addWidget(micMeter_, 0, 2, Qt::AlignVCenter);
    grid->addWidget(desktopSwitch_, 1, 0);
    grid->addWidget(desktopMeter_, 1, 2, Qt::AlignVCenter);
    fillDeviceMenu();

    connect(micSwitch_, &ToggleSwitch::toggled, this, &SoundControls::userChanged);
    connect(desktopSwitch_, &ToggleSwitch::toggled, this, &SoundControls::userChanged);
    connect(deviceMenu_, &QComboBox::currentIndexChanged, this, &SoundControls::userChanged);
}

void SoundControls::setDevices(const std::vector<SoundDevice>& devices) {
    devices_ = devices;
    fillDeviceMenu();
}

void SoundControls::setChoice(const SoundChoice& choice) {
    choice_ = choice;
    fillDeviceMenu();
}

void SoundControls::fillDeviceMenu() {
    updating_ = true;
    micSwitch_->setChecked(choice_.microphone);
    desktopSwitch_->setChecked(choice_.desktop);
    deviceMenu_->clear();
    deviceMenu_->addItem(QStringLiteral("Default input"), QString());
    bool chosenListed = choice_.microphoneDevice.isEmpty();
    for (const SoundDevice& d : devices_) {
        if (d.id.isEmpty()) {
            continue;
        }
        deviceMenu_->addItem(d.description.isEmpty() ? d.id : d.description, d.id);
        chosenListed = chosenListed || d.id == choice_.microphoneDevice;
    }
    if (!chosenListed) {
        deviceMenu_->addItem(QStringLiteral("%1 (not connected)").arg(choice_.microphoneDevice),
                             choice_.microphoneDevice);
    }
    deviceMenu_->setCurrentIndex(std::max(0, deviceMenu_->findData(choice_.microphoneDevice)));
    deviceMenu_->setEnabled(choice_.microphone);
    updating_ = false;
}

void SoundControls::userChanged() {
    if (updating_) {
        return;
    }
    SoundChoice c;
    c.microphone = micSwitch_->isChecked();
    c.desktop = desktopSwitch_->isChecked();
    c.microphoneDevice = deviceMenu_->currentData().toString();
    deviceMenu_->setEnabled(c.microphone);
    if (c == choice_) {
        return;
    }
    choice_ = c;
    emit choiceChanged(choice_);
}

void SoundControls::setRecording(bool recording, bool microphoneRecorded, bool desktopRecorded) {
    micSwitch_->setEnabled(!recording);
    desktopSwitch_->setEnabled(!recording);
    deviceMenu_->setEnabled(!recording && choice_.microphone);
    micMeter_->setVisible(recording && microphoneRecorded);
    desktopMeter_->setVisible(recording && desktopRecorded);
    if (!recording) {
        setLevels(0, 0);
    }
}

void SoundControls::setLevels(double microphone, double desktop) {
    micMeter_->setLevel(microphone);
    desktopMeter_->setLevel(desktop);
}

} // namespace orvane
