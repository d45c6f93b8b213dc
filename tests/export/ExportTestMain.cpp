// The compositor draws with Qt's GUI layer, which needs an application object.
#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Drawing needs Qt's GUI layer but no screen (test discovery runs without
    // the test environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
