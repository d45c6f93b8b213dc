#include "SharedTrack.h"

namespace orvane {

const std::vector<CursorSample>& SharedTrack::samples() const {
    static const std::vector<CursorSample> kEmpty;
    return samples_ ? *samples_ : kEmpty;
}

std::vector<CursorSample>& SharedTrack::ownBuffer() {
    if (!samples_) {
        samples_ = std::make_shared<std::vector<CursorSample>>();
    } else if (samples_.use_count() > 1) {
        // Another copy reads this buffer: write to a private one instead.
        samples_ = std::make_shared<std::vector<CursorSample>>(*samples_);
    }
    return *samples_;
}

void SharedTrack::push_back(const CursorSample& s) {
    ownBuffer().push_back(s);
}

void SharedTrack::reserve(std::size_t n) {
    ownBuffer().reserve(n);
}

} // namespace orvane
