// Cursor track: smoothing, position, synthetic cursor, click pulse, pointer state.
#include "CursorTrack.h"

#include "Timeline.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {
constexpr std::size_t kHalfWindow = 6; // 13-sample centred window
constexpr double kPulse = 0.14;        // seconds the click pulse lasts on either side
} // namespace

std::vector<CursorSample> smoothedTrack(const std::vector<CursorSample>& track) {
    const std::size_t n = track.size();
    if (n < 5) {
        return track;
    }
    std::vector<CursorSample> out(track);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t lo = i >= kHalfWindow ? i - kHalfWindow : 0;
        const std::size_t hi = std::min(i + kHalfWindow, n - 1);
        double sx = 0;
        double sy = 0;
        for (std::size_t j = lo; j <= hi; ++j) {
            sx += track[j].x;
            sy += track[j].y;
        }
        const auto count = static_cast<double>(hi - lo + 1);
        out[i].x = sx / count;
        out[i].y = sy / count;
    }
    return out;
}

NormPoint Timeline::cursor(double t, double smoothness) const {
    if (track.empty()) {
        return synthCursor(t, smoothness);
    }
    const std::size_t n = track.size();
    double x = 0;
    double y = 0;
    if (t <= track.front().t) {
        x = track.front().x;
        y = track.front().y;
    } else if (t >= track.back().t) {
        x = track.back().x;
        y = track.back().y;
    } else {
        std::size_t lo = 0;
        std::size_t hi = n - 1;
        while (lo + 1 < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (t >= track[mid].t) {
                lo = mid;
            } else {
                hi = mid;
            }
        }
        const CursorSample& a = track[lo];
        const CursorSample& b = track[hi];
        const double f = (t - a.t) / std::max(b.t - a.t, 1e-6);
        x = a.x + (b.x - a.x) * f;
        y = a.y + (b.y - a.y) * f;
    }
    return {std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0)};
}

NormPoint Timeline::synthCursor(double t, double smoothness) const {
    if (clicks.empty()) {
        return {0.5, 0.5};
    }
    if (t <= clicks.front().t) {
        return {clicks.front().cx, clicks.front().cy};
    }
    if (t >= clicks.back().t) {
        return {clicks.back().cx, clicks.back().cy};
    }
    // b is the first click after t, a the one before it.
    const auto it = std::upper_bound(clicks.begin(), clicks.end(), t,
                                     [](double time, const Moment& m) { return time < m.t; });
    if (it == clicks.end() || it == clicks.begin()) {
        return {clicks.back().cx, clicks.back().cy};
    }
    const Moment& b = *it;
    const Moment& a = *(it - 1);

    // Arrive a little before the click; leave at the latest moment that allows a
    // glide of 0.14 s to 0.64 s (by smoothness), never shorter than 0.04 s.
    const double gap = std::max(b.t - a.t, 1e-4);
    const double lead = std::min(0.35 * gap, 0.1);
    const double arrive = b.t - lead;
    double g = std::min(arrive - a.t, 0.14 + 0.5 * smoothness);
    if (g < 0.04) {
        g = 0.04;
    }
    const double depart = arrive - g;
    if (t <= depart) {
        return {a.cx, a.cy};
    }
    if (t >= arrive) {
        return {b.cx, b.cy};
    }
    const double v = (t - depart) / g;
    const double e = v * v * v * (v * (6 * v - 15) + 10); // quintic smootherstep
    return {a.cx + (b.cx - a.cx) * e, a.cy + (b.cy - a.cy) * e};
}

double Timeline::cursorScale(double t) const {
    if (clicks.empty()) {
        return 1;
    }
    // Clicks are sorted, so the nearest one is beside t's insertion point.
    const auto it = std::lower_bound(clicks.begin(), clicks.end(), t,
                                     [](const Moment& m, double time) { return m.t < time; });
    double d = INFINITY;
    if (it != clicks.end()) {
        d = std::abs(t - it->t);
    }
    if (it != clicks.begin()) {
        d = std::min(d, std::abs(t - (it - 1)->t));
    }
    if (d < kPulse) {
        const double k = 1 - d / kPulse;
        return 0.7 + 0.3 * (1 - k * k);
    }
    return 1;
}

bool Timeline::isPointer(double t) const {
    if (track.empty() || !(t >= track.front().t)) {
        return false;
    }
    // The last sample at or before t; its flag holds until the next sample.
    const auto it = std::upper_bound(track.begin(), track.end(), t,
                                     [](double time, const CursorSample& s) { return time < s.t; });
    return (it - 1)->pointer;
}

} // namespace orvane
