// Runs the ui tests inside a QApplication, on the offscreen platform unless the
// environment chooses another (the with-xvfb.sh runner uses a real X server).
#include "app/RecordingSettings.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // The window's takes start as soon as content is chosen here (a user's
    // default is a 3 s countdown); the countdown has tests of its own.
    orvane::RecordingSettings recording = orvane::RecordingSettings::load();
    recording.countdown = 0;
    recording.save();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
