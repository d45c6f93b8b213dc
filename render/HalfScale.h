#pragma once

#include "media/YuvImage.h"

#include <QImage>

// Two-by-two box reductions: the prefilter for drawing a picture well below
// its size. A bilinear draw at less than about 0.75 of the source's size reads
// only two of every three or more source pixels per output pixel, so one-pixel
// detail (text, window borders, the stripes of a screen recording) folds into
// moire that crawls as the camera zooms. Halving with a box average first, as a
// mipmap chain does, and drawing bilinearly from the level that leaves a scale
// of at least 0.75 gives every source pixel its weight.
//
// Pure functions; any thread.

namespace orvane::halfscale {

// Scales below this (output pixels per source pixel) draw from a reduced copy.
inline constexpr double kPrefilterBelow = 0.75;

// How many halvings a picture drawn at `scale` output pixels per source pixel
// needs: the smallest k with scale x 2^k >= kPrefilterBelow (0 for scales at or
// above it, and for non-finite or non-positive scales). At most `limit`.
int halvingsFor(double scale, int limit = 8);

// The size of one halving of `size` samples: (size + 1) / 2. An odd last
// sample is averaged with itself, so the reduced picture covers the same area
// to within half a source sample.
inline int halfSize(int size) { return (size + 1) / 2; }

// One halving of a 4-byte-per-pixel image (Format_RGB32 or
// Format_ARGB32_Premultiplied; every channel alike, rounded to nearest) into
// `dst`, which is (re)allocated to the half size and src's format when it does
// not match. `dst` must not share src's pixels. Returns false for another
// format or an empty source.
bool halveBgra(const QImage& src, QImage& dst);

// One halving of an 8-bit plane into `dst`, which must be at least
// halfSize(width) x halfSize(height) and not share src's samples. Returns false
// otherwise.
bool halvePlane(const Plane& src, const Plane& dst);

} // namespace orvane::halfscale
