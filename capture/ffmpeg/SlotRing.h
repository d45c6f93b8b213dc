#pragma once

#include <atomic>
#include <cstdint>

namespace orvane {

// Index bookkeeping for a fixed ring of preallocated slots shared by exactly one
// producer thread and one consumer thread, without locks. The slots themselves
// live with the owner; the ring only says which one each side may touch.
//
// Producer: `int s = ring.writable()` (-1 when full), fill slot s, `ring.publish()`.
// Consumer: `int s = ring.waitReadable(stop)`, use slot s, `ring.release()`.
// A full ring is the producer's signal to drop the frame: it never waits.
class SlotRing {
public:
    explicit SlotRing(int slotCount) : slots_(slotCount) {}

    int capacity() const { return slots_; }

    // Producer side. The slot to fill next, or -1 when every slot is in use.
    int writable() const {
        const std::uint64_t w = write_.load(std::memory_order_relaxed);
        const std::uint64_t r = read_.load(std::memory_order_acquire);
        if (w - r >= static_cast<std::uint64_t>(slots_)) {
            return -1;
        }
        return static_cast<int>(w % static_cast<std::uint64_t>(slots_));
    }
    // Producer side: hands the filled slot to the consumer and wakes it.
    void publish() {
        write_.fetch_add(1, std::memory_order_release);
        signal_.fetch_add(1, std::memory_order_release);
        signal_.notify_one();
    }

    // Consumer side. Blocks until a slot is filled and returns it, or returns -1
    // once the ring is empty and close() was called.
    int waitReadable() {
        const std::uint64_t r = read_.load(std::memory_order_relaxed);
        for (;;) {
            // Read the signal count before looking: any publish or close after
            // this point changes it, so the wait below cannot miss a wake-up.
            const std::uint32_t seen = signal_.load(std::memory_order_acquire);
            if (write_.load(std::memory_order_acquire) != r) {
                return static_cast<int>(r % static_cast<std::uint64_t>(slots_));
            }
            if (closed_.load(std::memory_order_acquire)) {
                return -1;
            }
            signal_.wait(seen, std::memory_order_acquire);
        }
    }
    // Consumer side: gives the slot returned by waitReadable() back.
    void release() { read_.fetch_add(1, std::memory_order_release); }

    // Any thread: no more slots will be published; wakes a waiting consumer,
    // which drains what is left and then sees -1.
    void close() {
        closed_.store(true, std::memory_order_release);
        signal_.fetch_add(1, std::memory_order_release);
        signal_.notify_all();
    }

private:
    const int slots_;
    std::atomic<std::uint64_t> write_{0};
    std::atomic<std::uint64_t> read_{0};
    std::atomic<bool> closed_{false};
    std::atomic<std::uint32_t> signal_{0}; // bumped by publish() and close()
};

} // namespace orvane
