#include "CursorSampler.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace orvane {

CursorSampler::~CursorSampler() {
    stop();
}

void CursorSampler::start(Read read, Clock clock, double startTime, int rate, Sink sink) {
    stop();
    read_ = std::move(read);
    clock_ = std::move(clock);
    sink_ = std::move(sink);
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this, startTime, rate] { run(startTime, std::max(1, rate)); });
}

void CursorSampler::stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void CursorSampler::run(double startTime, int rate) {
    std::int64_t tick = 0;
    for (;;) {
        ++tick;
        const double now = clock_();
        double wait = startTime + static_cast<double>(tick) / rate - now;
        if (wait < -0.25) {
            // Far behind (the machine stalled): skip the missed ticks.
            tick = static_cast<std::int64_t>((now - startTime) * rate);
            wait = 0;
        }
        {
            std::unique_lock lock(mutex_);
            const auto delay = std::chrono::microseconds(
                std::llround(std::clamp(wait, 0.0, 1.0) * 1e6));
            if (wake_.wait_for(lock, delay, [this] { return stopping_; })) {
                return;
            }
        }
        if (const std::optional<CursorReading> reading = read_()) {
            sink_(*reading, clock_());
        }
    }
}

} // namespace orvane
