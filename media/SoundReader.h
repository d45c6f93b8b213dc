#pragma once

#include "media/SoundTracks.h"
#include "timeline/Result.h"

#include <string>

#include <memory>
#include <optional>
#include <vector>

namespace orvane {

// A movie's sound, decoded: each of its sound tracks (one per SoundKind; see
// soundKindOfTrackName) read as kSoundRate stereo float frames on the movie's
// timeline, so that frame i of every track is at i / kSoundRate seconds of
// the movie. Before a track's first sample and past its end a track reads as
// silence. A movie without sound opens with no tracks and reads silence.
//
// Each track is read through its own demuxer and decoder, so tracks are read
// and positioned independently.
//
// Errors: open() fails for a file that cannot be opened at all. A track that
// stops decoding mid-way (a take cut off by a crash) reads as silence from
// there, and error() keeps the first such error; reading never fails.
//
// Threads: one thread at a time (not thread-safe); it may be made on one
// thread and used on another.
class SoundReader {
public:
    static Result<std::unique_ptr<SoundReader>> open(const std::string& path);
    ~SoundReader();
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;

    // The sources the movie has a track for, in file order.
    const std::vector<SoundKind>& kinds() const;
    bool has(SoundKind kind) const;
    bool empty() const { return kinds().empty(); }
    // Movie seconds at which the last sample of the longest track ends, as far
    // as the file says (0 without sound).
    double duration() const;

    // Moves every track to `seconds` of the movie (clamped at 0), exact to the
    // frame.
    void seek(double seconds);
    // The next `frames` frames of one track (interleaved L R), from where the
    // last read or seek of that track left off. Silence for a missing track.
    void read(SoundKind kind, float* out, int frames);
    // The next `frames` frames of every track, mixed at `mix`'s gains and
    // passed through softLimit(), into `out` (interleaved L R). Advances every
    // track.
    void readMixed(float* out, int frames, const SoundMix& mix);

    // The first decode error, if any track stopped early.
    std::optional<Error> error() const;

    struct Impl;

private:
    explicit SoundReader(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

// Keeps a mixed sample inside -1...1 without a hard edge: samples up to
// kSoftLimitKnee pass unchanged; above it they bend smoothly towards
// kSoftLimitCeiling, which leaves the AAC encoder a little headroom (its
// output can overshoot its input near full scale).
inline constexpr float kSoftLimitKnee = 0.8f;
inline constexpr float kSoftLimitCeiling = 0.98f;
float softLimit(float sample);

} // namespace orvane
