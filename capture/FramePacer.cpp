#include "FramePacer.h"

#include "HostClock.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>

namespace orvane {

namespace {

void sleepUntilNanos(std::int64_t deadline) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(deadline / kNanosPerSecond);
    ts.tv_nsec = static_cast<long>(deadline % kNanosPerSecond);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

} // namespace

FramePacer::FramePacer(double fps)
    : period_(static_cast<std::int64_t>(
          std::llround(static_cast<double>(kNanosPerSecond) / std::clamp(fps, 1.0, 60.0)))),
      deadline_(hostNanos()) {}

void FramePacer::wait() {
    deadline_ += period_;
    const std::int64_t now = hostNanos();
    if (deadline_ < now - period_) {
        // More than a frame behind (a slow grab, a busy machine): start a
        // fresh schedule from now instead of firing the missed ticks back to
        // back.
        deadline_ = now;
    }
    sleepUntilNanos(deadline_);
}

} // namespace orvane
