#pragma once

// Turns what a sound source learns about each buffer it receives into times on
// the take's clock (hostTime(), seconds). Pure logic, no sound server: the
// pulse backend feeds it, the tests drive it with made-up arrivals.

#include <cstdint>

namespace orvane {

// Where a block of frames goes on the take's clock, and how much silence
// must come before it so the sound stays on the clock.
struct SoundPlacement {
    // Frames of silence to deliver first (0 mostly), starting at silenceAt.
    std::int64_t silenceFrames = 0;
    double silenceAt = 0.0; // host seconds
    // Host seconds of the block's first frame (= silenceAt + silenceFrames /
    // kSoundRate when there is silence).
    double blockAt = 0.0;
};

// The clock of one sound stream. The first block anchors it: its first frame
// was captured at (arrival - latency - its own length). Every later block is
// stamped anchor + framesSoFar / kSoundRate, never by its arrival, so the
// sound is never stretched by late or early deliveries. When a later block
// shows that the stream has fallen behind the clock by more than the lag
// threshold (frames were lost: the server's buffer overran while this process
// was not reading), the missing time is placed as silence before it; lags
// below the threshold are scheduling jitter and change nothing. After an
// overrun the server reported, any lag at all is filled, since frames surely
// went missing.
//
// A stream that runs ahead of the clock (a device whose crystal is faster than
// the host's) is not corrected: dropping frames would cut sound out.
//
// One thread (the source's); not thread-safe.
class SoundClock {
public:
    static constexpr double kDefaultLagThreshold = 0.050; // seconds

    explicit SoundClock(double lagThreshold = kDefaultLagThreshold);

    // A block of `frames` frames (data, or a hole the server reported, which
    // the caller delivers as silence) arrived at host time `arrival`; the
    // server said the frame just after the block was captured `latency`
    // seconds before `arrival`. Returns where the block goes and counts it
    // (and the silence before it) as delivered.
    SoundPlacement place(std::int64_t frames, double arrival, double latency);

    // The server dropped frames it could not hand over (an overrun): the next
    // block fills whatever lag it shows.
    void noteOverrun();

    // How far behind the clock a block with these figures would be (seconds;
    // negative when ahead), without placing it; 0 before the anchor.
    double lagOf(std::int64_t frames, double arrival, double latency) const;
    // The lag above which place() fills silence now (0 after an overrun).
    double fillThreshold() const { return overrun_ ? 0.0 : lagThreshold_; }

    bool anchored() const { return anchored_; }
    // Host seconds of the first frame; 0 before the first block.
    double anchor() const { return anchor_; }
    // Frames placed so far, silence included.
    std::int64_t framesDelivered() const { return delivered_; }
    // Frames of silence inserted so far for lag and overruns (not holes).
    std::int64_t silenceInserted() const { return silence_; }
    // Host seconds of the frame `index` frames after the anchor.
    double timeOfFrame(std::int64_t index) const;

private:
    double lagThreshold_;
    bool anchored_ = false;
    bool overrun_ = false;
    double anchor_ = 0.0;
    std::int64_t delivered_ = 0;
    std::int64_t silence_ = 0;
};

} // namespace orvane
