#pragma once

#include "capture/PermissionChecks.h"

#include <string>

namespace orvane {

// What X11 allows: the screen can be captured when the display opens and a
// grab of it works; input can be observed when XInput 2.2 is present and raw
// button events can be selected on the root window. There is nothing to ask
// for: X has no prompt, so the problems say what is missing ("XInput 2.2 is
// not available on this display"). Each check opens a short-lived connection
// of its own. Main thread only.
class X11PermissionChecks final : public PermissionChecks {
public:
    explicit X11PermissionChecks(std::string display = {});

    bool screenCaptureAllowed() override;
    bool inputObservable() override;
    bool requestInputAccess() override;
    QString screenProblem() override;
    QString inputProblem() override;

private:
    std::string display_;
};

} // namespace orvane
