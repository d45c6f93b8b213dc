#pragma once

#include <cstdint>

namespace orvane {

// Paces a capture loop at a fixed rate against absolute deadlines on the
// host clock: each wait() sleeps until the next deadline, so the average rate
// holds even though each pass takes a different time. A pass that runs late
// moves the next deadline rather than firing the missed ones back to back.
// One thread (the capture thread).
class FramePacer {
public:
    // `fps`: frames per second, clamped to 1...60.
    explicit FramePacer(double fps);

    // The nominal interval between frames, nanoseconds.
    std::int64_t period() const { return period_; }
    // Sleeps until the next deadline (at once when it has passed).
    void wait();

private:
    std::int64_t period_;
    std::int64_t deadline_;
};

} // namespace orvane
