#pragma once

// Internal to render/: the directional blur routine behind
// MotionBlur::Method::RunningSum.

#include <QImage>

#include <cstdint>
#include <vector>

namespace orvane::detail {

// Tables reused from frame to frame (their sizes follow the frame size).
struct LineBlurScratch {
    std::vector<int> whole;
    std::vector<std::uint16_t> frac;
    std::vector<int> rounded;
    std::vector<std::uint16_t> taps;
};

// Blurs src into dst (same size and 4-byte format, no shared pixels) with a box
// of half-length `radius` pixels along the unit direction (ux, uy) in y-down
// pixels. Each tap is interpolated between the two pixels the exact line
// passes between, so thin features do not alias along diagonal motion.
void digitalLineBlur(const QImage& src, QImage& dst, double radius, double ux, double uy,
                     LineBlurScratch& scratch);

} // namespace orvane::detail
