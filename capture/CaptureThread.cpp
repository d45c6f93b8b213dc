#include "CaptureThread.h"

namespace orvane {

CaptureThread::~CaptureThread() {
    stop();
}

void CaptureThread::start(FrameSink sink, EndSink onEnd, std::function<void()> loop) {
    sink_ = std::move(sink);
    onEnd_ = std::move(onEnd);
    stopRequested_ = false;
    end_ = StreamEnd::Running;
    started_ = true;
    thread_ = std::thread(std::move(loop));
}

void CaptureThread::stop() {
    stopRequested_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (started_ && end_.load() == StreamEnd::Running) {
        end_ = StreamEnd::Stopped;
    }
}

void CaptureThread::deliver(const VideoFrame& frame) {
    sink_(frame);
    delivered_.fetch_add(1, std::memory_order_relaxed);
}

void CaptureThread::endBy(StreamEnd reason) {
    end_ = reason;
    if (onEnd_) {
        onEnd_(reason);
    }
}

} // namespace orvane
