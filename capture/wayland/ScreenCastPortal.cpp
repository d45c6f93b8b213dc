#include "ScreenCastPortal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QSettings>

#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace orvane::wayland {

namespace {

constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr uint kCursorEmbedded = 2;
constexpr uint kCursorMetadata = 4;
constexpr uint kPersistUntilRevoked = 2;

// One stream of Start's "streams" (a(ua{sv})): its node and properties.
struct StartedStream {
    quint32 node = 0;
    QVariantMap properties;
};

std::optional<StartedStream> firstStream(const QVariant& streams) {
    if (!streams.canConvert<QDBusArgument>()) {
        return std::nullopt;
    }
    const QDBusArgument arg = streams.value<QDBusArgument>();
    std::optional<StartedStream> first;
    arg.beginArray();
    while (!arg.atEnd()) {
        StartedStream s;
        arg.beginStructure();
        arg >> s.node >> s.properties;
        arg.endStructure();
        if (!first) {
            first = s;
        }
    }
    arg.endArray();
    return first;
}

QSize sizeOf(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>()) {
        return {};
    }
    const QDBusArgument arg = value.value<QDBusArgument>();
    int w = 0;
    int h = 0;
    arg.beginStructure();
    arg >> w >> h;
    arg.endStructure();
    return w > 0 && h > 0 ? QSize(w, h) : QSize();
}

} // namespace

ScreenCastPortal::ScreenCastPortal(QString service, QObject* parent)
    : QObject(parent), bus_(QDBusConnection::sessionBus()), service_(std::move(service)) {}

ScreenCastPortal::~ScreenCastPortal() {
    cancel();
}

QString ScreenCastPortal::restoreTokenKey(uint sourceTypes) {
    return QStringLiteral("capture/screenCastRestoreToken/%1").arg(sourceTypes);
}

Result<PortalInfo> ScreenCastPortal::probe(int timeoutMs) {
    if (!bus_.isConnected()) {
        return Error{ErrorKind::NotFound, "there is no session bus to reach the desktop portal"};
    }
    PortalInfo info;
    for (const char* name : {"version", "AvailableSourceTypes", "AvailableCursorModes"}) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service_, QString::fromLatin1(kPortalPath), QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << QString::fromLatin1(kScreenCast) << QString::fromLatin1(name);
        const QDBusMessage reply = bus_.call(get, QDBus::Block, timeoutMs);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            return portalCallError(reply.errorName(), reply.errorMessage());
        }
        const uint value = reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
        if (qstrcmp(name, "version") == 0) {
            info.version = value;
        } else if (qstrcmp(name, "AvailableSourceTypes") == 0) {
            info.sourceTypes = value;
        } else {
            info.cursorModes = value;
        }
    }
    if ((info.sourceTypes & 3) == 0) {
        return Error{ErrorKind::Unsupported,
                     "the desktop portal cannot share the screen (no ScreenCast portal for this "
                     "desktop is installed)"};
    }
    return info;
}

PortalRequest* ScreenCastPortal::newRequest() {
    auto* r = new PortalRequest(bus_, service_, this);
    request_ = r;
    connect(r, &PortalRequest::failed, this, [this, r](const Error& e) {
        r->deleteLater();
        finishWith(e);
    });
    return r;
}

void ScreenCastPortal::begin(uint sourceTypes, const QString& parentWindow) {
    cancel();
    auto info = probe();
    busy_ = true;
    if (!info) {
        finishWith(info.errorValue());
        return;
    }
    info_ = info.value();
    types_ = sourceTypes & info_.sourceTypes;
    if (types_ == 0) {
        types_ = info_.sourceTypes & 3;
    }
    parentWindow_ = parentWindow;
    sessionPath_.clear();

    PortalRequest* r = newRequest();
    connect(r, &PortalRequest::answered, this,
            [this, r](PortalResponse response, const QVariantMap& results) {
                r->deleteLater();
                if (response != PortalResponse::Success) {
                    finishWith(Error{ErrorKind::Io, "the desktop portal refused a screen cast session"});
                    return;
                }
                sessionPath_ = sessionHandleOf(results);
                selectSources();
            });
    // A new session path each time: the portal may still be closing the last.
    static unsigned sessions = 0;
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"),
                   QStringLiteral("orvane_session%1").arg(++sessions));
    r->call(QString::fromLatin1(kScreenCast), QStringLiteral("CreateSession"), {}, options);
}

