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
// Main thread only. Events are read when the connection's socket becomes
// readable (a QSocketNotifier) and after every round trip, so `clicked` is
// emitted on the main thread from the event loop, with the host time at which
// the raw event was read.
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
    bool ensureConnected();
    void drainEvents();
    void handleRawPress(int detail, double time);
    void handleCursorChange(std::uint32_t nameAtom);
    void refreshPointerMapping();
    void disconnect();

    std::string display_;
    std::unique_ptr<State> d;
};

} // namespace orvane
