#pragma once

// The take's two sound sources and how they are mixed, as plain values: the
// edit state keeps the mix (so a volume change is undoable) and the preview
// and the export are handed it inside the look. Formats and track names are
// in media/SoundTracks.h.

#include <algorithm>
#include <cmath>

namespace orvane {

// The two sound sources a take may record, each in a track of its own.
enum class SoundKind {
    Microphone, // the chosen (or the default) input device
    Desktop,    // what the computer plays: the default output's monitor
};

inline constexpr SoundKind kSoundKinds[] = {SoundKind::Microphone, SoundKind::Desktop};

// How the sources are mixed for the preview and the export. Volumes are gains
// (1 = as recorded, 0...2); a muted source is left out whatever its volume.
struct SoundMix {
    double microphoneVolume = 1.0;
    double desktopVolume = 1.0;
    bool microphoneMuted = false;
    bool desktopMuted = false;

    static constexpr double kMaxVolume = 2.0;

    double volume(SoundKind kind) const {
        return kind == SoundKind::Microphone ? microphoneVolume : desktopVolume;
    }
    bool muted(SoundKind kind) const {
        return kind == SoundKind::Microphone ? microphoneMuted : desktopMuted;
    }
    // The gain a source is mixed at: 0 when muted, its volume clamped to
    // 0...kMaxVolume otherwise.
    double gain(SoundKind kind) const {
        const double v = volume(kind);
        if (muted(kind) || !std::isfinite(v)) {
            return 0.0;
        }
        return std::clamp(v, 0.0, kMaxVolume);
    }

    friend bool operator==(const SoundMix&, const SoundMix&) = default;
};

} // namespace orvane
