#pragma once

#include "Uuid.h"

#include <optional>

namespace orvane {

// One zoom segment: the unit the user edits on the timeline bar.
struct ZoomEffect {
    Uuid id;           // fresh random for every segment created, never changed
    double start = 0;  // seconds: the zoom-in begins
    double end = 0;    // seconds: the view is back at full frame
    double zoom = 1.5; // magnification; the visible width while zoomed is 1/zoom
    double smooth = 0.8; // camera smoothness for this segment, 0...1
    // Focus lock, 0...1 each. Locked only when both are present; the edit
    // operations always set or clear the two together.
    std::optional<double> fx;
    std::optional<double> fy;

    bool hasFocus() const { return fx.has_value() && fy.has_value(); }

    friend bool operator==(const ZoomEffect&, const ZoomEffect&) = default;
};

} // namespace orvane
