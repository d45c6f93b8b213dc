#include "FileReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace orvane {

namespace {

void openContainingFolder(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

} // namespace

void revealInFileManager(const QString& path) {
    revealInFileManager(path, QDBusConnection::sessionBus());
}

void revealInFileManager(const QString& path, const QDBusConnection& bus) {
    if (!bus.isConnected()) {
        openContainingFolder(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    // The URIs to show and a startup-notification id (none).
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // The watcher deletes itself once the answer (or the bus's error that
    // nobody owns the name) has come; only then is the folder opened instead.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [path](QDBusPendingCallWatcher* w) {
                         if (w->isError()) {
                             openContainingFolder(path);
                         }
                         w->deleteLater();
                     });
}

} // namespace orvane
