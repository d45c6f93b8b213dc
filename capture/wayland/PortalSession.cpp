#include "PortalSession.h"

#include <QDBusMessage>
#include <QDBusPendingCall>

#include <unistd.h>

namespace orvane::wayland {

namespace {
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";
}

PortalSession::PortalSession(QDBusConnection bus, QString service, QString sessionPath)
    : bus_(std::move(bus)), service_(std::move(service)), path_(std::move(sessionPath)) {
    bus_.connect(service_, path_, QString::fromLatin1(kSessionInterface), QStringLiteral("Closed"),
                 this, SLOT(onClosed()));
}

PortalSession::~PortalSession() {
    bus_.disconnect(service_, path_, QString::fromLatin1(kSessionInterface), QStringLiteral("Closed"),
                    this, SLOT(onClosed()));
    if (!closedByDesktop_.load()) {
        // Fire and forget: the portal ends the screen cast and its indicator.
        bus_.asyncCall(QDBusMessage::createMethodCall(service_, path_,
                                                      QString::fromLatin1(kSessionInterface),
                                                      QStringLiteral("Close")));
    }
    if (pipeWireFd >= 0) {
        ::close(pipeWireFd);
    }
}

void PortalSession::onClosed() {
    closedByDesktop_ = true;
    emit closed();
}

} // namespace orvane::wayland
