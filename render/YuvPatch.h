#pragma once

#include "media/YuvImage.h"

#include <QImage>
#include <QPoint>
#include <QRect>

namespace orvane {

// A small part of an I420 picture lent out as a BGRA image, so that QPainter
// can draw on it (a cursor, anti-aliased corners), and written back after.
// Only pixels the drawing changed are written back, and only the chroma of
// 2 x 2 blocks holding such a pixel is recomputed, so the untouched rest of
// the patch keeps its exact bytes.
//
// One thread at a time; reused from frame to frame.
class YuvPatch {
public:
    // Copies `area` of `picture`, clipped to it and widened to even edges, into
    // image(). False (and nothing to draw on) when the clipped area is empty.
    bool load(const YuvView& picture, const QRect& area);

    // The pixels to draw on (Format_ARGB32_Premultiplied, opaque). Its pixel
    // (0, 0) is picture pixel origin().
    QImage& image() { return image_; }
    QPoint origin() const { return area_.topLeft(); }

    // Writes the changed pixels back into `picture` (the one load() read).
    void store(const YuvView& picture) const;

private:
    QImage image_;
    QImage original_;
    QRect area_;
};

} // namespace orvane
