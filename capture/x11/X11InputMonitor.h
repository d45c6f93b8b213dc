#pragma once

#include "capture/InputMonitor.h"

#include <memory>
#include <string>

namespace orvane {

// Global clicks and the cursor on X11, on a connection of its own. Positions
// are in root-window pixels (the X11 capture coordinate space).
//
// Clicks: XInput 2.2 raw button presses selected on the root window for all
// master devices, which arrive whatever window has focus and even during
// another client's grab. Raw events carry no position, so the pointer is
// queried the moment one is read. Buttons count after the pointer mapping:
// left (1) and right (3).
//
// Cursor: the position from QueryPointer; whether it is the pointing hand from
// XFixes cursor notifications, by the cursor's name, or by its shape for
// unnamed font cursors.
//
// Threads: created, controlled and destroyed on the main thread; readCursor()
// may be called on any one other thread too (the TakeRecorder samples on its own).
// The events connection is read by a thread of the monitor's own, which takes
// each press's host time as it reads it and queries the pointer there, so a
// busy main thread neither delays nor skews clicks; `clicked` is emitted on
// the main thread. The cursor is read on a second connection, so the 60 Hz
// round trips never wait behind the events.
class X11InputMonitor final : public InputMonitor {
    Q_OBJECT
public:
    // `display`: X display name; empty means the DISPLAY variable.
    explicit X11InputMonitor(std::string display = {}, QObject* parent = nullptr);
    ~X11InputMonitor() override;

    bool startClicks() override;
    void stopClicks() override;
    std::optional<CursorReading> readCursor() override;

    // Whether a press of core button `button` (after mapping) counts as a click.
    static bool countsAsClick(int logicalButton) { return logicalButton == 1 || logicalButton == 3; }

    struct State;

private:
    bool ensureConnected();  // any thread
    void disconnect();       // with the life lock held
    void wakeReader();
    void readEvents();       // the reader thread
    void drainEvents();
    void handleRawPress(int detail, double time);
    void handleCursorChange(std::uint32_t nameAtom);
    void refreshPointerMapping();

    std::string display_;
    std::unique_ptr<State> d;
};

} // namespace orvane
