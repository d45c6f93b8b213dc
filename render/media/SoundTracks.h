#pragma once

// What every part of the program agrees on about a take's sound: its two
// sources, the format the movie stores them in, how the tracks are told apart
// in the file and how they are mixed. Plain header, no FFmpeg.

#include <optional>
#include <string_view>

namespace orvane {

// The two sound sources a take may record, each in a track of its own.
enum class SoundKind {
    Microphone, // the chosen (or the default) input device
    Desktop,    // what the computer plays: the default output's monitor
};

inline constexpr SoundKind kSoundKinds[] = {SoundKind::Microphone, SoundKind::Desktop};

// Sound in a take's movie, in the export and between the program's parts:
// 48 kHz, two channels, 32-bit float samples interleaved (L R L R ...) in
// memory; AAC at 160 kbit/s in files.
inline constexpr int kSoundRate = 48000;   // frames per second
inline constexpr int kSoundChannels = 2;   // samples per frame
inline constexpr int kSoundBitRate = 160000; // bits per second of each AAC track

// A track's name in the movie (the "handler_name" of its stream), which is
// how a reader knows which source a track holds, e.g. "Orvane microphone".
std::string_view soundTrackName(SoundKind kind);
// The source a track name stands for; nothing for a name of no source of ours
// (a movie from elsewhere: its first sound track is read as the microphone).
std::optional<SoundKind> soundKindOfTrackName(std::string_view name);

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
    double gain(SoundKind kind) const;

    friend bool operator==(const SoundMix&, const SoundMix&) = default;
};

} // namespace orvane
