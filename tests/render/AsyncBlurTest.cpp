// The background blur made off the calling thread: the result is the blur the
// filter makes in place, and a burst of requests ends in the newest one.
#include "RenderTestSupport.h"
#include "render/AsyncBlur.h"
#include "render/ImageFilter.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

using namespace orvane;
using namespace orvane::test;

namespace {

// What the worker delivered, for the test thread to wait on.
struct Inbox {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::pair<std::uint64_t, QImage>> results;

    AsyncBlur::Delivery delivery() {
        return [this](std::uint64_t serial, QImage image) {
            const std::lock_guard lock(mutex);
            results.emplace_back(serial, std::move(image));
            arrived.notify_all();
        };
    }
    // Waits until a result with `serial` is in, at most five seconds.
    bool waitFor(std::uint64_t serial) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(5), [&] {
            for (const auto& r : results) {
                if (r.first == serial) {
                    return true;
                }
            }
            return false;
        });
    }
};

} // namespace

TEST(AsyncBlur, DeliversTheSameBlurAsTheFilterAndLeavesTheRequestAlone) {
    Inbox inbox;
    AsyncBlur blur(inbox.delivery());
    const QImage photo = makeScreen(400, 250);
    const QImage untouched = photo.copy();
    const std::uint64_t serial = blur.request(photo, 12.0);
    EXPECT_EQ(serial, 1u);
    EXPECT_EQ(blur.latest(), serial);
    ASSERT_TRUE(inbox.waitFor(serial));

    QImage expected = photo.copy();
    ASSERT_TRUE(gaussianBlur(expected, 12.0));
    const std::lock_guard lock(inbox.mutex);
    ASSERT_EQ(inbox.results.size(), 1u);
    const QImage& got = inbox.results[0].second;
    ASSERT_EQ(got.size(), expected.size());
    const PictureDiff d = comparePictures(got, expected, 0);
    EXPECT_EQ(d.maxChannelError, 0);
    EXPECT_EQ(d.differing, 0);
    EXPECT_GT(comparePictures(got, photo, 2).differing, 1000); // it is blurred
    EXPECT_EQ(photo, untouched); // the caller's picture is not written to
}

TEST(AsyncBlur, ABurstOfRequestsEndsInTheNewestAndSkipsMostOfTheRest) {
    Inbox inbox;
    AsyncBlur blur(inbox.delivery());
    const QImage photo = makeScreen(1600, 1000);
    std::uint64_t last = 0;
    for (int i = 1; i <= 12; ++i) {
        last = blur.request(photo, 2.0 * i); // a slider drag, step by step
    }
    ASSERT_TRUE(inbox.waitFor(last));
    QImage expected = photo.copy();
    ASSERT_TRUE(gaussianBlur(expected, 24.0));
    const std::lock_guard lock(inbox.mutex);
    // Only the newest request, and perhaps one that had started before it
    // came, are delivered; in request order.
    ASSERT_FALSE(inbox.results.empty());
    EXPECT_LT(inbox.results.size(), 12u);
    EXPECT_EQ(inbox.results.back().first, last);
    for (std::size_t i = 1; i < inbox.results.size(); ++i) {
        EXPECT_LT(inbox.results[i - 1].first, inbox.results[i].first);
    }
    EXPECT_LT(blur.completed(), 12u);
    EXPECT_EQ(comparePictures(inbox.results.back().second, expected, 0).differing, 0);
}

TEST(AsyncBlur, CancelledRequestsAreNeverHandedOver) {
    Inbox inbox;
    std::uint64_t first = 0;
    {
        AsyncBlur blur(inbox.delivery());
        first = blur.request(makeScreen(800, 500), 30.0);
        blur.cancel();
        EXPECT_GT(blur.latest(), first);
        blur.request(makeScreen(64, 40), 3.0);
    } // joins the worker, whatever it was doing
    const std::lock_guard lock(inbox.mutex);
    EXPECT_LE(inbox.results.size(), 1u);
    for (const auto& r : inbox.results) {
        EXPECT_NE(r.first, first); // the cancelled one is never handed over
    }
}
