#pragma once

// The sync beacon's picture: a full-screen window that is black, or white.

#include <memory>
#include <string>

struct xcb_connection_t;

namespace orvane::beacon {

// An override-redirect window over the whole root window of $DISPLAY, black
// when made. Main thread only.
class BeaconWindow {
public:
    // Nothing (and `error` says why) when there is no display.
    static std::unique_ptr<BeaconWindow> open(std::string& error);
    ~BeaconWindow();
    BeaconWindow(const BeaconWindow&) = delete;
    BeaconWindow& operator=(const BeaconWindow&) = delete;

    // Paints the window white or black and returns once the X server has
    // processed the paint (a round trip after the flush), so a grab after
    // this returns sees the new colour. False when the connection is lost.
    bool paint(bool white);

private:
    BeaconWindow() = default;
    xcb_connection_t* connection_ = nullptr;
    unsigned window_ = 0;
    unsigned white_ = 0;
    unsigned black_ = 0;
};

} // namespace orvane::beacon
