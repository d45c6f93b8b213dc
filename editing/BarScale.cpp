#include "BarScale.h"

#include <algorithm>
#include <cmath>

namespace orvane {

BarScale::BarScale(const std::vector<Section>& sections, double duration, double width)
    : barDuration_(duration) {
    int cuts = 0;
    bool sped = false;
    double kept = 0; // output seconds of the kept parts
    for (const Section& s : sections) {
        if (s.cut) {
            ++cuts;
        } else {
            kept += s.length() / s.speed;
            sped = sped || s.speed != 1;
        }
    }
    const double room = width - cuts * kGap;
    if ((cuts == 0 && !sped) || kept <= 0 || room <= width / 4 || !(duration > 0)) {
        return; // nothing to squeeze, or no room for it
    }
    // A gap of kGap points is `gap` seconds of bar time.
    const double gap = kGap * kept / room;
    double at = 0;
    for (const Section& s : sections) {
        const double length = s.cut ? gap : s.length() / s.speed;
        spans_.push_back({s.start, s.end, at, at + length});
        at += length;
    }
    barDuration_ = at;
}

double BarScale::toBar(double t) const {
    if (spans_.empty() || !std::isfinite(t)) {
        return t;
    }
    t = std::clamp(t, spans_.front().takeStart, spans_.back().takeEnd);
    const auto it = std::upper_bound(spans_.begin(), spans_.end(), t,
                                     [](double v, const Span& s) { return v < s.takeEnd; });
    const Span& s = it == spans_.end() ? spans_.back() : *it;
    const double take = s.takeEnd - s.takeStart;
    const double u = take > 0 ? (t - s.takeStart) / take : 0;
    return s.barStart + u * (s.barEnd - s.barStart);
}

double BarScale::toTake(double b) const {
    if (spans_.empty() || !std::isfinite(b)) {
        return b;
    }
    b = std::clamp(b, 0.0, barDuration_);
    const auto it = std::upper_bound(spans_.begin(), spans_.end(), b,
                                     [](double v, const Span& s) { return v < s.barEnd; });
    const Span& s = it == spans_.end() ? spans_.back() : *it;
    const double bar = s.barEnd - s.barStart;
    const double u = bar > 0 ? (b - s.barStart) / bar : 0;
    return s.takeStart + u * (s.takeEnd - s.takeStart);
}

} // namespace orvane
