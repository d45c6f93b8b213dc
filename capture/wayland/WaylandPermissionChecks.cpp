#include "WaylandPermissionChecks.h"

#include "ScreenCastPortal.h"

namespace orvane::wayland {

WaylandPermissionChecks::WaylandPermissionChecks(QString portalService)
    : portalService_(std::move(portalService)) {}

bool WaylandPermissionChecks::screenCaptureAllowed() {
    return screenProblem().isEmpty();
}

QString WaylandPermissionChecks::screenProblem() {
    ScreenCastPortal portal(portalService_);
    auto info = portal.probe(1000);
    if (!info) {
        return QString::fromStdString(info.error());
    }
    return {};
}

bool WaylandPermissionChecks::inputObservable() {
    return false;
}

bool WaylandPermissionChecks::requestInputAccess() {
    return inputObservable();
}

QString WaylandPermissionChecks::inputProblem() {
    return QStringLiteral("Orvane cannot read mouse buttons on Wayland yet");
}

} // namespace orvane::wayland
