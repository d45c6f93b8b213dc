#pragma once

#include <memory>

namespace orvane {

// What a capture backend needs to find a chosen display or window again: an
// X11 window id or monitor index, a portal session with its PipeWire node.
// Each backend subclasses it; nothing outside that backend looks inside. The
// handle is shared by every copy of the CaptureContent that carries it and is
// released when the last owner lets go, so a source that holds a live
// resource (a portal session) closes itself then. Immutable once made: any
// thread may hold a reference, but only the backend's own threads use it.
class CaptureSource {
public:
    virtual ~CaptureSource() = default;
    CaptureSource() = default;
    CaptureSource(const CaptureSource&) = delete;
    CaptureSource& operator=(const CaptureSource&) = delete;

    // The name of the backend that made it ("x11"), so that a backend can
    // refuse a source that is not its own.
    virtual const char* backendName() const = 0;
};

using CaptureSourcePtr = std::shared_ptr<const CaptureSource>;

} // namespace orvane
