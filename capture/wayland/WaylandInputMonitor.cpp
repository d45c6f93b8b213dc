#include "WaylandInputMonitor.h"

namespace orvane::wayland {

WaylandInputMonitor::WaylandInputMonitor(std::shared_ptr<StreamCursorTrack> cursor, QObject* parent)
    : InputMonitor(parent), cursor_(std::move(cursor)) {}

bool WaylandInputMonitor::startClicks() {
    return false;
}

void WaylandInputMonitor::stopClicks() {}

std::optional<CursorReading> WaylandInputMonitor::readCursor() {
    const auto latest = cursor_->latest();
    if (!latest || !latest->visible) {
        return std::nullopt;
    }
    return CursorReading{latest->position, latest->hand};
}

} // namespace orvane::wayland
