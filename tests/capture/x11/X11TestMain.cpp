// Runs the X11 backend tests inside a QApplication on the display that
// tests/support/with-xvfb.sh started.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
