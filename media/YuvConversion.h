#pragma once

#include "media/YuvImage.h"

#include <cstddef>
#include <cstdint>

// Conversions between BGRA pixels (B, G, R, A bytes: QImage::Format_RGB32 on
// little-endian machines, alpha ignored) and Orvane's I420 pictures: BT.709
// matrix, limited range, each chroma sample the mean of its 2 x 2 block. The
// same integer arithmetic is used everywhere, so a pixel converts to the same
// bytes whichever function converts it. Any thread; no state.

namespace orvane::yuv {

// Luma and chroma of one full-range RGB colour.
std::uint8_t luma(int r, int g, int b);
// Chroma of the sum of four pixels' channels (0...1020 each): the mean of a block.
std::uint8_t cbOfSum(int r4, int g4, int b4);
std::uint8_t crOfSum(int r4, int g4, int b4);

// Converts a width x height BGRA picture into `out`, whose planes must be at
// least that size (chroma: half, rounded up). An odd last column or row counts
// twice in its chroma blocks. Vector code where the processor has it.
void fromBgra(const std::uint8_t* bgra, std::ptrdiff_t stride, int width, int height,
              const YuvView& out);

// Converts the w x h pixels of `in` whose top-left corner is (x0, y0) to BGRA
// (alpha 255) at `bgra`, row 0 of the region first. Each chroma sample is
// used for the four pixels of its block. The region must lie inside `in`.
void toBgra(const YuvView& in, int x0, int y0, int w, int h, std::uint8_t* bgra,
            std::ptrdiff_t stride);

} // namespace orvane::yuv
