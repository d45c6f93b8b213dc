#include "SoundTracks.h"

#include <algorithm>
#include <cmath>

namespace orvane {

std::string_view soundTrackName(SoundKind kind) {
    return kind == SoundKind::Microphone ? "Orvane microphone" : "Orvane desktop sound";
}

std::optional<SoundKind> soundKindOfTrackName(std::string_view name) {
    for (SoundKind kind : kSoundKinds) {
        if (name == soundTrackName(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

double SoundMix::gain(SoundKind kind) const {
    const double v = volume(kind);
    if (muted(kind) || !std::isfinite(v)) {
        return 0.0;
    }
    return std::clamp(v, 0.0, kMaxVolume);
}

} // namespace orvane
