#pragma once

// Small builders of timeline records for tests.
#include "timeline/Moment.h"
#include "timeline/Section.h"
#include "timeline/ZoomEffect.h"

#include <optional>

namespace orvane::test {

// A segment [start, end] with a fresh id, the session's default look unless
// given, and an optional focus lock.
inline ZoomEffect segment(double start, double end, double zoom = 1.5, double smooth = 0.8,
                          std::optional<double> fx = {}, std::optional<double> fy = {}) {
    ZoomEffect z;
    z.id = Uuid::random();
    z.start = start;
    z.end = end;
    z.zoom = zoom;
    z.smooth = smooth;
    z.fx = fx;
    z.fy = fy;
    return z;
}

// A recorded click at `t` seconds, at (x, y) of the captured area.
inline Moment clickAt(double t, double x, double y) {
    Moment m;
    m.t = t;
    m.cx = x;
    m.cy = y;
    return m;
}

// A section of take time [start, end), kept at `speed` or cut.
inline Section section(double start, double end, double speed = 1, bool cut = false) {
    Section s;
    s.start = start;
    s.end = end;
    s.speed = speed;
    s.cut = cut;
    return s;
}

} // namespace orvane::test
