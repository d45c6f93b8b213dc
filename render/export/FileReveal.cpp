#include "FileReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QUrl>

namespace orvane {

void revealInFileManager(const QString& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    // The URIs to show and a startup-notification id (none).
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // The answer (or the error when no file manager owns the name) is not
    // awaited: dropping the pending call just discards it.
    bus.asyncCall(call);
}

} // namespace orvane
