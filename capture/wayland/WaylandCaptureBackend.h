#pragma once

#include "capture/CaptureBackend.h"

#include <memory>
#include <vector>

namespace orvane {

namespace wayland {
class StreamCursorTrack;
class WaylandContentPicker;
class WaylandGlobalShortcut;
class WaylandInputMonitor;
class WaylandPermissionChecks;
} // namespace wayland

// The capture backend for Wayland sessions: the desktop's ScreenCast portal
// as the picker, its PipeWire stream as the screen stream, the stream's
// cursor metadata as the cursor. The capture coordinate space is the shared
// picture's own pixels. Main thread only; streams it creates belong to the
// caller.
class WaylandCaptureBackend final : public CaptureBackend {
public:
    static constexpr const char* kName = "wayland";

    struct Options {
        // The portal's bus name; tests point it elsewhere.
        QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
        // Descriptors of raw input_event records read besides /dev/input
        // (owned by the backend; tests feed clicks through a FIFO).
        std::vector<int> rawInputSources;
    };

    // A backend once the session bus and the portal answer; fails with the
    // reason otherwise.
    static Result<std::unique_ptr<WaylandCaptureBackend>> tryCreate(Options options);
    explicit WaylandCaptureBackend(Options options);
    ~WaylandCaptureBackend() override;

    const char* name() const override { return kName; }
    ContentPicker& picker() override;
    InputMonitor& input() override;
    PermissionChecks& permissions() override;

    Result<std::unique_ptr<ScreenStream>> createStream(const CaptureContent& content) override;
    // Says so when the desktop cannot send the cursor apart from the picture.
    QString captureNote() override;
    GlobalShortcut* globalShortcut() override;

private:
    Options options_;
    std::shared_ptr<wayland::StreamCursorTrack> cursor_;
    std::unique_ptr<wayland::WaylandContentPicker> picker_;
    std::unique_ptr<wayland::WaylandInputMonitor> input_;
    std::unique_ptr<wayland::WaylandPermissionChecks> permissions_;
    struct Hands;
    std::unique_ptr<Hands> hands_; // the cursor theme's hand shapes, read once
    std::unique_ptr<wayland::WaylandGlobalShortcut> shortcut_; // made when first asked for
};

} // namespace orvane
