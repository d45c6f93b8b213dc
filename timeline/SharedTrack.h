#pragma once

#include "CursorSample.h"

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <vector>

namespace orvane {

// A list of cursor samples whose storage is shared between copies. A one-hour
// take holds 216,000 samples (about 7 MB); the timeline is copied into the
// preview and into every export after each edit, and those copies must not copy
// the samples with it. Copies share one read-only buffer; the only mutation,
// push_back, first takes a private copy when the buffer is shared, so no copy
// ever sees another change. No reference into the buffer is ever handed out
// for writing, which keeps the sharing invisible.
//
// Threads: a const SharedTrack may be read from any number of threads at once,
// and different copies may be used on different threads freely (the reference
// count is atomic). One instance must not be assigned or appended to while
// another thread reads that same instance.
class SharedTrack {
public:
    using value_type = CursorSample;
    using const_iterator = std::vector<CursorSample>::const_iterator;

    SharedTrack() = default;
    // Takes the samples over (implicit, so that a vector may be assigned).
    SharedTrack(std::vector<CursorSample> samples) // NOLINT(google-explicit-constructor)
        : samples_(std::make_shared<std::vector<CursorSample>>(std::move(samples))) {}
    SharedTrack(std::initializer_list<CursorSample> samples) // NOLINT(google-explicit-constructor)
        : SharedTrack(std::vector<CursorSample>(samples)) {}

    bool empty() const { return size() == 0; }
    std::size_t size() const { return samples_ ? samples_->size() : 0; }
    const CursorSample& operator[](std::size_t i) const { return (*samples_)[i]; }
    const CursorSample& front() const { return samples_->front(); }
    const CursorSample& back() const { return samples_->back(); }
    const_iterator begin() const { return samples().begin(); }
    const_iterator end() const { return samples().end(); }
    const std::vector<CursorSample>& samples() const;

    // Appends one sample; copies the buffer first when another copy shares it.
    void push_back(const CursorSample& s);
    void reserve(std::size_t n);
    void clear() { samples_.reset(); }

    // Whether two tracks share one buffer (an empty track shares nothing).
    bool sharesWith(const SharedTrack& other) const {
        return samples_ != nullptr && samples_ == other.samples_;
    }

    friend bool operator==(const SharedTrack& a, const SharedTrack& b) {
        return a.samples_ == b.samples_ || a.samples() == b.samples();
    }

private:
    std::vector<CursorSample>& ownBuffer();

    // Null when empty. Never written through while shared (see ownBuffer).
    std::shared_ptr<std::vector<CursorSample>> samples_;
};

} // namespace orvane
