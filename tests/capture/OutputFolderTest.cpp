// Where a take's files go: the Desktop, else Videos, else home.
#include "capture/OutputFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace orvane;

namespace {

// Points HOME and XDG_CONFIG_HOME into a scratch folder for one test.
class ScratchHome {
public:
    ScratchHome() {
        qputenv("HOME", dir.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (dir.path() + "/.config").toUtf8());
        QDir().mkpath(dir.path() + "/.config");
    }
    void userDirs(const QString& text) {
        QFile f(dir.path() + "/.config/user-dirs.dirs");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }
    // Makes a plain file where a folder should go, so that it cannot be created.
    void block(const QString& name) {
        QFile f(dir.path() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QTemporaryDir dir;
};

} // namespace

TEST(OutputFolder, DesktopIsCreatedWhenMissing) {
    ScratchHome home;
    const QString folder = defaultOutputFolder();
    EXPECT_EQ(folder.toStdString(), (home.dir.path() + "/Desktop").toStdString());
    EXPECT_TRUE(QDir(folder).exists());
}

TEST(OutputFolder, FollowsTheXdgUserDirs) {
    ScratchHome home;
    home.userDirs("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    EXPECT_EQ(defaultOutputFolder().toStdString(), (home.dir.path() + "/Schreibtisch").toStdString());
}

TEST(OutputFolder, FallsBackToVideosThenHome) {
    {
        ScratchHome home;
        home.block("Desktop");
        EXPECT_EQ(defaultOutputFolder().toStdString(), (home.dir.path() + "/Videos").toStdString());
    }
    ScratchHome home;
    home.block("Desktop");
    home.block("Videos");
    EXPECT_EQ(defaultOutputFolder().toStdString(), home.dir.path().toStdString());
}
