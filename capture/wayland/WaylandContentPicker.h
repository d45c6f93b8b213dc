#pragma once

#include "ScreenCastPortal.h"
#include "WaylandSource.h"

#include "capture/ContentPicker.h"

namespace orvane::wayland {

// The content picker on Wayland: the desktop's own screen-sharing dialog
// (the ScreenCast portal). Choosing reports a display or window whose area is
// filled in when the stream negotiates; a cancelled dialog is the picker's
// cancel, a missing or failing portal its failure. Main thread only; the
// signals are queued.
class WaylandContentPicker final : public ContentPicker {
    Q_OBJECT
public:
    explicit WaylandContentPicker(QString portalService, QObject* parent = nullptr);

    void setActive(bool active) override;
    void present() override;
    // The portal chooses: a monitor query asks for monitors only, a window
    // query for windows only. Which one is the desktop's (or the restored)
    // choice; ids and titles cannot be matched on Wayland.
    void choose(const ContentQuery& query) override;

    ScreenCastPortal& portal() { return portal_; }

private:
    void run(uint sourceTypes);

    ScreenCastPortal portal_;
    bool active_ = false;
    bool answerPending_ = false;
    // The region the command line asked for, for the monitor the desktop
    // shares (pixels of its stream); empty for all of it.
    QRect region_;
};

} // namespace orvane::wayland
