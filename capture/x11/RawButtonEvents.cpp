#include "RawButtonEvents.h"

#include "XcbHandles.h"

#include <xcb/xinput.h>

#include <cstdint>

namespace orvane::x11 {

bool selectRawButtonPresses(xcb_connection_t* conn, xcb_window_t root, bool on) {
    // One mask word follows the header, as the request expects.
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{};
    mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.head.mask_len = 1;
    mask.bits = on ? XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS : 0;
    ErrorTrap trap(conn);
    return trap.check(xcb_input_xi_select_events_checked(conn, root, 1, &mask.head));
}

} // namespace orvane::x11
