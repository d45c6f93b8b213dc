// Keyframes from zoom segments.
#include "Timeline.h"

#include <algorithm>

namespace orvane {

namespace {
// Minimum spacing between keyframes, in seconds. It keeps the keyframe times
// strictly increasing whatever the segments look like.
constexpr double kEpsilon = 0.001;
// A zoom-in lasts at most this long.
constexpr double kZoomIn = 0.5;
// The zoom-out begins this long before a segment's end.
constexpr double kZoomOut = 0.55;
// Smoothness of the two full-frame end keyframes.
constexpr double kEndSmooth = 0.8;
} // namespace

void Timeline::build(const std::vector<ZoomEffect>& zooms, const std::vector<Moment>& newClicks,
                     double newDuration, double defaultZoom) {
    duration = newDuration;
    zoom = defaultZoom;

    clicks = newClicks;
    std::stable_sort(clicks.begin(), clicks.end(),
                     [](const Moment& a, const Moment& b) { return a.t < b.t; });

    std::vector<const ZoomEffect*> sorted;
    sorted.reserve(zooms.size());
    for (const auto& z : zooms) {
        sorted.push_back(&z);
    }
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ZoomEffect* a, const ZoomEffect* b) { return a->start < b->start; });

    anchors.clear();
    anchors.reserve(4 * zooms.size() + 2);
    anchors.push_back(Anchor{0, true, 0.5, 0.5, defaultZoom, kEndSmooth, {}, {}});

    double p = 0; // time of the last keyframe written
    for (const ZoomEffect* seg : sorted) {
        const double s = seg->start;
        const double e = seg->end;
        const double cx = seg->fx.value_or(0.5);
        const double cy = seg->fy.value_or(0.5);
        const double t1 = std::max(s, p + kEpsilon);             // zoom-in begins
        const double in = std::min((s + e) / 2, s + kZoomIn);    // nominal end of the zoom-in
        const double t2 = std::max(in, t1 + kEpsilon);           // fully zoomed
        const double t3 = std::max(e - kZoomOut, t2 + kEpsilon); // zoom-out begins
        const double t4 = std::max(e, t3 + kEpsilon);            // back at full frame
        anchors.push_back(Anchor{t1, true, 0.5, 0.5, seg->zoom, seg->smooth, seg->fx, seg->fy});
        anchors.push_back(Anchor{t2, false, cx, cy, seg->zoom, seg->smooth, seg->fx, seg->fy});
        anchors.push_back(Anchor{t3, false, cx, cy, seg->zoom, seg->smooth, seg->fx, seg->fy});
        anchors.push_back(Anchor{t4, true, 0.5, 0.5, seg->zoom, seg->smooth, seg->fx, seg->fy});
        p = t4;
    }

    const double closing = sorted.empty() ? std::max(duration, kEpsilon)
                                          : std::max(duration, p + kEpsilon);
    anchors.push_back(Anchor{closing, true, 0.5, 0.5, defaultZoom, kEndSmooth, {}, {}});
}

} // namespace orvane
