#pragma once

// Internal to the Wayland backend: the ScreenCast portal's chain of calls.

#include "PortalRequest.h"
#include "PortalSession.h"

#include "timeline/Result.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

#include <memory>

namespace orvane::wayland {

// What the portal offers, read from its properties.
struct PortalInfo {
    uint version = 0;
    uint sourceTypes = 0; // bit 1 monitor, 2 window, 4 virtual
    uint cursorModes = 0; // bit 1 hidden, 2 embedded, 4 metadata
};

// Runs CreateSession, SelectSources, Start and OpenPipeWireRemote one after
// the other, as a small state machine. SelectSources asks for one source of
// the given types, the cursor as metadata where the portal offers it (else in
// the picture), and persist mode 2 with the restore token kept from the last
// session (in QSettings), so that the desktop asks the user once; each new
// token is saved at once, since a token can be used only once.
//
// Main thread only. After begin(), exactly one of the three signals follows,
// unless cancel() comes first (then none).
class ScreenCastPortal : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.portal.Desktop";

    explicit ScreenCastPortal(QString service = QString::fromLatin1(kService),
                              QObject* parent = nullptr);
    ~ScreenCastPortal() override;

    // Reads the portal's properties; fails when no portal answers or it has
    // no ScreenCast interface. Blocks for at most `timeoutMs`.
    Result<PortalInfo> probe(int timeoutMs = 3000);

    // `sourceTypes`: 1 monitor, 2 window, 3 either. `parentWindow`: the
    // portal's handle of the window the dialog belongs to ("x11:1a00007"), or
    // empty.
    void begin(uint sourceTypes, const QString& parentWindow);
    void cancel();
    bool busy() const { return busy_; }

    // The settings key under which the restore token for `sourceTypes` lives.
    static QString restoreTokenKey(uint sourceTypes);

signals:
    void started(std::shared_ptr<orvane::wayland::PortalSession> session);
    void cancelled();
    void failed(const orvane::Error& error);

private:
    void selectSources();
    void startSession();
    void openRemote(const QVariantMap& startResults);
    void finishWith(const Error& error);
    void closeUnusedSession();
    PortalRequest* newRequest();

    QDBusConnection bus_;
    QString service_;
    PortalInfo info_;
    uint types_ = 0;
    QString parentWindow_;
    QString sessionPath_;
    QPointer<PortalRequest> request_;
    bool busy_ = false;
};

} // namespace orvane::wayland
