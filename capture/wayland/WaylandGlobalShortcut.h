#pragma once

// Internal to the Wayland backend: the global shortcut through the desktop
// portal's GlobalShortcuts interface.

#include "capture/GlobalShortcut.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QVariantMap>
#include <QString>

namespace orvane::wayland {

// The desktop binds the shortcut, not the program: Orvane proposes its keys
// as the preferred trigger, and the desktop (or the user, in its settings)
// decides. The portal is asked asynchronously, so the window never waits for
// it; until it has answered, and on a desktop whose portal has no
// GlobalShortcuts (GNOME before 48, wlroots), problem() says why there is no
// shortcut. Main thread only.
class WaylandGlobalShortcut : public GlobalShortcut {
    Q_OBJECT

public:
    static constexpr const char* kShortcutId = "stop-or-record";
    static constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";

    explicit WaylandGlobalShortcut(QString portalService, QObject* parent = nullptr);
    ~WaylandGlobalShortcut() override;

    QString setKeys(const QString& keys) override;
    QString keys() const override { return keys_; }

    // "Ctrl+Shift+R" as the portal's triggers spell it ("CTRL+SHIFT+r");
    // empty for what it cannot spell.
    static QString portalTrigger(const QString& keys);

private slots:
    void onActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);

private:
    void createSession();
    void bind();
    void closeSession();
    void unavailable();

    QDBusConnection bus_;
    QString service_;
    QString keys_;
    QString sessionPath_;
    bool creating_ = false;
    quint64 serial_ = 0; // bumped by every setKeys: answers to older asks are dropped
};

} // namespace orvane::wayland
