#pragma once

#include "media/YuvImage.h"

#include <QRect>
#include <cstdint>
#include <vector>

namespace orvane {

// How source samples land in the destination: the source point (sx, sy) (in
// samples, 0 at the left edge of the first one) is drawn at destination point
// (offsetX + scaleX x sx, offsetY + scaleY x sy).
struct PlaneMapping {
    double scaleX = 1;
    double scaleY = 1;
    double offsetX = 0; // destination samples
    double offsetY = 0;
};

// Bilinear resampling of one 8-bit plane into a region of another: the video
// of an export drawn under the camera. Positions are kept to 1/256 of a sample
// between rows and 1/64 along a row, and samples beyond the source's edges
// repeat the edge. The vertical blend runs 16 samples at a time; the
// horizontal one gathers 8 samples per shuffle where the processor has SSSE3,
// which makes it several times faster than a per-sample loop.
//
// Keeps per-row scratch, so one instance per thread; reused from call to call.
class PlaneScaler {
public:
    // Writes destination samples inside `area` (clipped to `dst`) from `src`.
    // Nothing else of `dst` is touched.
    void scale(const Plane& src, const Plane& dst, const QRect& area, const PlaneMapping& map);

    // The same with the plain per-sample loop only: the reference the vector
    // code must match byte for byte.
    void scaleReference(const Plane& src, const Plane& dst, const QRect& area,
                        const PlaneMapping& map);

    // Whether scale() has the SSSE3 path on this processor.
    static bool hasVectorPath();

private:
    void run(const Plane& src, const Plane& dst, const QRect& area, const PlaneMapping& map,
             bool vector);

    std::vector<int> xIndex_;          // per destination column: first source sample
    std::vector<std::uint8_t> xWeight_; // per column: weight of the second, 0...63
    std::vector<std::uint8_t> row_;     // the vertically blended source row
    std::vector<std::uint8_t> shuffle_; // per group of 8 columns: gather indices
    std::vector<std::uint8_t> weights_; // per group of 8 columns: weight pairs
    std::vector<std::uint8_t> gathered_; // per group: whether it fits one 16-byte load
};

} // namespace orvane
