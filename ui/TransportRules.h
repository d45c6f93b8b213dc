#pragma once

#include <QString>

namespace orvane::TransportRules {

// "m:ss" of a time: rounded to the nearest second, at least 0, minutes
// unpadded and unbounded (75 s gives 1:15, 3600 s gives 60:00). A time that is
// not finite reads 0:00.
QString mmss(double seconds);

// Target of a skip by `delta` seconds from `current`: at least trimStart, at
// most trimEnd when the trim is a real range, else the duration.
double seekByTarget(double current, double delta, double trimStart, double trimEnd,
                    double duration);

// Whether Play starts over at trimStart: at or after trimEnd - 0.05, or before
// trimStart.
bool playRestartsFromTrimStart(double t, double trimStart, double trimEnd);

// Whether the periodic time check wraps playback to trimStart: while playing,
// with a real trim range, at or after trimEnd - 0.03.
bool wrapsAtTrimEnd(bool playing, double t, double trimStart, double trimEnd);

} // namespace orvane::TransportRules
