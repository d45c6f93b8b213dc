#pragma once

#include "capture/CaptureContent.h"
#include "capture/CaptureSource.h"

#include <cstdint>
#include <memory>

namespace orvane {

// What the X11 backend records: a window by its id, or a monitor by its index
// in RandR's order. The area of a CaptureContent made by this backend is in
// root-window pixels (the X11 capture coordinate space), pixel scale 1.
class X11Source final : public CaptureSource {
public:
    static constexpr const char* kBackendName = "x11";

    static std::shared_ptr<const X11Source> window(std::uint32_t id) {
        return std::make_shared<const X11Source>(id, -1);
    }
    static std::shared_ptr<const X11Source> monitor(int index) {
        return std::make_shared<const X11Source>(0, index);
    }

    X11Source(std::uint32_t windowId, int monitorIndex)
        : windowId_(windowId), monitorIndex_(monitorIndex) {}

    const char* backendName() const override { return kBackendName; }

    bool isWindow() const { return windowId_ != 0; }
    std::uint32_t windowId() const { return windowId_; } // 0 for a monitor
    int monitorIndex() const { return monitorIndex_; }   // -1 for a window

    // The X11 source of `content`, or null when it has none or another
    // backend's.
    static const X11Source* of(const CaptureContent& content) {
        return dynamic_cast<const X11Source*>(content.source.get());
    }

private:
    std::uint32_t windowId_;
    int monitorIndex_;
};

// The X11 window id of `content`; 0 when it is not an X11 window.
inline std::uint32_t x11WindowId(const CaptureContent& content) {
    const X11Source* s = X11Source::of(content);
    return s != nullptr ? s->windowId() : 0;
}

} // namespace orvane
