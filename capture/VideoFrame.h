#pragma once

#include <cstdint>

namespace orvane {

// One captured frame as the screen stream hands it over: 32-bit BGRA rows (byte
// order B, G, R, A; alpha unused), top row first. The pixels belong to the
// stream and are valid only during the call that receives the frame.
struct VideoFrame {
    const std::uint8_t* bgra = nullptr;
    int width = 0;      // pixels
    int height = 0;     // pixels
    int stride = 0;     // bytes per row
    double hostTime = 0; // hostTime() seconds at the grab
    // The pixels are the same as those of the previous frame handed to the
    // same sink (a still screen the stream repeats): a writer may reuse what
    // it made of them instead of converting them again.
    bool repeat = false;
};

} // namespace orvane
