#pragma once

// Internal to the X11 backend: what the capture loop grabs each tick.

#include "DrawableReader.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace orvane::x11 {

struct Grab {
    enum class Status {
        Frame,  // pixels hold a new image
        Skip,   // nothing to show this tick (window unmapped); try again next tick
        Ended,  // the source is gone for good (window closed)
        Broken, // the display connection is lost
    };
    Status status = Status::Skip;
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    // Root-window position of the grabbed pixels' top-left corner (a window
    // that moves mid-take moves it).
    int rootX = 0;
    int rootY = 0;

    // The frame a successful read left in the reader, `width` x `height` pixels.
    static Grab frame(const DrawableReader& reader, int width, int height) {
        return Grab{Status::Frame, reader.pixels(), width, height, reader.stride()};
    }
};

// A display rectangle or a window, grabbed on the capture thread through the
// capture thread's own connection.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual Grab grab(DrawableReader& reader) = 0;
};

// A rectangle of the root window (a monitor), in root pixels.
class DisplaySource final : public FrameSource {
public:
    DisplaySource(xcb_window_t root, int x, int y, int w, int h)
        : root_(root), x_(x), y_(y), w_(w), h_(h) {}
    Grab grab(DrawableReader& reader) override;

private:
    xcb_window_t root_;
    int x_, y_, w_, h_;
};

} // namespace orvane::x11
