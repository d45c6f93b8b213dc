#pragma once

#include "SoundSource.h"
#include "VideoFrame.h"

#include "timeline/Result.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace orvane {

// Frame counts of one take, for diagnostics and benchmarks.
struct WriterCounts {
    std::int64_t offered = 0; // frames handed to append()
    std::int64_t written = 0; // frames encoded into the movie
    std::int64_t dropped = 0; // frames that found the ring full (or could not be taken)
};

// Writes one take's movie.
//
// Contract: created on the main thread (by a WriterFactory); append() is
// called on the capture thread only, never concurrently; soundSink() on the
// main thread, and each sink it hands out on its sound source's thread only;
// finish() once, on any one thread, after the stream and the sound sources
// have stopped; path() and counts() on any thread.
class VideoWriter {
public:
    virtual ~VideoWriter() = default;
    VideoWriter() = default;
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Takes one frame. Never blocks on the encoder: a frame that cannot be taken
    // at once is dropped and counted. Frames stamped before the take's start are
    // written at time 0.
    virtual void append(const VideoFrame& frame) = 0;
    // Completes the file and blocks until it is on disk. Succeeds only when at
    // least one frame was written and the file was completed; a full disk
    // fails as NoSpace. A second call repeats the first one's result.
    virtual Result<void> finish() = 0;
    virtual QString path() const = 0;
    virtual WriterCounts counts() const = 0;
    // Where the sound of `kind` goes, when the writer was asked to record it
    // (WriterSpec::sound); null otherwise. The sink lives as long as the
    // writer and never blocks the video: sound that comes after finish()
    // started is ignored. A sound track that ends early (its source died)
    // neither fails the take nor holds the video back.
    virtual SoundSink* soundSink(SoundKind kind) {
        (void)kind;
        return nullptr;
    }
    // The first write or encode error of the take (a full disk, an encoder
    // that gave up), nothing while every frame so far could be handed on.
    // After an error the writer takes no more frames, but the file keeps what
    // was written before it. Any thread.
    virtual std::optional<Error> failure() const { return std::nullopt; }
};

} // namespace orvane
