#pragma once

#include <cstdint>

namespace orvane {

// The take's clock, which frames, clicks, cursor samples (and later sound)
// share: CLOCK_MONOTONIC. Any thread.

// Seconds.
double hostTime();
// Nanoseconds, for pacing against absolute deadlines.
std::int64_t hostNanos();
// Host seconds of a CLOCK_MONOTONIC timestamp from elsewhere (an input
// event, a PipeWire buffer).
double hostTimeOf(std::int64_t seconds, std::int64_t nanoseconds);

inline constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

} // namespace orvane
