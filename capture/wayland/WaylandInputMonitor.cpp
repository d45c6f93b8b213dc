#include "WaylandInputMonitor.h"

#include "capture/HostClock.h"

#include <fcntl.h>
#include <unistd.h>

namespace orvane::wayland {

namespace {
// How long a press waits for a cursor report after it before the newest one
// is taken as the position (a still pointer sends nothing new).
constexpr double kCursorWait = 0.1;
} // namespace

WaylandInputMonitor::WaylandInputMonitor(std::shared_ptr<StreamCursorTrack> cursor,
                                         std::vector<int> rawSources, QObject* parent)
    : InputMonitor(parent), cursor_(std::move(cursor)), rawSources_(std::move(rawSources)) {
    resolver_.setInterval(10);
    connect(&resolver_, &QTimer::timeout, this, &WaylandInputMonitor::resolvePresses);
}

WaylandInputMonitor::~WaylandInputMonitor() {
    stopClicks();
    for (int fd : rawSources_) {
        ::close(fd);
    }
}

bool WaylandInputMonitor::startClicks() {
    stopClicks();
    reader_ = std::make_unique<ClickReader>();
    for (int fd : rawSources_) {
        // Each take reads the raw sources afresh; the monitor keeps its own.
        const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (copy >= 0) {
            reader_->addRawSource(copy);
        }
    }
    const bool started = reader_->start([this](double t, ClickReader::Button) {
        QMetaObject::invokeMethod(this, [this, t] { pressRead(t); }, Qt::QueuedConnection);
    });
    if (!started) {
        reader_.reset();
        return false;
    }
    resolver_.start();
    return true;
}

void WaylandInputMonitor::stopClicks() {
    if (reader_) {
        reader_->stop();
        reader_.reset();
    }
    resolver_.stop();
    // Presses read before the stop still count.
    resolvePresses();
    pending_.clear();
}

std::optional<CursorReading> WaylandInputMonitor::readCursor() {
    const auto latest = cursor_->latest();
    if (!latest || !latest->visible) {
        return std::nullopt;
    }
    return CursorReading{latest->position, latest->hand};
}

void WaylandInputMonitor::pressRead(double hostTime) {
    pending_.push_back(hostTime);
    resolvePresses();
}

void WaylandInputMonitor::resolvePresses() {
    const double now = hostTime();
    while (!pending_.empty()) {
        const double t = pending_.front();
        const auto latest = cursor_->latest();
        const bool reportAfter = latest && latest->hostTime >= t;
        if (!reportAfter && now - t < kCursorWait && resolver_.isActive()) {
            return; // wait for the stream's next word on the cursor
        }
        pending_.pop_front();
        if (const auto at = cursor_->at(t); at && at->visible) {
            emit clicked(at->position, t);
        }
    }
}

} // namespace orvane::wayland
