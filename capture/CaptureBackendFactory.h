#pragma once

#include "CaptureBackend.h"

#include "timeline/Result.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

namespace orvane {

class PickerPresenter;

// What the program knows when it picks a backend.
struct BackendRequest {
    // A backend asked for by name ("x11", "wayland"): --backend, else the
    // ORVANE_CAPTURE variable. Empty: chosen by the session.
    std::string name;
    // The display to record, for backends that can be told one (X11: a
    // display name such as ":1"). Empty: the session's own.
    std::string display;
    // Makes the list in which the user picks, for backends whose picker is
    // Orvane's own (X11: capture/x11/X11PickerDialogs.h). Null, as on a command
    // line: such a backend records only what it is told (ContentPicker::choose).
    std::function<std::unique_ptr<PickerPresenter>()> pickerDialog;
};

// Picks and opens the capture backend, from an ordered table of the backends
// this build has (the first entry is preferred when nothing else decides):
//  1. the backend named by the request, or by ORVANE_CAPTURE, and only it;
//  2. else the backend native to the session (XDG_SESSION_TYPE, then
//     WAYLAND_DISPLAY), when it opens;
//  3. else the first backend in the table that opens.
// Fails with a message that names every backend tried and why it did not
// open. Main thread; the backend belongs to the caller.
class CaptureBackendFactory {
public:
    static Result<std::unique_ptr<CaptureBackend>> open(BackendRequest request = {});
    // The names of the backends in this build, in table order.
    static QStringList builtBackends();
    // The backend native to the current session ("wayland" or "x11"), from
    // its environment; empty when it does not say.
    static std::string sessionBackend();
};

} // namespace orvane
