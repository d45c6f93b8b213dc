#pragma once

#include "media/SoundTracks.h"
#include "timeline/TimeMap.h"
#include "ui/player/SoundClock.h"
#include "ui/player/SoundOutput.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvane::ui {

// The sound half of MoviePlayer: a worker thread that opens the movie's sound
// tracks (SoundReader), and while the player plays, decodes and mixes them at
// the current SoundMix and feeds them to a SoundOutput in small blocks. After
// each block it publishes a SoundClockReading, from which the player takes
// its playhead: the sound is the master clock while it plays.
//
// start() and stop() flush the output, so after a seek nothing from the old
// place is heard. A movie without sound, or an output that cannot be opened
// or breaks, makes it Silent: the player then keeps its own clock.
//
// Threads: the constructor starts the worker and the destructor stops and
// joins it. While playing the worker never waits on the output for longer
// than one write's timeout (20 ms), so the join is quick; only while the
// output is being opened may it take as long as the output's own open
// timeout (about two seconds for a server that does not answer). Every
// public function is for the one controlling thread (the player's) and
// never blocks on the worker. The callbacks run on the worker thread.
class SoundPlayback {
public:
    enum class State {
        Opening, // the tracks or the output are being opened
        Silent,  // nothing to play: no sound tracks, or no working output
        Ready,   // plays on start()
    };

    using Clock = std::chrono::steady_clock;
    // The sources the movie has tracks for (possibly none), once, after opening.
    using KindsFn = std::function<void(std::vector<SoundKind>)>;
    // Why the movie's sound cannot be heard (no server, the output broke);
    // at most once.
    using UnavailableFn = std::function<void(std::string message)>;

    // Frames per block: 10 ms. A new mix is heard after at most the block
    // being written and the output's queue.
    static constexpr int kBlockFrames = 480;

    SoundPlayback(std::string path, SoundOutputFactory makeOutput, KindsFn kinds,
                  UnavailableFn unavailable);
    ~SoundPlayback();
    SoundPlayback(const SoundPlayback&) = delete;
    SoundPlayback& operator=(const SoundPlayback&) = delete;

    State state() const;
    // Starts a new run at `seconds` of output time (the movie's time while the
    // map is the identity): drops what is queued, then plays from there.
    void start(double seconds);
    // The sections the sound follows (SectionSound), from the next start() on:
    // heard() then reads in output time.
    void setTimeMap(const TimeMap& map);
    // Drops what is queued and goes quiet until the next start().
    void stop();
    // Used from the next block on.
    void setMix(const SoundMix& mix);
    // The movie time heard now in the current run; nothing before the run's
    // first reading, or when stopped.
    std::optional<double> heard(Clock::time_point now) const;

private:
    void run();
    void setState(State state);

    const std::string path_;
    const SoundOutputFactory makeOutput_;
    const KindsFn kinds_;
    const UnavailableFn unavailable_;

    // Shared, guarded by mutex_.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    State state_ = State::Opening;
    std::uint64_t run_ = 0; // bumped by every start() and stop()
    bool playing_ = false;  // the current run plays
    double runStart_ = 0;   // movie seconds the current run starts at
    SoundMix mix_;
    TimeMap map_;
    std::optional<SoundClockReading> reading_; // of run_ only
    bool stop_ = false;

    std::thread thread_; // last: starts once everything above exists
};

} // namespace orvane::ui
