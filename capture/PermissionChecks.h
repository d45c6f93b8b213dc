#pragma once

#include <QString>

namespace orvane {

// What recording needs from the system. On X11: the screen can be captured when
// the display opens and a grab works; input can be observed when XInput 2.2 is
// present and raw button events can be selected. Main thread only.
class PermissionChecks {
public:
    virtual ~PermissionChecks() = default;

    virtual bool screenCaptureAllowed() = 0;
    virtual bool inputObservable() = 0;
    // Asks the system for input access where it can prompt (X11 cannot) and
    // returns whether input can be observed now.
    virtual bool requestInputAccess() = 0;
    // One line on what is missing, for the onboarding card ("XInput 2.2 is not
    // available on this display"); empty when nothing is.
    virtual QString screenProblem() = 0;
    virtual QString inputProblem() = 0;
};

} // namespace orvane
