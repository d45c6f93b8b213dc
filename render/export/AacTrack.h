#pragma once

#include "timeline/Result.h"

#include <cstdint>
#include <memory>

struct AVFormatContext;

namespace orvane {

// The sound track of an exported MP4: kSoundRate stereo float frames encoded
// with FFmpeg's native AAC encoder at kSoundBitRate and muxed into a file that
// the caller owns (the export's writer, which also writes the video into it).
//
// Time: the first frame handed to write() is at 0 s of the output, the same
// instant as the first video frame. The encoder's priming (the frames it puts
// before the sound, its initial padding) is given to the muxer as negative
// timestamps, which the MP4 muxer turns into an edit list, so a player starts
// the sound exactly at the first frame that was written.
//
// Not thread-safe: one thread at a time, the same one that writes the video
// into the file.
class AacTrack {
public:
    // Adds the track to `format` (before its header is written; `format` must
    // outlive the track). One-line errors.
    static Result<std::unique_ptr<AacTrack>> tryCreate(AVFormatContext* format);
    ~AacTrack();
    AacTrack(const AacTrack&) = delete;
    AacTrack& operator=(const AacTrack&) = delete;

    // Encodes `frames` interleaved L R frames following the previous ones and
    // writes the packets that come out (interleaved with the video by the
    // muxer). The samples are copied before the call returns.
    Result<void> write(const float* interleaved, int frames);
    // Encodes what is left (a last, shorter AAC frame) and drains the encoder.
    // Call once, after the last write() and before the file's trailer.
    Result<void> finish();

    // Frames handed to write() so far.
    std::int64_t framesWritten() const;

private:
    AacTrack();
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace orvane
