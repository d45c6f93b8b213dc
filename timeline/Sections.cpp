#include "Section.h"

#include <algorithm>
#include <cmath>

namespace orvane::sections {

std::vector<Section> whole(double duration) {
    Section s;
    s.end = std::isfinite(duration) ? std::max(duration, 0.0) : 0.0;
    return {s};
}

bool plain(const std::vector<Section>& list) {
    return std::all_of(list.begin(), list.end(), [](const Section& s) { return s.plain(); });
}

std::optional<std::size_t> indexAt(const std::vector<Section>& list, double t) {
    if (list.empty()) {
        return std::nullopt;
    }
    // The first section that ends after t; the last for t at or after the end.
    const auto it = std::upper_bound(list.begin(), list.end(), t,
                                     [](double time, const Section& s) { return time < s.end; });
    return it == list.end() ? list.size() - 1 : static_cast<std::size_t>(it - list.begin());
}

std::vector<Section> normalised(std::vector<Section> list, double duration) {
    if (!std::isfinite(duration) || duration <= 0) {
        return {};
    }
    std::erase_if(list, [](const Section& s) {
        return !std::isfinite(s.start) || !std::isfinite(s.end) || !(s.end > s.start);
    });
    std::stable_sort(list.begin(), list.end(),
                     [](const Section& a, const Section& b) { return a.start < b.start; });
    std::vector<Section> out;
    out.reserve(list.size() + 2);
    double at = 0; // where the next section must begin
    for (Section s : list) {
        s.speed = std::isfinite(s.speed) ? std::clamp(s.speed, kMinSpeed, kMaxSpeed) : 1.0;
        if (s.start > at) {
            // A gap: filled by a plain section.
            Section gap;
            gap.start = at;
            gap.end = std::min(s.start, duration);
            if (gap.end > gap.start) {
                out.push_back(gap);
            }
        }
        s.start = std::max(s.start, at);
        s.end = std::min(s.end, duration);
        if (s.end - s.start <= 1e-9) {
            continue;
        }
        out.push_back(s);
        at = s.end;
        if (at >= duration) {
            break;
        }
    }
    if (out.empty()) {
        return {};
    }
    out.front().start = 0;
    if (out.back().end < duration) {
        if (out.back().plain()) {
            out.back().end = duration;
        } else {
            Section tail;
            tail.start = out.back().end;
            tail.end = duration;
            out.push_back(tail);
        }
    }
    return out;
}

std::vector<Section> split(const std::vector<Section>& list, double t, double duration) {
    std::vector<Section> out = list.empty() ? whole(duration) : list;
    if (!std::isfinite(t) || t <= 0 || out.empty() || t >= out.back().end) {
        return list;
    }
    const std::size_t i = *indexAt(out, t);
    const Section s = out[i];
    if (t - s.start < kMinLength || s.end - t < kMinLength) {
        return list;
    }
    Section second = s;
    out[i].end = t;
    second.start = t;
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(i) + 1, second);
    return out;
}

std::vector<Section> movedBoundary(const std::vector<Section>& list, std::size_t index, double t) {
    if (index == 0 || index >= list.size() || !std::isfinite(t)) {
        return list;
    }
    std::vector<Section> out = list;
    const double lo = out[index - 1].start + kMinLength;
    const double hi = out[index].end - kMinLength;
    if (lo > hi) {
        return list;
    }
    const double at = std::clamp(t, lo, hi);
    out[index - 1].end = at;
    out[index].start = at;
    return out;
}

} // namespace orvane::sections
