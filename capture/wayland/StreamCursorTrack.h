#pragma once

// Internal to the Wayland backend: the cursor as the stream reports it.

#include <QPointF>

#include <deque>
#include <mutex>
#include <optional>

namespace orvane::wayland {

// One cursor report of the stream, on the take's clock.
struct StreamCursor {
    double hostTime = 0;  // hostTime() when the buffer carrying it was read
    bool visible = false; // false: the cursor is outside the shared area (no position)
    QPointF position;     // capture coordinates (the source's logical pixels)
    bool hand = false;    // the pointing-hand cursor is showing
};

// The recent cursor reports of a stream, shared between the PipeWire thread
// (which adds them) and the main thread (which samples the newest at 60 Hz,
// and later finds the position at a click's time). Its mutex is a leaf lock:
// nothing else is locked while it is held, and no call blocks.
class StreamCursorTrack {
public:
    // Reports older than this are dropped, seconds.
    static constexpr double kKeep = 10;

    void add(const StreamCursor& report);
    void clear();
    std::optional<StreamCursor> latest() const;
    // The position at `hostTime`, interpolated between the reports around it;
    // nothing when the cursor was not visible then or nothing is known.
    std::optional<StreamCursor> at(double hostTime) const;

private:
    mutable std::mutex mutex_;
    std::deque<StreamCursor> reports_;
};

} // namespace orvane::wayland
