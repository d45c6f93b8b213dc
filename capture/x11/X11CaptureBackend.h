#pragma once

#include "X11ContentPicker.h"
#include "X11InputMonitor.h"
#include "X11PermissionChecks.h"

#include "capture/CaptureBackend.h"

#include <string>

namespace orvane {

// The capture backend for X11 sessions: Orvane's picker dialog, the xcb screen
// stream (SHM, GetImage, XComposite), XInput 2.2 clicks with the XFixes cursor,
// and the FFmpeg movie writer. Main thread only; streams and writers it creates
// belong to the caller.
class X11CaptureBackend : public CaptureBackend {
public:
    // `display`: X display name; empty means the DISPLAY variable.
    explicit X11CaptureBackend(std::string display = {});

    ContentPicker& picker() override { return picker_; }
    InputMonitor& input() override { return input_; }
    PermissionChecks& permissions() override { return permissions_; }
    X11ContentPicker& x11Picker() { return picker_; }

    std::unique_ptr<ScreenStream> createStream(const CaptureContent& content,
                                               QSize pixelSize) override;
    std::unique_ptr<VideoWriter> createWriter(const QString& path, int width, int height,
                                              double startTime) override;
    std::optional<double> movieDuration(const QString& path) override;

private:
    std::string display_;
    X11ContentPicker picker_;
    X11InputMonitor input_;
    X11PermissionChecks permissions_;
};

} // namespace orvane
