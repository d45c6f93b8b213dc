#pragma once

#include "capture/PermissionChecks.h"

#include <QString>

namespace orvane::wayland {

// What a Wayland session allows: the screen can be captured when the
// ScreenCast portal answers (and, for a single question per source, offers
// restore tokens: version 4 or later). Clicks need read access to a pointing
// device (see the input monitor). Main thread only; each check asks the
// portal anew.
class WaylandPermissionChecks final : public PermissionChecks {
public:
    explicit WaylandPermissionChecks(QString portalService);

    bool screenCaptureAllowed() override;
    bool inputObservable() override;
    bool requestInputAccess() override;
    QString screenProblem() override;
    QString inputProblem() override;
    // A take records its picture and cursor without click access.
    bool recordsWithoutClicks() override { return true; }

private:
    QString portalService_;
};

} // namespace orvane::wayland
