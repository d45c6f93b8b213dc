#pragma once

#include "media/YuvImage.h"

#include <QImage>
#include <cstdint>
#include <vector>

namespace orvane {

// The reduced copies of a source frame that the compositor draws from when the
// video is shown well below its size (see HalfScale.h): a chain of halvings,
// each level made from the one before, in buffers kept from call to call so
// that only a change of size allocates.
//
// The BGRA chain also remembers which picture it last reduced: the live
// preview draws the same decoded frame on many ticks (paused, or a 30 fps
// movie on a 60 Hz display), and reducing it once is enough.
//
// One thread at a time per instance (it belongs to one compositor).
class SourceReduction {
public:
    // `src` halved `halvings` times (at least 1), in a buffer owned here and
    // valid until the next call; null when `src` is not a 4-byte format. A
    // nonzero `picture` equal to the previous call's (with the same halvings
    // and size) names the same pixels, and the earlier result is returned
    // without work; 0 always reduces afresh.
    const QImage* bgra(const QImage& src, int halvings, std::uint64_t picture);

    // `src` with each plane halved `halvings` times (at least 1); the chroma
    // planes keep I420's proportions. A view of buffers owned here, valid until
    // the next call; null when `src` is empty.
    YuvView yuv(const YuvView& src, int halvings);

    // How many BGRA reductions were actually computed (not reused); for tests
    // and the benchmark.
    long bgraReductions() const { return bgraReductions_; }

private:
    std::vector<QImage> levels_;      // levels_[i]: i + 1 halvings
    std::vector<YuvImage> yuvLevels_; // likewise for the I420 chain
    std::uint64_t picture_ = 0;
    int halvings_ = 0;
    QSize size_;
    long bgraReductions_ = 0;
};

} // namespace orvane
