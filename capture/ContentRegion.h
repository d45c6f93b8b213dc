#pragma once

// A region of a display: the rectangle of it a take records, in the display's
// pixels counted from its top-left corner. Streams record only that part;
// clicks and the cursor normalise against it, as for a window.

#include "CaptureContent.h"

#include "timeline/Result.h"

#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace orvane {

// The region with its width and height rounded down to even pixels (the
// movie's encoder needs even sizes); its corner stays.
QRect evenRegion(QRect region);

// "X,Y,W,H" in pixels, as a command line gives it, rounded to even sizes;
// nothing for malformed text, a negative corner or a size under 2 pixels.
std::optional<QRect> parseRegion(const QString& text);

// Why `region` cannot be recorded on a display of `displayPixels`, as a
// clause ("the region 0,0 3000x200 reaches past the monitor's 1920x1080
// pixels"); empty when it fits.
QString regionProblem(QRect region, QSize displayPixels);

// `display` with only `region` of it recorded (see regionProblem), its title
// saying so; the reason, as a sentence without full stop, when the region does
// not fit or `display` is a window.
Result<CaptureContent> withRegion(const CaptureContent& display, QRect region);

// The part of the capture space `content` records: its area, or for a
// region of a display the region's place in it.
QRectF recordedArea(const CaptureContent& content);

} // namespace orvane
