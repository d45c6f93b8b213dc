// The empty state's sound controls: the switches and the device menu make the
// choice, the window remembers it between runs and hands it to the Recorder,
// and the meters show the levels of the sources a take records.
#include "FakeBackend.h"

#include "capture/SoundChoice.h"
#include "ui/ToggleSwitch.h"
#include "ui/window/EmptyState.h"
#include "ui/window/LevelMeter.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SoundControls.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace orvane;
using namespace orvane::test;

namespace {

const std::vector<SoundDevice> kInputs = {
    {QStringLiteral("builtin"), QStringLiteral("Built-in Audio"), true},
    {QStringLiteral("usb-mic"), QStringLiteral("USB Microphone"), false}};

QStringList menuItems(const QComboBox* menu) {
    QStringList items;
    for (int i = 0; i < menu->count(); ++i) {
        items << menu->itemText(i);
    }
    return items;
}

// Settings of a test run, never the user's; both sources off when done.
class SoundSettings : public ::testing::Test {
protected:
    SoundSettings() {
        QStandardPaths::setTestModeEnabled(true);
        saveSoundChoice(SoundChoice{});
    }
    ~SoundSettings() override { saveSoundChoice(SoundChoice{}); }
};

using SoundControlsTest = SoundSettings;

} // namespace

TEST_F(SoundControlsTest, SwitchesAndTheDeviceMenuMakeTheChoice) {
    SoundControls controls;
    controls.setDevices(kInputs);
    EXPECT_FALSE(controls.microphoneSwitch()->isChecked());
    EXPECT_FALSE(controls.desktopSwitch()->isChecked());
    EXPECT_EQ(controls.microphoneSwitch()->text(), QStringLiteral("Microphone"));
    EXPECT_EQ(controls.desktopSwitch()->text(), QStringLiteral("Desktop sound"));
    EXPECT_EQ(menuItems(controls.deviceMenu()),
              (QStringList{"Default input", "Built-in Audio", "USB Microphone"}));
    EXPECT_FALSE(controls.deviceMenu()->isEnabled()) << "no device to pick while the microphone is off";

    QSignalSpy spy(&controls, &SoundControls::choiceChanged);
    controls.microphoneSwitch()->click();
    ASSERT_EQ(spy.count(), 1);
    auto c = spy.takeFirst().at(0).value<SoundChoice>();
    EXPECT_TRUE(c.microphone);
    EXPECT_FALSE(c.desktop);
    EXPECT_TRUE(c.microphoneDevice.isEmpty());
    EXPECT_TRUE(controls.deviceMenu()->isEnabled());

    controls.deviceMenu()->setCurrentIndex(2);
    ASSERT_EQ(spy.count(), 1);
    c = spy.takeFirst().at(0).value<SoundChoice>();
    EXPECT_EQ(c.microphoneDevice, QStringLiteral("usb-mic"));

    controls.desktopSwitch()->click();
    ASSERT_EQ(spy.count(), 1);
    c = spy.takeFirst().at(0).value<SoundChoice>();
    EXPECT_TRUE(c.microphone);
    EXPECT_TRUE(c.desktop);
    EXPECT_EQ(c.microphoneDevice, QStringLiteral("usb-mic"));
    EXPECT_EQ(controls.choice(), c);
}

TEST_F(SoundControlsTest, AChoiceFromCodeShowsWithoutEchoAndKeepsAMissingDevice) {
    SoundControls controls;
    controls.setDevices(kInputs);
    QSignalSpy spy(&controls, &SoundControls::choiceChanged);
    SoundChoice c;
    c.microphone = true;
    c.microphoneDevice = QStringLiteral("unplugged-mic");
    controls.setChoice(c);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_TRUE(controls.microphoneSwitch()->isChecked());
    EXPECT_EQ(menuItems(controls.deviceMenu()).last(), QStringLiteral("unplugged-mic (not connected)"));
    EXPECT_EQ(controls.deviceMenu()->currentData().toString(), QStringLiteral("unplugged-mic"));
    // The server's list arriving later does not change the choice either.
    controls.setDevices({});
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(controls.choice(), c);
    EXPECT_EQ(controls.deviceMenu()->currentData().toString(), QStringLiteral("unplugged-mic"));
}

