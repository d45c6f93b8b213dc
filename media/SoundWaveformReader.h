#pragma once

#include "timeline/Result.h"
#include "timeline/SoundWaveform.h"

#include <atomic>
#include <string>

namespace orvane {

// Reads the outline of a movie's sound: every sound track decoded once from
// start to end, a second at a time, keeping the peak of each bucket. A movie
// without sound gives an empty waveform. Decoding a long take takes a while
// (a one-hour take is minutes of sound to decode), so this blocks: call it on
// a worker thread, never the main thread. Setting `*cancel` (may be null)
// stops it between seconds with ErrorKind::Cancelled. Fails only when the
// movie cannot be opened; a track cut off mid-way reads as silence from there.
Result<SoundWaveform> readSoundWaveform(const std::string& path,
                                        const std::atomic<bool>* cancel = nullptr);

} // namespace orvane
