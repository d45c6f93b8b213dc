#pragma once

#include <QString>

namespace orvane {

// What recording needs from the system: that the screen can be captured and
// that clicks can be observed. Each backend says in its own header what the
// two mean on its platform.
//
// Contract: main thread only. The checks may talk to the system (open a
// connection, ask a service) but must answer within a moment: the onboarding
// card asks every 1.2 s.
class PermissionChecks {
public:
    virtual ~PermissionChecks() = default;

    // Required. Whether the screen can be captured now.
    virtual bool screenCaptureAllowed() = 0;
    // Required. Whether clicks can be observed now.
    virtual bool inputObservable() = 0;
    // Required. Asks the system for input access where it can prompt (returns
    // at once where it cannot) and returns whether input can be observed now.
    virtual bool requestInputAccess() = 0;
    // Required. One line on what is missing, for the onboarding card; empty
    // when nothing is.
    virtual QString screenProblem() = 0;
    virtual QString inputProblem() = 0;
    // Optional. Whether a take may start while clicks cannot be observed.
    // Where the platform itself offers click access (X11), a take waits for
    // it; where clicks need a grant of their own (Wayland's input devices), a
    // take records its picture and cursor anyway and says afterwards why it
    // has no clicks.
    virtual bool recordsWithoutClicks() { return false; }
    // Optional. How the onboarding card names click access, and what it is
    // for. The defaults are the names of the X11 (and original) card.
    virtual QString inputTitle() { return QStringLiteral("Accessibility"); }
    virtual QString inputSubtitle() { return QStringLiteral("Read clicks and cursor to auto-zoom"); }
};

} // namespace orvane
