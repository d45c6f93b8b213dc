#include "Permissions.h"

namespace orvane {

Permissions::Permissions(PermissionChecks& checks, QObject* parent)
    : QObject(parent), checks_(checks) {}

void Permissions::refresh() {
    const bool screen = checks_.screenCaptureAllowed();
    if (screen != screen_) {
        screen_ = screen;
        emit screenChanged();
    }
    const bool input = checks_.inputObservable();
    if (input != accessibility_) {
        accessibility_ = input;
        emit accessibilityChanged();
    }
}

void Permissions::requestAccessibility() {
    checks_.requestInputAccess();
    refresh();
}

QString Permissions::open(const QString& anchor) {
    if (anchor == QLatin1String(kScreenAnchor)) {
        return checks_.screenProblem();
    }
    if (anchor == QLatin1String(kAccessibilityAnchor)) {
        return checks_.inputProblem();
    }
    return {};
}

} // namespace orvane
