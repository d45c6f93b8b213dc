#pragma once

#include "ScreenStream.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace orvane {

// The thread of a screen stream and the stream's end protocol, shared by the
// backends: start() runs the stream's loop on a thread of its own with the
// sinks it was given; the loop hands frames on through deliver() until
// stopRequested(), or ends the stream with endBy(); stop() asks the loop to
// return and joins it. end() is Running until then, Stopped after a stop of a
// started stream, or the reason the loop gave.
//
// start(), stop() and the owner's destruction on one thread (the main
// thread); deliver(), endBy() and stopRequested() on the loop's thread; the
// counters on any thread.
class CaptureThread {
public:
    CaptureThread() = default;
    ~CaptureThread(); // stops
    CaptureThread(const CaptureThread&) = delete;
    CaptureThread& operator=(const CaptureThread&) = delete;

    bool running() const { return thread_.joinable(); }
    void start(FrameSink sink, EndSink onEnd, std::function<void()> loop);
    void stop();

    bool stopRequested() const { return stopRequested_.load(std::memory_order_relaxed); }
    void deliver(const VideoFrame& frame);
    // Ends the stream by itself: end() says why and the end sink is told once.
    void endBy(StreamEnd reason);

    StreamEnd end() const { return end_.load(); }
    std::int64_t delivered() const { return delivered_.load(); }

private:
    FrameSink sink_;
    EndSink onEnd_;
    std::thread thread_;
    bool started_ = false;
    std::atomic<bool> stopRequested_{false};
    std::atomic<StreamEnd> end_{StreamEnd::Running};
    std::atomic<std::int64_t> delivered_{0};
};

} // namespace orvane
