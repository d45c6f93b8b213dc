#pragma once

#include <QRectF>
#include <QString>
#include <QtGlobal>

namespace orvane {

// What the user chose to record, as the content picker reports it. The area is
// in the capture backend's coordinate space (X11: root-window pixels), the same
// space in which the input monitor reports clicks and cursor positions, so that
// clicks normalise against it directly.
struct CaptureContent {
    enum class Kind { Display, Window };

    Kind kind = Kind::Display;
    QRectF area;            // capture coordinate space
    double pixelScale = 1;  // pixels per unit of `area` (1 on X11)
    quint64 sourceId = 0;   // backend handle: X11 window id, or RandR monitor index
    QString title;          // monitor name or window title, for display only
};

} // namespace orvane
