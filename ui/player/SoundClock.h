#pragma once

#include <chrono>
#include <cstdint>

namespace orvane::ui {

// The movie time of the sound being heard, worked out from what the sound
// worker saw after its latest write. A "run" is the playing from one start
// (a play, or a seek that landed while playing) to the next stop.
//
// Plain value; copied between threads under SoundPlayback's lock.
struct SoundClockReading {
    using Clock = std::chrono::steady_clock;

    std::uint64_t run = 0;    // the start() this belongs to
    double start = 0;         // movie seconds of the run's first frame
    std::int64_t written = 0; // frames written since the run started
    double latency = 0;       // seconds until the last written frame is heard, at `at`
    Clock::time_point at;     // when `latency` was read

    // Movie seconds of the frame heard at `now`: the last written frame less
    // the latency, carried on by the time passed since `at` (the speakers go
    // on playing between readings), but never past the last frame written
    // (the queue ran dry) nor before the run's first frame (nothing heard yet).
    double heard(Clock::time_point now) const;
    // Movie seconds just after the last written frame.
    double writtenEnd() const;
};

} // namespace orvane::ui
