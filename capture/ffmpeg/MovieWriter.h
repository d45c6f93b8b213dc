#pragma once

#include "capture/VideoWriter.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace orvane {

// Choices a caller may make about a movie writer; the defaults are what a take
// uses.
struct MovieWriterOptions {
    // Encoder names tried in order, the first that opens wins; empty means
    // defaultEncoderOrder() (hevc_vaapi, hevc_nvenc, libx264).
    std::vector<std::string> encoders;
    // Frames that may wait for the encoder. A frame that finds every slot taken
    // is dropped: a screen recording keeps pace with the clock rather than
    // falling behind it.
    int ringSlots = 4;
    // The sound sources that get an AAC track each beside the video (see
    // soundSink()); none by default.
    std::vector<SoundKind> sound;
};

// The take's movie over the FFmpeg libraries: a QuickTime movie with one video
// track, written fragmented (a fragment per key frame, one a second) so that a
// process that dies mid-take leaves a file that plays up to its last fragment.
// Its packets reach the file through one MovieMuxer, where further tracks can
// join them.
//
// Threads: create() and finish() on the main thread (or any one thread),
// append() on the capture thread only; the encoder runs on a thread of its own
// that the writer owns. append() converts the BGRA frame to YUV straight into a
// preallocated ring slot and returns; it never waits for the encoder. Each
// sound sink is called on its source's thread, which encodes its own AAC
// track (see SoundTrackWriter.h); the video threads never wait for sound.
//
// With sound tracks, the muxer's interleaving holds a packet no longer than
// kMaxInterleave behind the others, so video keeps reaching the disk fragment
// by fragment while a sound track has nothing to say (its source ended).
//
// The movie starts at the take's start: when the first frame was grabbed after
// it, that frame is also written at time 0 (and counted as written), so times
// in the movie are the take's times even though a fragmented movie has no edit
// list to shift them.
class MovieWriter final : public VideoWriter {
public:
    // A writer for `path` (an existing file there is removed first) of `width`
    // x `height` pixels (even, at least 2) whose time 0 is `startTime`, host
    // seconds. Fails when the file cannot be created or no encoder opens;
    // what was allocated by then is freed.
    static Result<std::unique_ptr<MovieWriter>> tryCreate(const QString& path, int width,
                                                          int height, double startTime,
                                                          const MovieWriterOptions& options = {});
    ~MovieWriter() override; // finishes the file if finish() was not called

    // Longest time (microseconds of movie time) a packet waits in the
    // muxer for the other tracks.
    static constexpr int kMaxInterleave = 250000;

    void append(const VideoFrame& frame) override;
    SoundSink* soundSink(SoundKind kind) override;
    Result<void> finish() override;
    QString path() const override;
    WriterCounts counts() const override;
    std::optional<Error> failure() const override;

    // The encoder that opened, e.g. "libx264" or "hevc_vaapi".
    QString encoderName() const;

    struct Impl;

private:
    explicit MovieWriter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

} // namespace orvane
