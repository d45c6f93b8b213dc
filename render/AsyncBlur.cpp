#include "render/AsyncBlur.h"

#include "render/ImageFilter.h"

namespace orvane {

AsyncBlur::AsyncBlur(Delivery deliver) : deliver_(std::move(deliver)) {}

AsyncBlur::~AsyncBlur() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_.reset();
    }
    wake_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

std::uint64_t AsyncBlur::request(QImage image, double sigma) {
    std::uint64_t serial = 0;
    {
        const std::lock_guard lock(mutex_);
        serial = ++serial_;
        waiting_ = Request{serial, std::move(image), sigma};
        if (!worker_.joinable()) {
            worker_ = std::thread([this] { run(); });
        }
    }
    wake_.notify_one();
    return serial;
}

void AsyncBlur::cancel() {
    const std::lock_guard lock(mutex_);
    ++serial_;
    waiting_.reset();
}

std::uint64_t AsyncBlur::latest() const {
    const std::lock_guard lock(mutex_);
    return serial_;
}

std::uint64_t AsyncBlur::completed() const {
    const std::lock_guard lock(mutex_);
    return completed_;
}

void AsyncBlur::run() {
    for (;;) {
        Request job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || waiting_.has_value(); });
            if (stopping_) {
                return;
            }
            job = std::move(*waiting_);
            waiting_.reset();
        }
        // The caller may still hold the picture: blurring writes to it, which
        // detaches this copy first, so theirs is left alone. A format the
        // filter refuses is delivered unblurred.
        gaussianBlur(job.image, job.sigma);
        {
            const std::lock_guard lock(mutex_);
            ++completed_;
            // Superseded while it was made: nobody wants it.
            if (job.serial != serial_) {
                continue;
            }
        }
        deliver_(job.serial, std::move(job.image));
    }
}

} // namespace orvane
