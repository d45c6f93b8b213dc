#pragma once

#include "media/YuvImage.h"
#include "timeline/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace orvane::media {

// What a movie's first video stream says about itself.
struct VideoInfo {
    // The picture as shown: a stream stored rotated (a display matrix or
    // "rotate" tag of a quarter turn) is turned upright, and 90 or 270 degrees
    // swap width and height. Every frame read comes in this size.
    int width = 0;                   // pixels
    int height = 0;                  // pixels
    std::optional<double> duration;  // seconds; none when the container does not say
    double frameRate = 0;            // nominal frames per second; 0 when unknown
};

// Where one decoded frame goes: `height` rows of `width * 4` bytes (B, G, R, A
// with alpha 255, the byte order of QImage::Format_RGB32 and Format_ARGB32 on
// little-endian machines), top row first, each row `stride` bytes after the
// previous one. The memory belongs to the caller and is reused from frame to
// frame, so a pipeline decodes without allocating per frame.
struct BgraTarget {
    std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0; // bytes, at least width * 4
};

// Demuxes and decodes the first video stream of a movie file (HEVC or H.264 in
// MOV or MP4 as Orvane records them, or anything else FFmpeg reads) into BGRA
// frames in presentation order, each with its presentation time in seconds on
// the movie's own timeline.
//
// Colour: the stream's YUV matrix and range as tagged; an untagged stream is
// taken as BT.709 limited range, which is what Orvane's recordings carry.
//
// Threads: the reader has no thread affinity, but one reader must be used by
// one thread at a time. Internally the decoder and the BGRA conversion run
// threads of their own (one per core), which the calls wait for.
//
// Bad input never crashes or hangs: a truncated or corrupt file ends reading
// with status Error and a one-line message.
class MovieReader {
public:
    enum class Status {
        Closed, // not opened, or open() failed
        Ready,  // frames can be read
        End,    // the last frame has been read
        Error,  // reading stopped at damaged data; error() says why
    };

    MovieReader();
    ~MovieReader();
    MovieReader(MovieReader&&) noexcept;
    MovieReader& operator=(MovieReader&&) noexcept;
    MovieReader(const MovieReader&) = delete;
    MovieReader& operator=(const MovieReader&) = delete;

    // Opens `path` (UTF-8) and decodes its first frame, so that a file whose
    // video cannot be decoded at all fails here. On failure the message is one
    // line meant for the user: a missing file, a file that is not a movie, a
    // movie without a video stream, a video stream that cannot be decoded.
    // Opening again closes the previous movie first.
    Result<VideoInfo> open(const std::string& path);
    void close();

    Status status() const;
    // One line; empty unless status() is Error (or the last open() failed).
    const std::string& error() const;
    // Valid after a successful open().
    const VideoInfo& info() const;

    // Decodes the next frame into `target` and stores its presentation time
    // (seconds) in `time`. Returns false at the end of the stream or on an
    // error; status() tells which. `target.data` may be null to skip the BGRA
    // conversion (the frame is decoded and its time reported).
    bool readFrame(const BgraTarget& target, double& time);

    // The same, into an I420 picture of the movie's size (BT.709, limited
    // range: Orvane's own colours). A recording in exactly that form is copied
    // plane by plane; anything else (another matrix or range, another layout
    // or depth, a frame of another size) goes through BGRA first.
    bool readPicture(const YuvView& target, double& time);

    // Moves the read position so that the next readFrame() returns:
    //  - exact: the frame whose presentation interval contains `t` (the last
    //    frame starting at or before t; the first frame when t lies before it;
    //    the last frame when t lies past the end), decoding forward from the
    //    key frame before it;
    //  - not exact: the key frame at or before `t` (fast, no decoding forward).
    // Clears End. Returns false (status Error) when the movie cannot seek or
    // no frame could be decoded at the new place.
    bool seek(double t, bool exact);

    // Frames that no other frame is predicted from are not decoded at all
    // while this is on (readFrame() skips over them): for stretches nobody
    // will see, such as a cut part of a take. The decoder holds frames back
    // for up to decodeDelay() frames, so turn it off at least that many
    // frames before the frames that must be seen.
    void setSkipUnreferenced(bool skip);
    int decodeDelay() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace orvane::media
