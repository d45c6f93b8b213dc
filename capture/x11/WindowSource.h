#pragma once

// Internal to the X11 backend: one window through XComposite.

#include "FrameSource.h"

#include "timeline/Result.h"

#include <memory>

namespace orvane::x11 {

// Records one window's own contents, even where other windows cover it: the
// window is redirected to off-screen storage (automatic redirection, so the
// screen still shows it as before) and its backing pixmap is read each tick.
// The pixmap is named again whenever the window is resized or mapped again;
// while the window is unmapped ticks are skipped; a destroyed window ends the
// source. Capture thread only, on the capture thread's connection.
class WindowSource final : public FrameSource {
public:
    // Fails when XComposite is missing or the window does not exist; what was
    // set up on the server by then is undone.
    static Result<std::unique_ptr<WindowSource>> tryCreate(const Connection& conn,
                                                           xcb_window_t window);
    ~WindowSource() override;
    Grab grab(DrawableReader& reader) override;

private:
    WindowSource(xcb_connection_t* conn, xcb_window_t window) : conn_(conn), window_(window) {}
    void handleEvents();
    bool nameContents(); // (re)names the backing pixmap; false when not viewable
    void releaseContents();
    void findOrigin(); // where the window's inside is on the root window now

    xcb_connection_t* conn_;
    xcb_window_t window_;
    std::uint32_t pixmap_ = 0;
    int width_ = 0;
    int height_ = 0;
    int border_ = 0;
    bool destroyed_ = false;
    bool needsName_ = true;
    bool needsOrigin_ = true;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    int rootX_ = 0;
    int rootY_ = 0;
};

} // namespace orvane::x11
