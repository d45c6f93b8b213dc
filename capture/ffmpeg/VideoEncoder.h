#pragma once

// Internal to the movie writer: opens one video encoder by name with the take's
// settings. Includes FFmpeg headers; never include it from a public header.

#include "render/media/AvHandles.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The encoders tried, best first: hardware HEVC where the machine really has
// it, then the software encoder that keeps up with 1920 x 1200 at 60 frames per
// second on two cores (libx265 does not, libx264 at its fastest preset does).
const std::vector<std::string>& defaultEncoderOrder();

// The bit rate a take of `width` x `height` pixels is encoded at (bits per
// second): four bits per pixel, at most 40 Mbit/s.
std::int64_t averageBitRate(int width, int height);

// An opened encoder. For hardware encoders that take GPU surfaces, `hwFrames`
// is the surface pool the converted frames are uploaded into; otherwise it is
// empty and frames in `inputFormat` go straight to the encoder.
struct OpenedEncoder {
    av::CodecContextPtr context;
    av::BufferRefPtr hwFrames;
    AVPixelFormat inputFormat = AV_PIX_FMT_NONE; // what swscale produces
    std::string name;
};

// Opens encoder `name` for `width` x `height` BGRA screen frames at up to 60
// frames per second, time base 1/600, a key frame every 60 frames, BT.709 colour
// tags with the sRGB transfer. `globalHeader` when the container wants codec
// headers out of band. Nothing when the encoder is missing or refuses to open
// (no GPU, no driver, unsupported size).
std::optional<OpenedEncoder> openVideoEncoder(const std::string& name, int width, int height,
                                              bool globalHeader);

} // namespace orvane
