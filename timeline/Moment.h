#pragma once

#include <optional>

namespace orvane {

// One recorded click. Times are seconds since the take began; positions are
// normalised to the captured area (x right, y down, 0...1).
struct Moment {
    double t = 0;      // seconds since the take began
    double cx = 0;     // click x, 0 = left edge of the captured area
    double cy = 0;     // click y, 0 = top edge
    double hold = 0.9; // seconds the zoom for this click stays after it
    // Per-click overrides. Recorded as absent; carried along and snapshotted for
    // undo, but nothing in the timeline reads them.
    std::optional<double> zoom;
    std::optional<double> smooth;
    std::optional<double> fx;
    std::optional<double> fy;

    friend bool operator==(const Moment&, const Moment&) = default;
};

// Hold given to every click captured during a take.
inline constexpr double kRecordedHold = 0.9;

} // namespace orvane
