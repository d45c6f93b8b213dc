#pragma once

#include "InputMonitor.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace orvane {

// Reads the cursor at a fixed rate on a thread of its own, against absolute
// deadlines (start + k / rate), so neither a busy main thread nor the reading
// itself (an X round trip) delays or skews the samples. Each reading is
// stamped with the clock as it is taken and handed to the sink on the
// sampling thread; readings that fail are skipped. A pass that falls far
// behind skips the missed deadlines rather than firing them back to back.
//
// Threads: start() and stop() on the owner's thread; `read`, `clock` and `sink`
// run on the sampling thread. The destructor stops.
class CursorSampler {
public:
    using Read = std::function<std::optional<CursorReading>()>;
    using Clock = std::function<double()>; // host seconds
    using Sink = std::function<void(const CursorReading& reading, double hostTime)>;

    CursorSampler() = default;
    ~CursorSampler();
    CursorSampler(const CursorSampler&) = delete;
    CursorSampler& operator=(const CursorSampler&) = delete;

    // Starts sampling `rate` times a second from `startTime` (host seconds);
    // stops a running sampler first.
    void start(Read read, Clock clock, double startTime, int rate, Sink sink);
    // Stops and joins: no sink call runs or will run when it returns.
    void stop();

private:
    void run(double startTime, int rate);

    Read read_;
    Clock clock_;
    Sink sink_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false; // guarded by mutex_
};

} // namespace orvane
