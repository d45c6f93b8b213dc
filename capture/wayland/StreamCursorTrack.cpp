#include "StreamCursorTrack.h"

namespace orvane::wayland {

void StreamCursorTrack::add(const StreamCursor& report) {
    std::lock_guard lock(mutex_);
    reports_.push_back(report);
    while (!reports_.empty() && reports_.front().hostTime < report.hostTime - kKeep) {
        reports_.pop_front();
    }
}

void StreamCursorTrack::clear() {
    std::lock_guard lock(mutex_);
    reports_.clear();
}

std::optional<StreamCursor> StreamCursorTrack::latest() const {
    std::lock_guard lock(mutex_);
    if (reports_.empty()) {
        return std::nullopt;
    }
    return reports_.back();
}

std::optional<StreamCursor> StreamCursorTrack::at(double hostTime) const {
    std::lock_guard lock(mutex_);
    if (reports_.empty()) {
        return std::nullopt;
    }
    // The last report at or before the time, and the first after it.
    auto after = reports_.begin();
    while (after != reports_.end() && after->hostTime <= hostTime) {
        ++after;
    }
    if (after == reports_.begin()) {
        return after->visible ? std::optional(*after) : std::nullopt;
    }
    const StreamCursor& before = *std::prev(after);
    if (!before.visible) {
        return std::nullopt;
    }
    if (after == reports_.end() || !after->visible || after->hostTime <= before.hostTime) {
        return before;
    }
    const double f = (hostTime - before.hostTime) / (after->hostTime - before.hostTime);
    StreamCursor out = before;
    out.hostTime = hostTime;
    out.position = before.position + (after->position - before.position) * f;
    return out;
}

} // namespace orvane::wayland
