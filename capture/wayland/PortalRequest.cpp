#include "PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <atomic>

namespace orvane::wayland {

namespace {

constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

QString nextToken() {
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("orvane%1").arg(++counter);
}

// ":1.42" -> "1_42", as the portal spells the sender in request paths.
QString senderPart(const QDBusConnection& bus) {
    QString name = bus.baseService();
    if (name.startsWith(QLatin1Char(':'))) {
        name.remove(0, 1);
    }
    return name.replace(QLatin1Char('.'), QLatin1Char('_'));
}

} // namespace

QString sessionHandleOf(const QVariantMap& results) {
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    const QString text = handle.toString();
    return !text.isEmpty() ? text : handle.value<QDBusObjectPath>().path();
}

Error portalCallError(const QString& dbusErrorName, const QString& message) {
    if (dbusErrorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        dbusErrorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        dbusErrorName == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        dbusErrorName == QLatin1String("org.freedesktop.DBus.Error.Spawn.ChildExited") ||
        dbusErrorName == QLatin1String("org.freedesktop.DBus.Error.TimedOut")) {
        return Error{ErrorKind::NotFound,
                     "the desktop portal (xdg-desktop-portal) is not running"};
    }
    if (dbusErrorName == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
        dbusErrorName == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        dbusErrorName == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
        dbusErrorName == QLatin1String("org.freedesktop.DBus.Error.UnknownProperty")) {
        return Error{ErrorKind::Unsupported,
                     "the desktop portal cannot share the screen (no ScreenCast portal for "
                     "this desktop is installed)"};
    }
    if (dbusErrorName == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
        dbusErrorName == QLatin1String("org.freedesktop.portal.Error.NotAllowed")) {
        return Error{ErrorKind::Permission, "screen sharing is not allowed: " + message.toStdString()};
    }
    return Error{ErrorKind::Io, "the desktop portal failed: " + message.toStdString()};
}

PortalRequest::PortalRequest(QDBusConnection bus, QString service, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), service_(std::move(service)) {}

PortalRequest::~PortalRequest() {
    unwatch();
}

void PortalRequest::watch(const QString& path) {
    unwatch();
    path_ = path;
    bus_.connect(service_, path_, QString::fromLatin1(kRequestInterface), QStringLiteral("Response"),
                 this, SLOT(onResponse(uint, QVariantMap)));
}

void PortalRequest::unwatch() {
    if (!path_.isEmpty()) {
        bus_.disconnect(service_, path_, QString::fromLatin1(kRequestInterface),
                        QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
        path_.clear();
    }
}

void PortalRequest::call(const QString& interface, const QString& method,
                         const QVariantList& arguments, QVariantMap options) {
    const QString token = nextToken();
    options.insert(QStringLiteral("handle_token"), token);
    watch(QStringLiteral("%1/request/%2/%3")
              .arg(QString::fromLatin1(kPortalPath), senderPart(bus_), token));

    QDBusMessage message =
        QDBusMessage::createMethodCall(service_, QString::fromLatin1(kPortalPath), interface, method);
    QVariantList all = arguments;
    all << options;
    message.setArguments(all);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (done_) {
            return;
        }
        if (reply.isError()) {
            done_ = true;
            unwatch();
            emit failed(portalCallError(reply.error().name(), reply.error().message()));
            return;
        }
        // Portals older than version 0.9 build the path another way.
        if (reply.value().path() != path_) {
            watch(reply.value().path());
        }
    });
}

void PortalRequest::cancel() {
    if (done_ || path_.isEmpty()) {
        done_ = true;
        return;
    }
    done_ = true;
    bus_.asyncCall(QDBusMessage::createMethodCall(service_, path_, QString::fromLatin1(kRequestInterface),
                                                  QStringLiteral("Close")));
    unwatch();
}

void PortalRequest::onResponse(uint response, const QVariantMap& results) {
    if (done_) {
        return;
    }
    done_ = true;
    unwatch();
    emit answered(static_cast<PortalResponse>(response), results);
}

} // namespace orvane::wayland
