// Test entry point: Qt's raster drawing and Qt PDF want a QGuiApplication, on
// the offscreen platform so that no display is needed.
#include <QGuiApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Qt's own event dispatcher rather than GLib's: with GLib's thread-local
    // state alive at exit, LeakSanitizer's scan crashes (and fails the run).
    setenv("QT_NO_GLIB", "1", 0);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
