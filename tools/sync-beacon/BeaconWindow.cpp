#include "BeaconWindow.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace orvane::beacon {

namespace {
// One round trip: when its answer is here, the server has processed every
// request sent before it.
bool roundTrip(xcb_connection_t* connection) {
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    if (reply == nullptr) {
        return false;
    }
    std::free(reply);
    return true;
}
} // namespace

std::unique_ptr<BeaconWindow> BeaconWindow::open(std::string& error) {
    std::unique_ptr<BeaconWindow> w(new BeaconWindow());
    int screenNumber = 0;
    w->connection_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(w->connection_) != 0) {
        error = "cannot open the display (is DISPLAY set?)";
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(w->connection_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    const xcb_screen_t* screen = screens.data;
    w->white_ = screen->white_pixel;
    w->black_ = screen->black_pixel;
    w->window_ = xcb_generate_id(w->connection_);
    const std::uint32_t values[] = {w->black_, 1};
    xcb_create_window(w->connection_, XCB_COPY_FROM_PARENT, w->window_, screen->root, 0, 0,
                      screen->width_in_pixels, screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(w->connection_, w->window_);
    xcb_flush(w->connection_);
    if (!roundTrip(w->connection_)) {
        error = "the display went away";
        return nullptr;
    }
    return w;
}

BeaconWindow::~BeaconWindow() {
    if (connection_ != nullptr) {
        if (window_ != 0 && xcb_connection_has_error(connection_) == 0) {
            xcb_destroy_window(connection_, window_);
            xcb_flush(connection_);
        }
        xcb_disconnect(connection_);
    }
}

bool BeaconWindow::paint(bool white) {
    const std::uint32_t pixel = white ? white_ : black_;
    xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXEL, &pixel);
    // Clearing the whole window paints it with the new background at once.
    xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
    xcb_flush(connection_);
    return roundTrip(connection_);
}

} // namespace orvane::beacon