void ScreenCastPortal::selectSources() {
    QVariantMap options;
    options.insert(QStringLiteral("types"), QVariant::fromValue<uint>(types_));
    options.insert(QStringLiteral("multiple"), false);
    if ((info_.cursorModes & kCursorMetadata) != 0) {
        options.insert(QStringLiteral("cursor_mode"), QVariant::fromValue<uint>(kCursorMetadata));
    } else if ((info_.cursorModes & kCursorEmbedded) != 0) {
        options.insert(QStringLiteral("cursor_mode"), QVariant::fromValue<uint>(kCursorEmbedded));
    }
    // Restore tokens came with version 4 of the interface.
    if (info_.version >= 4) {
        options.insert(QStringLiteral("persist_mode"), QVariant::fromValue<uint>(kPersistUntilRevoked));
        const QString token = QSettings().value(restoreTokenKey(types_)).toString();
        if (!token.isEmpty()) {
            options.insert(QStringLiteral("restore_token"), token);
        }
    }
    PortalRequest* r = newRequest();
    connect(r, &PortalRequest::answered, this,
            [this, r](PortalResponse response, const QVariantMap&) {
                r->deleteLater();
                if (response == PortalResponse::Cancelled) {
                    finishWith(Error{ErrorKind::Cancelled, "cancelled"});
                } else if (response != PortalResponse::Success) {
                    finishWith(Error{ErrorKind::Io, "the desktop portal could not select a source"});
                } else {
                    startSession();
                }
            });
    r->call(QString::fromLatin1(kScreenCast), QStringLiteral("SelectSources"),
            {QVariant::fromValue(QDBusObjectPath(sessionPath_))}, options);
}

void ScreenCastPortal::startSession() {
    PortalRequest* r = newRequest();
    connect(r, &PortalRequest::answered, this,
            [this, r](PortalResponse response, const QVariantMap& results) {
                r->deleteLater();
                if (response == PortalResponse::Cancelled) {
                    finishWith(Error{ErrorKind::Cancelled, "cancelled"});
                } else if (response != PortalResponse::Success) {
                    finishWith(Error{ErrorKind::Io, "the desktop portal could not start the screen cast"});
                } else {
                    openRemote(results);
                }
            });
    r->call(QString::fromLatin1(kScreenCast), QStringLiteral("Start"),
            {QVariant::fromValue(QDBusObjectPath(sessionPath_)), parentWindow_}, {});
}

void ScreenCastPortal::openRemote(const QVariantMap& startResults) {
    // A token serves once: the new one replaces it whatever happens next.
    const QString token = startResults.value(QStringLiteral("restore_token")).toString();
    QSettings settings;
    if (!token.isEmpty()) {
        settings.setValue(restoreTokenKey(types_), token);
    } else {
        settings.remove(restoreTokenKey(types_));
    }
    settings.sync();

    const auto stream = firstStream(startResults.value(QStringLiteral("streams")));
    if (!stream) {
        finishWith(Error{ErrorKind::NotFound, "the desktop portal shared nothing"});
        return;
    }
    auto session = std::make_shared<PortalSession>(bus_, service_, sessionPath_);
    session->node = stream->node;
    session->sourceType =
        stream->properties.value(QStringLiteral("source_type")).toUInt() == 2
            ? PortalSession::SourceType::Window
            : PortalSession::SourceType::Monitor;
    session->logicalSize = sizeOf(stream->properties.value(QStringLiteral("size")));
    session->cursorAsMetadata = (info_.cursorModes & kCursorMetadata) != 0;

    QDBusMessage open = QDBusMessage::createMethodCall(service_, QString::fromLatin1(kPortalPath),
                                                       QString::fromLatin1(kScreenCast),
                                                       QStringLiteral("OpenPipeWireRemote"));
    open << QVariant::fromValue(QDBusObjectPath(sessionPath_)) << QVariantMap();
    const QDBusMessage reply = bus_.call(open, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        finishWith(portalCallError(reply.errorName(), reply.errorMessage()));
        return;
    }
    const auto fd = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
    if (!fd.isValid()) {
        finishWith(Error{ErrorKind::Io, "the desktop portal gave no PipeWire connection"});
        return;
    }
    // The descriptor object closes its copy; the session keeps its own.
    session->pipeWireFd = fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 3);
    if (session->pipeWireFd < 0) {
        finishWith(Error{ErrorKind::Io, "the PipeWire connection could not be kept"});
        return;
    }
    sessionPath_.clear(); // the session owns it now
    busy_ = false;
    emit started(std::move(session));
}

void ScreenCastPortal::closeUnusedSession() {
    if (!sessionPath_.isEmpty()) {
        // A session that will not be used is closed at once.
        bus_.asyncCall(QDBusMessage::createMethodCall(service_, sessionPath_,
                                                      QStringLiteral("org.freedesktop.portal.Session"),
                                                      QStringLiteral("Close")));
        sessionPath_.clear();
    }
}

void ScreenCastPortal::finishWith(const Error& error) {
    busy_ = false;
    closeUnusedSession();
    if (error.kind == ErrorKind::Cancelled) {
        emit cancelled();
    } else {
        emit failed(error);
    }
}

void ScreenCastPortal::cancel() {
    if (!busy_) {
        return;
    }
    busy_ = false;
    if (request_) {
        request_->cancel();
        request_->deleteLater();
    }
    closeUnusedSession();
}

} // namespace orvane::wayland
