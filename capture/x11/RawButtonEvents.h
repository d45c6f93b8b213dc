#pragma once

#include <xcb/xcb.h>

namespace orvane::x11 {

// Selects XInput 2 raw button presses on `root` for every master device (on),
// or clears that selection (off). Raw events reach the client whatever window
// has focus or a grab. Waits for the server's answer: true when accepted.
// Any thread that owns the connection.
bool selectRawButtonPresses(xcb_connection_t* conn, xcb_window_t root, bool on);

} // namespace orvane::x11
