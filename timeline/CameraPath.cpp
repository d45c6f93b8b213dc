// Camera path: Timeline::frame and Timeline::state.
#include "Timeline.h"

#include <algorithm>

namespace orvane {

namespace {

// Keeps a centre coordinate inside [w/2, 1 - w/2]: raised first, then lowered.
double clampCentre(double c, double w) {
    return std::min(std::max(c, w / 2), 1 - w / 2);
}

// Cubic ease-in-out.
double ease(double u) {
    if (u < 0.5) {
        return 4 * u * u * u;
    }
    const double v = 2 - 2 * u;
    return 1 - v * v * v / 2;
}

} // namespace

Timeline::Frame Timeline::anchorFrame(const Anchor& a) const {
    Frame f;
    f.w = std::min(a.wide ? 1.0 : 1 / a.zoom, 1.0);
    f.cx = clampCentre(a.wide ? 0.5 : a.cx, f.w);
    f.cy = clampCentre(a.wide ? 0.5 : a.cy, f.w);
    f.zoom = a.zoom;
    f.smooth = a.smooth;
    f.fx = a.fx;
    f.fy = a.fy;
    return f;
}

Timeline::Frame Timeline::frame(double t) const {
    const std::size_t n = anchors.size();
    if (n < 2) {
        return Frame{0.5, 0.5, 1, zoom, 0.8, {}, {}};
    }
    if (t <= anchors.front().t) {
        return anchorFrame(anchors.front());
    }
    // The keyframes are strictly increasing, so the first pair (a, b) with
    // a.t <= t <= b.t ends at the first keyframe at or after t. A time equal to a
    // keyframe's time belongs to the pair that ends there.
    const auto it = std::lower_bound(anchors.begin(), anchors.end(), t,
                                     [](const Anchor& a, double time) { return a.t < time; });
    if (it == anchors.end() || it == anchors.begin()) {
        // After the last keyframe (or a time that compares with nothing).
        return anchorFrame(anchors.back());
    }
    const Anchor& b = *it;
    const Anchor& a = *(it - 1);

    const double e = ease((t - a.t) / (b.t - a.t));
    const double p0x = a.wide ? 0.5 : a.cx;
    const double p0y = a.wide ? 0.5 : a.cy;
    const double p1x = b.wide ? 0.5 : b.cx;
    const double p1y = b.wide ? 0.5 : b.cy;
    const double w0 = a.wide ? 1 : 1 / a.zoom;
    const double w1 = b.wide ? 1 : 1 / b.zoom;

    double cx = 0;
    double cy = 0;
    double w = 0;
    if (a.wide != b.wide) {
        // Zooming in or out: fly along the optimal path.
        const CamState s = Cam::flight({p0x, p0y, w0}, {p1x, p1y, w1})(e);
        cx = s.x;
        cy = s.y;
        w = s.w;
    } else {
        // Both wide or both zoomed: glide the centre, keep the width.
        cx = p0x + (p1x - p0x) * e;
        cy = p0y + (p1y - p0y) * e;
        w = w0;
    }
    w = std::min(w, 1.0);

    const bool zoomingIn = a.wide && !b.wide;
    const Anchor& owner = zoomingIn ? b : a;
    Frame f;
    f.w = w;
    f.cx = clampCentre(cx, w);
    f.cy = clampCentre(cy, w);
    f.zoom = std::max(a.zoom, b.zoom);
    f.smooth = owner.smooth;
    f.fx = owner.fx;
    f.fy = owner.fy;
    return f;
}

CamState Timeline::state(double t) const {
    const Frame f = frame(t);
    if (f.w >= 0.999) {
        return {f.cx, f.cy, f.w};
    }
    // Zoom progress: 0 at full frame, 1 once the segment's zoom is reached.
    double k = 1 - 1 / f.zoom;
    if (k < 1e-6) {
        k = 1e-6;
    }
    const double p = std::clamp((1 - f.w) / k, 0.0, 1.0);

    NormPoint target{f.cx, f.cy};
    if (f.fx && f.fy) {
        target = {*f.fx, *f.fy};
    } else if (!track.empty()) {
        target = cursor(t, 0);
    }
    const double w = std::min(f.w, 1.0);
    return {clampCentre(0.5 + p * (target.x - 0.5), w), clampCentre(0.5 + p * (target.y - 0.5), w),
            w};
}

} // namespace orvane
