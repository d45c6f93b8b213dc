// Showing an exported file: the desktop's file manager over D-Bus when one
// answers, the containing folder otherwise. A private dbus-daemon stands in
// for the session bus; QDesktopServices' handler for file URLs records what
// would have been opened.
#include "ui/FileReveal.h"

#include "MovieFixtures.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QProcess>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

namespace {

// Receives the URLs QDesktopServices::openUrl is asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// A file manager that only records what it was asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        Q_UNUSED(startupId);
        shown << uris;
    }
};

// A bus of the test's own, so that no desktop's file manager takes part.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {"--session", "--nofork", "--print-address=1"});
        if (daemon_.waitForStarted() && daemon_.waitForReadyRead(10000)) {
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        for (const QString& name : names_) {
            QDBusConnection::disconnectFromBus(name);
        }
        daemon_.kill();
        daemon_.waitForFinished();
    }
    bool ok() const { return !address_.isEmpty(); }
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

} // namespace

TEST(FileRevealTest, WithoutABusTheFolderOpens) {
    UrlCatcher catcher;
    TempDir dir;
    const QString file = QString::fromStdString(dir.file("export.mp4"));
    QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/orvane-bus"), QStringLiteral("orvane-no-bus"));
    ASSERT_FALSE(none.isConnected());
    revealInFileManager(file, none);
    QDBusConnection::disconnectFromBus(QStringLiteral("orvane-no-bus"));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(QString::fromStdString(dir.path())));
}

TEST(FileRevealTest, WithoutAFileManagerOnTheBusTheFolderOpens) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    UrlCatcher catcher;
    TempDir dir;
    const QString file = QString::fromStdString(dir.file("export.mp4"));
    QDBusConnection caller = bus.connect(QStringLiteral("orvane-caller-1"));
    ASSERT_TRUE(caller.isConnected());
    revealInFileManager(file, caller);
    // The bus answers that nobody owns the name; the folder opens then.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !catcher.urls.isEmpty(); }, 10000));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(QString::fromStdString(dir.path())));
}

TEST(FileRevealTest, AFileManagerOnTheBusShowsTheFileAndNoFolderOpens) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    UrlCatcher catcher;
    TempDir dir;
    const QString file = QString::fromStdString(dir.file("export.mp4"));
    FakeFileManager manager;
    QDBusConnection service = bus.connect(QStringLiteral("orvane-file-manager"));
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    QDBusConnection caller = bus.connect(QStringLiteral("orvane-caller-2"));
    revealInFileManager(file, caller);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.shown.isEmpty(); }, 10000));
    EXPECT_EQ(manager.shown, QStringList{QUrl::fromLocalFile(file).toString()});
    // A second reveal after the first one's answer has surely come back: had
    // the first answer been taken for a failure, a folder would show by now.
    revealInFileManager(file, caller);
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.shown.size() == 2; }, 10000));
    QTest::qWait(200);
    EXPECT_TRUE(catcher.urls.isEmpty());
}

#include "FileRevealTest.moc"
