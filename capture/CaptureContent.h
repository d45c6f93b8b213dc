#pragma once

#include "CaptureSource.h"

#include <QRect>
#include <QRectF>
#include <QString>

namespace orvane {

// What the user chose to record, as the content picker reports it. The area is
// in the backend's capture coordinate space, the same space in which the input
// monitor reports clicks and cursor positions, so that clicks normalise against
// it directly; each backend's header says what that space is.
struct CaptureContent {
    enum class Kind { Display, Window };

    Kind kind = Kind::Display;
    QRectF area;            // capture coordinate space
    double pixelScale = 1;  // pixels per unit of `area`
    CaptureSourcePtr source; // the backend's handle; null only in tests of the TakeRecorder
    QString title;          // monitor name or window title, for display only
    // Of a display: the part of it recorded, in its pixels from its top-left
    // corner (see ContentRegion.h); empty, the default: all of it.
    QRect region;
};

} // namespace orvane
