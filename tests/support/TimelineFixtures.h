#pragma once

// Small builders of timeline records for tests.
#include "timeline/Moment.h"
#include "timeline/ZoomEffect.h"

namespace orvane::test {

// A segment [start, end] with a fresh id and the session's default look.
inline ZoomEffect segment(double start, double end, double zoom = 1.5, double smooth = 0.8) {
    ZoomEffect z;
    z.id = Uuid::random();
    z.start = start;
    z.end = end;
    z.zoom = zoom;
    z.smooth = smooth;
    return z;
}

} // namespace orvane::test
