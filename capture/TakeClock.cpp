#include "TakeClock.h"

namespace orvane {

namespace {
constexpr double kRunning = std::numeric_limits<double>::infinity();
} // namespace

void TakeClock::reset(double startHost) {
    std::lock_guard lock(mutex_);
    start_ = startHost;
    pauses_.clear();
}

bool TakeClock::pause(double atHost) {
    std::lock_guard lock(mutex_);
    if (!pauses_.empty() && pauses_.back().to == kRunning) {
        return false;
    }
    // Never before the start nor into the previous pause: the spans stay in
    // order, so take time never runs backwards.
    double from = std::max(atHost, start_);
    if (!pauses_.empty()) {
        from = std::max(from, pauses_.back().to);
    }
    pauses_.push_back({from, kRunning});
    return true;
}

bool TakeClock::resume(double atHost) {
    std::lock_guard lock(mutex_);
    if (pauses_.empty() || pauses_.back().to != kRunning) {
        return false;
    }
    pauses_.back().to = std::max(atHost, pauses_.back().from);
    return true;
}

double TakeClock::startHost() const {
    std::lock_guard lock(mutex_);
    return start_;
}

bool TakeClock::paused() const {
    std::lock_guard lock(mutex_);
    return !pauses_.empty() && pauses_.back().to == kRunning;
}

int TakeClock::pauseCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(pauses_.size());
}

double TakeClock::pausedBefore(double host) const {
    std::lock_guard lock(mutex_);
    double paused = 0;
    for (const Pause& p : pauses_) {
        if (p.from >= host) {
            break;
        }
        paused += std::min(p.to, host) - p.from;
    }
    return paused;
}

std::optional<double> TakeClock::takeTimeLocked(double host) const {
    double paused = 0;
    for (const Pause& p : pauses_) {
        if (host < p.from) {
            break;
        }
        if (host < p.to) {
            return std::nullopt;
        }
        paused += p.to - p.from;
    }
    return host - start_ - paused;
}

std::optional<double> TakeClock::takeTimeOf(double host) const {
    std::lock_guard lock(mutex_);
    return takeTimeLocked(host);
}

double TakeClock::takeTimeAt(double host) const {
    std::lock_guard lock(mutex_);
    double paused = 0;
    for (const Pause& p : pauses_) {
        if (host < p.from) {
            break;
        }
        if (host < p.to) {
            return p.from - start_ - paused; // where the pause began
        }
        paused += p.to - p.from;
    }
    return host - start_ - paused;
}

} // namespace orvane
