#pragma once

// Internal to the Wayland backend: one call of a desktop-portal method that
// answers through a Request object.

#include "timeline/Result.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace orvane::wayland {

// The portal's answer codes.
enum class PortalResponse : uint { Success = 0, Cancelled = 1, Ended = 2 };

// Calls `method` with a fresh handle token and waits for its Response signal.
// The Response is subscribed on the request path the portal will use (built
// from our bus name and the token) before the call goes out, so an answer that
// comes at once is not missed; when the portal names another path in its
// reply, that one is watched instead.
//
// Main thread only. Exactly one of the two signals follows call(), queued,
// unless the request is cancelled or destroyed first.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    PortalRequest(QDBusConnection bus, QString service, QObject* parent = nullptr);
    ~PortalRequest() override;

    // `arguments` go before the options; `options` get the handle_token.
    void call(const QString& interface, const QString& method, const QVariantList& arguments,
              QVariantMap options);
    // Closes the request: the portal drops its dialog; no answer follows.
    void cancel();

signals:
    void answered(orvane::wayland::PortalResponse response, const QVariantMap& results);
    void failed(const orvane::Error& error);

private slots:
    void onResponse(uint response, const QVariantMap& results);

private:
    void watch(const QString& path);
    void unwatch();

    QDBusConnection bus_;
    QString service_;
    QString path_; // the request object being watched
    bool done_ = false;
};

// The session handle a CreateSession answer carries (portals send it as a
// string or, some versions, as an object path); empty when there is none.
QString sessionHandleOf(const QVariantMap& results);

// A user-readable reason for a failed D-Bus call to the portal.
Error portalCallError(const QString& dbusErrorName, const QString& message);

} // namespace orvane::wayland
