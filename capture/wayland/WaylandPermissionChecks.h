#pragma once

#include "capture/PermissionChecks.h"

#include <QString>

namespace orvane::wayland {

// What a Wayland session allows: the screen can be captured when the
// ScreenCast portal answers (and, for a single question per source, offers
// restore tokens: version 4 or later). Clicks can be observed when at least
// one pointing device in /dev/input can be read (on most distributions:
// membership of the `input` group). There is nothing to prompt for: the
// problem text says how to allow it. Main thread only; each check asks anew.
class WaylandPermissionChecks final : public PermissionChecks {
public:
    // `rawSources`: the monitor reads sources besides the devices (tests).
    WaylandPermissionChecks(QString portalService, bool rawSources);

    bool screenCaptureAllowed() override;
    bool inputObservable() override;
    bool requestInputAccess() override;
    QString screenProblem() override;
    QString inputProblem() override;
    // A take records its picture and cursor without click access.
    bool recordsWithoutClicks() override { return true; }
    QString inputTitle() override { return QStringLiteral("Mouse Clicks"); }
    QString inputSubtitle() override { return QStringLiteral("Read mouse buttons to auto-zoom"); }

private:
    QString portalService_;
    bool rawSources_;
};

} // namespace orvane::wayland
