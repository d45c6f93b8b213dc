#pragma once

#include "X11ContentPicker.h"
#include "X11InputMonitor.h"
#include "X11GlobalShortcut.h"
#include "X11PermissionChecks.h"

#include "capture/CaptureBackend.h"

#include <memory>
#include <string>

namespace orvane {

namespace x11 {
class Connection;
}

// The capture backend for X11 sessions: Orvane's picker dialog, the xcb screen
// stream (SHM, GetImage, XComposite), XInput 2.2 clicks with the XFixes cursor.
// The capture coordinate space is the root window's, in pixels. Main thread
// only; streams it creates belong to the caller.
class X11CaptureBackend : public CaptureBackend {
public:
    static constexpr const char* kName = "x11";

    // A backend for `display` (empty: the DISPLAY variable) once the display
    // answers; fails with NotFound when it cannot be reached.
    static Result<std::unique_ptr<X11CaptureBackend>> tryCreate(std::string display = {});
    // `display`: X display name; empty means the DISPLAY variable. Connects
    // lazily: nothing here fails.
    explicit X11CaptureBackend(std::string display = {});
    ~X11CaptureBackend() override;

    const char* name() const override { return kName; }
    ContentPicker& picker() override { return picker_; }
    InputMonitor& input() override { return input_; }
    PermissionChecks& permissions() override { return permissions_; }
    X11ContentPicker& x11Picker() { return picker_; }

    Result<std::unique_ptr<ScreenStream>> createStream(const CaptureContent& content) override;
    GlobalShortcut* globalShortcut() override;

private:
    X11CaptureBackend(std::string display, std::unique_ptr<x11::Connection> anchor);

    std::string display_;
    // A connection held for the backend's whole life: the program's own short
    // connections (checks, pickers, streams) then never leave the server
    // without a client of ours, so a server that resets when its last client
    // leaves cannot reset under a take and drop its click selection.
    std::unique_ptr<x11::Connection> anchor_;
    X11ContentPicker picker_;
    X11InputMonitor input_;
    X11PermissionChecks permissions_;
    std::unique_ptr<X11GlobalShortcut> shortcut_; // made when first asked for
};

} // namespace orvane
