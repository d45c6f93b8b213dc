#include "HostClock.h"

#include <ctime>

namespace orvane {

std::int64_t hostNanos() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

double hostTime() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return hostTimeOf(ts.tv_sec, ts.tv_nsec);
}

double hostTimeOf(std::int64_t seconds, std::int64_t nanoseconds) {
    return static_cast<double>(seconds) + static_cast<double>(nanoseconds) * 1e-9;
}

} // namespace orvane
