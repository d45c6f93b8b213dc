#include "SoundClock.h"

#include "media/SoundTracks.h"

#include <cmath>

namespace orvane {

SoundClock::SoundClock(double lagThreshold) : lagThreshold_(lagThreshold) {}

double SoundClock::timeOfFrame(std::int64_t index) const {
    // Whole seconds and the remaining frames apart, so that an hour of frames
    // (1.7e8) adds no rounding beyond one division of a small number.
    const std::int64_t seconds = index / kSoundRate;
    const std::int64_t rest = index % kSoundRate;
    return anchor_ + static_cast<double>(seconds) + static_cast<double>(rest) / kSoundRate;
}

SoundPlacement SoundClock::place(std::int64_t frames, double arrival, double latency) {
    SoundPlacement placement;
    if (!anchored_) {
        // When the block's first frame was really captured, by the server's word.
        const double capturedAt = arrival - latency - static_cast<double>(frames) / kSoundRate;
        anchored_ = true;
        overrun_ = false;
        anchor_ = capturedAt;
        placement.silenceAt = anchor_;
        placement.blockAt = anchor_;
        delivered_ = frames;
        return placement;
    }
    const double expected = timeOfFrame(delivered_);
    const double lag = lagOf(frames, arrival, latency);
    const double threshold = fillThreshold();
    overrun_ = false;
    if (lag > threshold) {
        placement.silenceFrames = std::llround(lag * kSoundRate);
    }
    placement.silenceAt = expected;
    delivered_ += placement.silenceFrames;
    silence_ += placement.silenceFrames;
    placement.blockAt = timeOfFrame(delivered_);
    delivered_ += frames;
    return placement;
}

double SoundClock::lagOf(std::int64_t frames, double arrival, double latency) const {
    if (!anchored_) {
        return 0.0;
    }
    return arrival - latency - static_cast<double>(frames) / kSoundRate - timeOfFrame(delivered_);
}

void SoundClock::noteOverrun() {
    overrun_ = true;
}

} // namespace orvane
