#include "WaylandGlobalShortcut.h"

#include "PortalRequest.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>

namespace orvane::wayland {

namespace {

constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// One shortcut of BindShortcuts: its id and its options.
struct ShortcutSpec {
    QString id;
    QVariantMap options;
};

QDBusArgument& operator<<(QDBusArgument& a, const ShortcutSpec& s) {
    a.beginStructure();
    a << s.id << s.options;
    a.endStructure();
    return a;
}

const QDBusArgument& operator>>(const QDBusArgument& a, ShortcutSpec& s) {
    a.beginStructure();
    a >> s.id >> s.options;
    a.endStructure();
    return a;
}

QString noShortcutHere() {
    return QStringLiteral("This desktop offers Orvane no global shortcut: stop a take from the "
                          "status icon or the recording bar");
}

} // namespace

} // namespace orvane::wayland

Q_DECLARE_METATYPE(orvane::wayland::ShortcutSpec)

namespace orvane::wayland {

WaylandGlobalShortcut::WaylandGlobalShortcut(QString portalService, QObject* parent)
    : GlobalShortcut(parent), bus_(QDBusConnection::sessionBus()), service_(std::move(portalService)) {
    qDBusRegisterMetaType<ShortcutSpec>();
    qDBusRegisterMetaType<QList<ShortcutSpec>>();
    setProblem(QStringLiteral("Asking the desktop for the global shortcut…"));
    bus_.connect(service_, QString::fromLatin1(kPortalPath), QString::fromLatin1(kInterface),
                 QStringLiteral("Activated"), this,
                 SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

WaylandGlobalShortcut::~WaylandGlobalShortcut() {
    closeSession();
}

QString WaylandGlobalShortcut::portalTrigger(const QString& keys) {
    const QStringList parts = keys.split(QLatin1Char('+'), Qt::SkipEmptyParts);
    if (parts.size() < 2) {
        return {};
    }
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); ++i) {
        const QString m = parts[i].trimmed().toLower();
        if (m == QLatin1String("ctrl") || m == QLatin1String("control")) {
            out << QStringLiteral("CTRL");
        } else if (m == QLatin1String("shift")) {
            out << QStringLiteral("SHIFT");
        } else if (m == QLatin1String("alt")) {
            out << QStringLiteral("ALT");
        } else if (m == QLatin1String("meta") || m == QLatin1String("super")) {
            out << QStringLiteral("LOGO");
        } else {
            return {};
        }
    }
    // Without Ctrl, Alt or Meta it would take a key from every program.
    if (!out.contains(QStringLiteral("CTRL")) && !out.contains(QStringLiteral("ALT")) &&
        !out.contains(QStringLiteral("LOGO"))) {
        return {};
    }
    const QString key = parts.last().trimmed();
    if (key.size() == 1 && key[0].isLetterOrNumber() && key[0].unicode() < 128) {
        out << key.toLower(); // keysym names: "r", "5"
    } else if (key.size() >= 2 && key[0].toUpper() == QLatin1Char('F') && key.mid(1).toInt() >= 1 &&
               key.mid(1).toInt() <= 12) {
        out << key.toUpper();
    } else {
        return {};
    }
    return out.join(QLatin1Char('+'));
}

QString WaylandGlobalShortcut::setKeys(const QString& keys) {
    ++serial_;
    keys_ = keys.trimmed();
    if (keys_.isEmpty()) {
        closeSession();
        setProblem(QString());
        return {};
    }
    if (portalTrigger(keys_).isEmpty()) {
        const QString why = QStringLiteral("%1 cannot be a shortcut: use Ctrl, Alt or Meta with a "
                                           "letter, a digit or F1 to F12")
                                .arg(keys_);
        setProblem(why);
        return why;
    }
    if (sessionPath_.isEmpty()) {
        createSession();
    } else {
        bind();
    }
    return {};
}

void WaylandGlobalShortcut::unavailable() {
    sessionPath_.clear();
    creating_ = false;
    setProblem(noShortcutHere());
}

void WaylandGlobalShortcut::createSession() {
    if (creating_) {
        return; // the session being made binds the newest keys
    }
    creating_ = true;
    // The version says whether this desktop's portal has the interface at
    // all, without a dialog or a wait.
    QDBusMessage get = QDBusMessage::createMethodCall(service_, QString::fromLatin1(kPortalPath),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QString::fromLatin1(kInterface) << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get, 3000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError()) {
            unavailable();
            return;
        }
        auto* request = new PortalRequest(bus_, service_, this);
        connect(request, &PortalRequest::answered, this,
                [this, request](PortalResponse response, const QVariantMap& results) {
                    request->deleteLater();
                    creating_ = false;
                    const QString path = sessionHandleOf(results);
                    if (response != PortalResponse::Success || path.isEmpty()) {
                        unavailable();
                        return;
                    }
                    sessionPath_ = path;
                    bind();
                });
        connect(request, &PortalRequest::failed, this, [this, request](const Error&) {
            request->deleteLater();
            unavailable();
        });
        static unsigned sessions = 0;
        QVariantMap options;
        options.insert(QStringLiteral("session_handle_token"),
                       QStringLiteral("orvane_shortcuts%1").arg(++sessions));
        request->call(QString::fromLatin1(kInterface), QStringLiteral("CreateSession"), {}, options);
    });
}

void WaylandGlobalShortcut::bind() {
    if (keys_.isEmpty() || sessionPath_.isEmpty()) {
        return;
    }
    ShortcutSpec spec;
    spec.id = QString::fromLatin1(kShortcutId);
    spec.options.insert(QStringLiteral("description"), QStringLiteral("Stop the take, or start one"));
    spec.options.insert(QStringLiteral("preferred_trigger"), portalTrigger(keys_));
    const QList<ShortcutSpec> shortcuts{spec};
    const quint64 serial = serial_;
    auto* request = new PortalRequest(bus_, service_, this);
    connect(request, &PortalRequest::answered, this,
            [this, request, serial](PortalResponse response, const QVariantMap&) {
                request->deleteLater();
                if (serial != serial_) {
                    return; // keys changed meanwhile; their own bind answers
                }
                if (response == PortalResponse::Success) {
                    setProblem(QString());
                } else if (response == PortalResponse::Cancelled) {
                    setProblem(QStringLiteral("The desktop was not allowed to bind the global shortcut"));
                } else {
                    setProblem(noShortcutHere());
                }
            });
    connect(request, &PortalRequest::failed, this, [this, request](const Error&) {
        request->deleteLater();
        setProblem(noShortcutHere());
    });
    request->call(QString::fromLatin1(kInterface), QStringLiteral("BindShortcuts"),
                  {QVariant::fromValue(QDBusObjectPath(sessionPath_)), QVariant::fromValue(shortcuts),
                   QString()},
                  {});
}

void WaylandGlobalShortcut::closeSession() {
    if (sessionPath_.isEmpty()) {
        return;
    }
    QDBusMessage close = QDBusMessage::createMethodCall(service_, sessionPath_,
                                                        QStringLiteral("org.freedesktop.portal.Session"),
                                                        QStringLiteral("Close"));
    bus_.asyncCall(close); // no answer is waited for
    sessionPath_.clear();
}

void WaylandGlobalShortcut::onActivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                        const QVariantMap&) {
    if (session.path() == sessionPath_ && id == QLatin1String(kShortcutId)) {
        emit activated();
    }
}

} // namespace orvane::wayland
