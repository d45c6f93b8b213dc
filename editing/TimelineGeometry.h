#pragma once

#include "timeline/ZoomEffect.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The arithmetic of the timeline bar, as pure functions of its inputs so that
// it can be tested without a widget. x and w are in points (logical pixels);
// times in seconds. Main thread or any thread: nothing here has state.
namespace TimelineGeometry {

inline constexpr double kVideoHeight = 40; // Hvid
inline constexpr double kZoomHeight = 40;  // Hzoom
inline constexpr double kTrackGap = 6;
inline constexpr double kBarHeight = kVideoHeight + kTrackGap + kZoomHeight;
// The sound strip under the video track, only for a take with sound: the bar
// is then kWaveHeight + kTrackGap taller.
inline constexpr double kWaveHeight = 22;
inline constexpr double kBarHeightWithSound = kBarHeight + kWaveHeight + kTrackGap;
inline constexpr double kHitTolerance = 12; // points around a pill that still hit it
inline constexpr double kEdgeZone = 12;     // points inside a pill's ends that grab an edge
inline constexpr double kMinEdgePill = 36;  // narrower pills can only be moved
inline constexpr double kAddWidth = 34;     // the add button
inline constexpr double kDragSlop = 2;      // movements up to this change nothing
inline constexpr double kMinTrim = 0.3;     // seconds: shortest trimmed range
inline constexpr double kLabelMinWidth = 92; // pills wider than this show their label
inline constexpr double kGripMinWidth = 42;  // pills at least this wide show edge grips

enum class DragMode { move, start, end };

struct ZoomHit {
    int index = -1;
    DragMode mode = DragMode::move;
    friend bool operator==(const ZoomHit&, const ZoomHit&) = default;
};

// Drawing position of a time: w * clamp(t / duration, 0, 1).
double xForTime(double t, double duration, double w);

// The segment under x (first in list order within 12 points of its pill) and the
// part of it that a press there grabs. Nothing when duration <= 0 or no pill is near.
std::optional<ZoomHit> zoomHit(double x, double w, const std::vector<ZoomEffect>& zooms,
                               double duration);

// Left x of the 34-point add button for the mouse at hoverX: centred on the
// mouse and clamped into the nearest free gap between pills. Nothing when there
// is no gap wide enough.
std::optional<double> addPillLeft(double hoverX, double w, const std::vector<ZoomEffect>& zooms,
                                  double duration);

// The largest end among the other segments that start before segment idx does.
std::optional<double> leftEnd(int idx, const std::vector<ZoomEffect>& zooms);
// The smallest start among the other segments that start after segment idx does.
std::optional<double> rightStart(int idx, const std::vector<ZoomEffect>& zooms);

// New trim start when the left handle was dragged by dx points from trimBase:
// at least 0 and at most trimEnd - 0.3.
double leftTrimDrag(double trimBase, double dx, double w, double duration, double trimEnd);
// New trim end for the right handle: at least trimStart + 0.3, at most the duration.
double rightTrimDrag(double trimBase, double dx, double w, double duration, double trimStart);

// The time a zoom drag reports for a drag of dx points that began on a segment
// spanning [baseS, baseE]: the new start (start and move modes) or the new end
// (end mode). The segment stops 2 points short of its neighbours: L is the
// leftEnd and R the rightStart of the dragged segment.
double zoomDragTarget(DragMode mode, double baseS, double baseE, double dx, double w,
                      double duration, std::optional<double> L, std::optional<double> R);

// "m:ss" of a length in seconds, rounded half away from zero, at least 0.
std::string durationLabel(double seconds);

} // namespace TimelineGeometry
} // namespace orvane
