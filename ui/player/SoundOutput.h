#pragma once

#include "timeline/Result.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace orvane::ui {

// Where the player's sound goes: a playback stream of kSoundRate stereo float
// frames (interleaved L R, see media/SoundTracks.h) to the user's
// speakers, with a short queue in front of them.
//
// The player's clock is built on two numbers from here: how many frames were
// written, and latency(), the time until the last written frame is heard.
//
// Threads: one thread at a time (SoundPlayback's worker makes, uses and
// destroys it). No call waits for longer than it says: a sound server that
// stops answering makes write() return 0 frames, never a hang.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;

    // Queues up to `frames` frames, waiting at most `wait` for room in the
    // queue. Returns how many frames were taken (0 when there was no room in
    // time), or an Error once the output is gone for good (the server went
    // away); every later call fails as well.
    virtual Result<int> write(const float* samples, int frames, std::chrono::milliseconds wait) = 0;
    // Drops every queued frame that was not heard yet, so the next frame
    // written is the next one heard.
    virtual void flush() = 0;
    // Holds (true) or resumes (false) playing what is queued; a new output
    // starts held.
    virtual void setPaused(bool paused) = 0;
    // Seconds from now until the last frame written so far is heard: the queue
    // plus the device's own delay. Nothing while the output cannot say (just
    // after a flush, until the server has reported again).
    virtual std::optional<double> latency() = 0;
};

// Makes the output the player plays through. Runs on SoundPlayback's worker
// thread; an Error says why there is no sound (no server, no device).
using SoundOutputFactory = std::function<Result<std::unique_ptr<SoundOutput>>()>;

} // namespace orvane::ui