TEST_F(SoundControlsTest, MetersShowWhileRecordingForTheSourcesRecorded) {
    SoundControls controls;
    controls.resize(400, 80);
    controls.show();
    EXPECT_FALSE(controls.microphoneMeter()->isVisible());
    controls.setRecording(true, true, false);
    EXPECT_TRUE(controls.microphoneMeter()->isVisible());
    EXPECT_FALSE(controls.desktopMeter()->isVisible());
    EXPECT_FALSE(controls.microphoneSwitch()->isEnabled()) << "the choice is locked while recording";
    EXPECT_FALSE(controls.desktopSwitch()->isEnabled());

    controls.setLevels(0.5, 0.25);
    LevelMeter* meter = controls.microphoneMeter();
    EXPECT_DOUBLE_EQ(meter->level(), 0.5);
    // Half of full scale is -6 dB: 90 % of a bar that spans 60 dB.
    EXPECT_NEAR(meter->fill(), 1.0 - 20 * std::log10(0.5) / LevelMeter::kFloorDb, 1e-9);
    EXPECT_NEAR(meter->fill(), 0.8997, 1e-3);
    const QImage loud = meter->grab().toImage();
    const QColor filledAtLeft = loud.pixelColor(4, loud.height() / 2);
    const QColor emptyAtRight = loud.pixelColor(loud.width() - 3, loud.height() / 2);
    EXPECT_NE(filledAtLeft, emptyAtRight);

    controls.setLevels(0.0005, 0); // below the floor
    EXPECT_EQ(meter->fill(), 0);
    controls.setLevels(std::numeric_limits<double>::quiet_NaN(), 7);
    EXPECT_EQ(meter->level(), 0);
    EXPECT_EQ(controls.desktopMeter()->level(), 1);

    controls.setRecording(false, false, false);
    EXPECT_FALSE(controls.microphoneMeter()->isVisible());
    EXPECT_EQ(meter->level(), 0);
    EXPECT_TRUE(controls.microphoneSwitch()->isEnabled());
}

using WindowSoundTest = SoundSettings;

TEST_F(WindowSoundTest, TheWindowRemembersTheChoiceAndShowsTheTakesLevels) {
    FakeBackend backend;
    FakeSoundDevices devices;
    devices.settings[SoundKind::Microphone].level = 0.5f;
    {
        MainWindow window(backend, backend);
        window.setSoundDevices(&devices);
        SoundControls* controls = window.emptyState()->sound();
        EXPECT_EQ(menuItems(controls->deviceMenu()),
                  (QStringList{"Default input", "Built-in Audio", "USB Microphone"}));
        EXPECT_FALSE(window.recorder().soundChoice().any());
        controls->microphoneSwitch()->click();
        controls->deviceMenu()->setCurrentIndex(2);
        EXPECT_TRUE(window.recorder().soundChoice().microphone);
        EXPECT_EQ(window.recorder().soundChoice().microphoneDevice, QStringLiteral("usb-mic"));

        // A take with the microphone: its meter shows and follows the level.
        window.recorder().start();
        CaptureContent c;
        c.area = QRectF(0, 0, 640, 400);
        emit backend.pickerFake.contentChosen(c);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.recorder().phase() == Phase::recording; }, 3000));
        EXPECT_FALSE(controls->microphoneMeter()->isHidden());
        EXPECT_TRUE(controls->desktopMeter()->isHidden());
        ASSERT_TRUE(QTest::qWaitFor([&] { return controls->microphoneMeter()->level() > 0.49; }, 3000));
        backend.lastStream->deliver(2);
        window.recorder().stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.recorder().phase() == Phase::ready; }, 5000));
        EXPECT_TRUE(controls->microphoneMeter()->isHidden());
        EXPECT_EQ(controls->microphoneMeter()->level(), 0);
        EXPECT_EQ(devices.opened.front(), std::make_pair(SoundKind::Microphone, QStringLiteral("usb-mic")));
    }
    // The next run starts with the same choice.
    MainWindow again(backend, backend);
    EXPECT_TRUE(again.recorder().soundChoice().microphone);
    EXPECT_FALSE(again.recorder().soundChoice().desktop);
    EXPECT_EQ(again.recorder().soundChoice().microphoneDevice, QStringLiteral("usb-mic"));
    EXPECT_TRUE(again.emptyState()->sound()->microphoneSwitch()->isChecked());
}
