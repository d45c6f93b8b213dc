#pragma once

// Internal to the movie writer: the take's video encoder settings. Includes
// FFmpeg headers; never include it from a public header.

#include "media/EncoderOpener.h"

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

// Opens the first of `order` that works for `width` x `height` BGRA screen
// frames at up to 60 frames per second: time base 1/600, a key frame every 60
// frames, BT.709 colour tags with the sRGB transfer. `globalHeader` when the
// container wants codec headers out of band.
Result<av::OpenedEncoder> openTakeEncoder(const std::vector<std::string>& order, int width,
                                          int height, bool globalHeader);

} // namespace orvane
