#pragma once

// The clock of one take: host seconds (hostTime()) with the paused spans left
// out. Everything a take keeps (frames, sound, clicks, cursor samples) is
// stamped where it enters the program on the host clock; this clock says
// whether that moment belongs to the take and where it goes on the take's
// time line, so that after a pause the movie, the sound and the clicks go on
// from where they stopped, with no gap and no jump.
//
// Take seconds count from the start (0) and stop while paused: a host time
// inside a pause has no take time. Host times before the start map to
// negative take seconds (the writers put such frames at 0).
//
// Threads: pause() and resume() on one thread (the main thread); the queries
// on any thread (the capture thread, the sound sources' threads, the main
// thread). The spans are guarded by a leaf mutex held only to read or append.

#include <algorithm>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

namespace orvane {

class TakeClock {
public:
    // A new take that starts at `startHost` (host seconds), not paused.
    void reset(double startHost);

    // Pauses at `atHost` (host seconds, not before the start nor before the
    // previous resume); nothing when already paused. Returns whether it paused.
    bool pause(double atHost);
    // Resumes at `atHost` (not before the pause); nothing when not paused.
    bool resume(double atHost);

    double startHost() const;
    bool paused() const;
    // Pauses so far, the one running included.
    int pauseCount() const;
    // Host seconds spent paused up to `host` (a running pause counts to `host`).
    double pausedBefore(double host) const;

    // Take seconds of the moment `host`; none when it falls inside a pause
    // (one that is over or the one running).
    std::optional<double> takeTimeOf(double host) const;
    // Take seconds of `host`, or of the start of the pause it falls in: the
    // take's time shown to the user ("paused at 12.4 s").
    double takeTimeAt(double host) const;

    // The parts of the host span [fromHost, fromHost + seconds) that belong
    // to the take, in order: `piece(offset, seconds, takeAt)` gets each one's
    // offset into the span (seconds), its length and its take time. A span
    // wholly inside a pause gives none. No allocation (sound threads).
    template <typename Piece>
    void forEachTakenPart(double fromHost, double seconds, Piece&& piece) const;

private:
    struct Pause {
        double from = 0; // host seconds
        double to = 0;   // host seconds; +inf while it runs
    };
    std::optional<double> takeTimeLocked(double host) const;

    mutable std::mutex mutex_;
    double start_ = 0;
    std::vector<Pause> pauses_; // in order, not overlapping
};

template <typename Piece>
void TakeClock::forEachTakenPart(double fromHost, double seconds, Piece&& piece) const {
    std::lock_guard lock(mutex_);
    double paused = 0;   // host seconds paused before `cursor`
    double cursor = fromHost;
    const double end = fromHost + seconds;
    for (const Pause& p : pauses_) {
        if (p.to <= cursor) {
            paused += p.to - p.from;
            continue;
        }
        if (p.from >= end) {
            break;
        }
        if (p.from > cursor) {
            piece(cursor - fromHost, p.from - cursor, cursor - start_ - paused);
        }
        if (p.to >= end) {
            return;
        }
        paused += p.to - p.from;
        cursor = p.to;
    }
    if (end > cursor) {
        piece(cursor - fromHost, end - cursor, cursor - start_ - paused);
    }
}

} // namespace orvane
