#include "TimelineGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace orvane::TimelineGeometry {

double xForTime(double t, double duration, double w) {
    return w * std::clamp(t / std::max(duration, 1e-4), 0.0, 1.0);
}

std::optional<ZoomHit> zoomHit(double x, double w, const std::vector<ZoomEffect>& zooms,
                               double duration) {
    if (duration <= 0) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < zooms.size(); ++i) {
        const double x0 = zooms[i].start / duration * w + 1;
        const double x1 = zooms[i].end / duration * w - 1;
        if (x < x0 - kHitTolerance || x > x1 + kHitTolerance) {
            continue;
        }
        DragMode mode = DragMode::move;
        if (x1 - x0 >= kMinEdgePill) {
            if (x <= x0 + kEdgeZone) {
                mode = DragMode::start;
            } else if (x >= x1 - kEdgeZone) {
                mode = DragMode::end;
            }
        }
        return ZoomHit{static_cast<int>(i), mode};
    }
    return std::nullopt;
}

std::optional<double> addPillLeft(double hoverX, double w, const std::vector<ZoomEffect>& zooms,
                                  double duration) {
    if (w <= 0 || duration <= 0) {
        return std::nullopt;
    }
    std::vector<std::pair<double, double>> spans;
    spans.reserve(zooms.size());
    for (const auto& z : zooms) {
        spans.emplace_back(z.start / duration * w, z.end / duration * w);
    }
    std::stable_sort(spans.begin(), spans.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    // Intervals where the button's left edge may lie.
    std::vector<std::pair<double, double>> gaps;
    double prev = -2;
    for (const auto& [a, b] : spans) {
        const double lo = prev + 2;
        const double hi = a - 2 - kAddWidth;
        if (lo <= hi) {
            gaps.emplace_back(lo, hi);
        }
        prev = b;
    }
    const double lo = spans.empty() ? 0 : prev + 2;
    const double hi = w - kAddWidth;
    if (lo <= hi) {
        gaps.emplace_back(lo, hi);
    }
    if (gaps.empty()) {
        return std::nullopt;
    }

    const double x = hoverX - kAddWidth / 2;
    const std::pair<double, double>* best = nullptr;
    double bestDistance = 0;
    for (const auto& g : gaps) {
        const double d = x < g.first ? g.first - x : (x > g.second ? x - g.second : 0);
        if (best == nullptr || d < bestDistance) { // the earlier gap wins a tie
            best = &g;
            bestDistance = d;
        }
    }
    return std::clamp(x, best->first, best->second);
}

std::optional<double> leftEnd(int idx, const std::vector<ZoomEffect>& zooms) {
    if (idx < 0 || static_cast<std::size_t>(idx) >= zooms.size()) {
        return std::nullopt;
    }
    const double s = zooms[static_cast<std::size_t>(idx)].start;
    std::optional<double> result;
    for (std::size_t i = 0; i < zooms.size(); ++i) {
        if (static_cast<int>(i) != idx && zooms[i].start < s) {
            result = result ? std::max(*result, zooms[i].end) : zooms[i].end;
        }
    }
    return result;
}

std::optional<double> rightStart(int idx, const std::vector<ZoomEffect>& zooms) {
    if (idx < 0 || static_cast<std::size_t>(idx) >= zooms.size()) {
        return std::nullopt;
    }
    const double s = zooms[static_cast<std::size_t>(idx)].start;
    std::optional<double> result;
    for (std::size_t i = 0; i < zooms.size(); ++i) {
        if (static_cast<int>(i) != idx && zooms[i].start > s) {
            result = result ? std::min(*result, zooms[i].start) : zooms[i].start;
        }
    }
    return result;
}

double leftTrimDrag(double trimBase, double dx, double w, double duration, double trimEnd) {
    const double t = trimBase + (w > 0 ? duration * (dx / w) : 0);
    return std::min(std::max(t, 0.0), trimEnd - kMinTrim);
}

double rightTrimDrag(double trimBase, double dx, double w, double duration, double trimStart) {
    const double t = trimBase + (w > 0 ? duration * (dx / w) : 0);
    return std::min(std::max(t, trimStart + kMinTrim), duration);
}

double zoomDragTarget(DragMode mode, double baseS, double baseE, double dx, double w,
                      double duration, std::optional<double> L, std::optional<double> R) {
    const double dt = w > 0 ? dx / w * duration : 0;
    const double pad = w > 0 ? kDragSlop / w * duration : 0; // 2 points in seconds
    switch (mode) {
    case DragMode::start: {
        double t = baseS + dt;
        if (L) {
            t = std::max(t, *L + pad);
        }
        return t;
    }
    case DragMode::end: {
        double t = baseE + dt;
        if (R) {
            t = std::min(t, *R - pad);
        }
        return t;
    }
    case DragMode::move:
        break;
    }
    double t = baseS + dt;
    if (L) {
        t = std::max(t, *L + pad);
    }
    if (R) {
        t = std::min(t, *R - pad - (baseE - baseS));
    }
    return t;
}

std::string durationLabel(double seconds) {
    const double rounded = std::isfinite(seconds) ? std::round(seconds) : 0;
    const auto total = static_cast<long long>(std::max(rounded, 0.0));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld", total / 60, total % 60);
    return buf;
}

} // namespace orvane::TimelineGeometry
