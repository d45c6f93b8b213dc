#include "WaylandPermissionChecks.h"

#include "ClickReader.h"
#include "ScreenCastPortal.h"

namespace orvane::wayland {

WaylandPermissionChecks::WaylandPermissionChecks(QString portalService, bool rawSources)
    : portalService_(std::move(portalService)), rawSources_(rawSources) {}

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
    return rawSources_ || ClickReader::readablePointingDevices() > 0;
}

bool WaylandPermissionChecks::requestInputAccess() {
    return inputObservable();
}

QString WaylandPermissionChecks::inputProblem() {
    if (inputObservable()) {
        return {};
    }
    return QStringLiteral(
        "To see your clicks, Orvane needs to read your mouse. Run this command, then log out "
        "and back in: sudo usermod -aG input $USER. This lets Orvane read mouse buttons only.");
}

} // namespace orvane::wayland
