#pragma once

#include <optional>

namespace orvane {

// One keyframe of the derived timeline (four per segment plus one at each end).
struct Anchor {
    double t = 0;     // seconds; strictly increasing along Timeline::anchors
    bool wide = true; // full frame here whatever `zoom` says
    double cx = 0.5;  // keyframe centre (0.5 for wide keyframes, else the focus or 0.5)
    double cy = 0.5;
    double zoom = 1.5;   // zoom level of the owning segment (also on its wide keyframes)
    double smooth = 0.8; // smoothness of the owning segment
    std::optional<double> fx;
    std::optional<double> fy;

    friend bool operator==(const Anchor&, const Anchor&) = default;
};

} // namespace orvane
