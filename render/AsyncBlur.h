#pragma once

#include <QImage>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace orvane {

// Gaussian blurs (gaussianBlur() of ImageFilter.h) made on a worker thread,
// for the preview's photograph background: a slider drag asks for a new blur
// at every step, and a wide blur of a 1600-pixel photograph takes longer than
// a display frame, so it must not run on the main thread.
//
// Only the newest request matters: a request replaces one that has not
// started yet, and the caller can tell a stale result by its serial (compare
// it with latest()). Nothing is queued beyond one waiting request, so a burst
// of requests costs at most the blur in progress plus the last one.
//
// Threads: request(), cancel(), latest() and the destructor from one owning
// thread (the main thread); `deliver` runs on the worker thread, so it must
// only hand the result over (a queued call), never touch the owner directly.
// The worker starts with the first request; the destructor waits for a blur in
// progress, then joins it.
class AsyncBlur {
public:
    // serial: the number request() returned; image: the blurred picture.
    using Delivery = std::function<void(std::uint64_t serial, QImage image)>;

    explicit AsyncBlur(Delivery deliver);
    ~AsyncBlur();
    AsyncBlur(const AsyncBlur&) = delete;
    AsyncBlur& operator=(const AsyncBlur&) = delete;

    // Asks for `image` blurred with standard deviation `sigma` pixels. Returns
    // the request's serial (increasing from 1). The image is shared, not
    // copied, until the worker blurs its own copy.
    std::uint64_t request(QImage image, double sigma);

    // Drops a waiting request and makes every serial issued so far stale (a
    // blur in progress is still delivered, with its old serial).
    void cancel();

    // The serial of the newest request (or of cancel()): results with any
    // other serial are stale.
    std::uint64_t latest() const;

    // How many blurs the worker has finished; for tests.
    std::uint64_t completed() const;

private:
    struct Request {
        std::uint64_t serial = 0;
        QImage image;
        double sigma = 0;
    };
    void run();

    Delivery deliver_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Request> waiting_;
    std::uint64_t serial_ = 0;
    std::uint64_t completed_ = 0;
    bool stopping_ = false;
    std::thread worker_; // last: started after, and joined before, the state above goes
};

} // namespace orvane
