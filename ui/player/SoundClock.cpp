#include "ui/player/SoundClock.h"

#include "media/SoundTracks.h"

#include <algorithm>

namespace orvane::ui {

double SoundClockReading::writtenEnd() const {
    return start + static_cast<double>(written) / kSoundRate;
}

double SoundClockReading::heard(Clock::time_point now) const {
    const double since = std::max(0.0, std::chrono::duration<double>(now - at).count());
    const double t = writtenEnd() - latency + since;
    return std::clamp(t, start, std::max(start, writtenEnd()));
}

} // namespace orvane::ui
