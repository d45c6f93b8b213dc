#include "SoundTracks.h"

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

} // namespace orvane
