#pragma once

// What every part of the program agrees on about a take's sound: its two
// sources and how they are mixed (timeline/SoundMix.h, plain values the edit
// state keeps too), the format the movie stores them in and how the tracks are
// told apart in the file. Plain header, no FFmpeg.

#include "timeline/SoundMix.h"

#include <optional>
#include <string_view>

namespace orvane {

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

} // namespace orvane
