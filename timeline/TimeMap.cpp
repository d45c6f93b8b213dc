#include "TimeMap.h"

#include <algorithm>
#include <cmath>

namespace orvane {

TimeMap::TimeMap(const std::vector<Section>& sections) {
    identity_ = sections::plain(sections) || sections.empty();
    if (identity_) {
        return;
    }
    double out = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        if (s.cut || !(s.end > s.start)) {
            continue;
        }
        Piece p;
        p.takeStart = s.start;
        p.takeEnd = s.end;
        p.speed = std::clamp(s.speed, sections::kMinSpeed, sections::kMaxSpeed);
        p.outStart = out;
        p.outEnd = out + (s.end - s.start) / p.speed;
        p.muted = s.muted || p.speed > sections::kSoundSpeedLimit;
        p.section = i;
        out = p.outEnd;
        pieces_.push_back(p);
    }
    end_ = sections.back().end;
}

double TimeMap::outputTime(double t) const {
    if (identity_ || !std::isfinite(t)) {
        return t;
    }
    if (pieces_.empty()) {
        return 0; // everything is cut
    }
    const Piece& first = pieces_.front();
    if (t < first.takeStart) {
        // Before the first kept section: at its start (a cut), or before 0.
        return t < 0 && first.takeStart <= 0 ? t / first.speed : first.outStart;
    }
    // The last piece that starts at or before t.
    auto it = std::upper_bound(pieces_.begin(), pieces_.end(), t,
                               [](double time, const Piece& p) { return time < p.takeStart; });
    const Piece& p = *(it - 1);
    if (t < p.takeEnd) {
        return p.outStart + (t - p.takeStart) / p.speed;
    }
    if (it != pieces_.end()) {
        return it->outStart; // inside the cut before the next piece
    }
    // After the last piece: past the list's end its speed goes on (the
    // movie may run a little longer than the take said); inside a final cut
    // the output has ended.
    if (p.takeEnd >= end_) {
        return p.outEnd + (t - p.takeEnd) / p.speed;
    }
    return p.outEnd;
}

double TimeMap::takeTime(double o) const {
    if (identity_ || !std::isfinite(o)) {
        return o;
    }
    if (pieces_.empty()) {
        return end_;
    }
    const Piece& first = pieces_.front();
    if (o < 0) {
        return first.takeStart + o * first.speed;
    }
    // The last piece that starts at or before o on the output clock.
    auto it = std::upper_bound(pieces_.begin(), pieces_.end(), o,
                               [](double time, const Piece& p) { return time < p.outStart; });
    const Piece& p = *(it - 1);
    return p.takeStart + (o - p.outStart) * p.speed;
}

const TimeMap::Piece* TimeMap::pieceAt(double t) const {
    if (identity_ || pieces_.empty() || !std::isfinite(t)) {
        return nullptr;
    }
    auto it = std::upper_bound(pieces_.begin(), pieces_.end(), t,
                               [](double time, const Piece& p) { return time < p.takeStart; });
    if (it == pieces_.begin()) {
        return nullptr;
    }
    const Piece& p = *(it - 1);
    const bool last = it == pieces_.end() && p.takeEnd >= end_;
    return t < p.takeEnd || last ? &p : nullptr;
}

double TimeMap::keptFrom(double t) const {
    if (identity_ || pieceAt(t) != nullptr) {
        return t;
    }
    for (const Piece& p : pieces_) {
        if (p.takeStart >= t) {
            return p.takeStart;
        }
    }
    return std::max(t, end_);
}

std::vector<ZoomEffect> visibleZooms(const std::vector<ZoomEffect>& zooms,
                                     const std::vector<Section>& sections) {
    const bool anyCut =
        std::any_of(sections.begin(), sections.end(), [](const Section& s) { return s.cut; });
    if (!anyCut) {
        return zooms;
    }
    const TimeMap map(sections);
    std::vector<ZoomEffect> out;
    out.reserve(zooms.size());
    for (ZoomEffect z : zooms) {
        // A start inside a cut moves to where the take goes on; an end inside
        // a cut moves back to where the kept part before it ends.
        z.start = map.keptFrom(z.start);
        if (map.pieceAt(z.end) == nullptr) {
            double keptEnd = z.start;
            for (const auto& p : map.pieces()) {
                if (p.takeEnd <= z.end && p.takeEnd > keptEnd) {
                    keptEnd = p.takeEnd;
                }
            }
            z.end = keptEnd;
        }
        if (z.end - z.start > 1e-6) {
            out.push_back(z);
        }
    }
    return out;
}

} // namespace orvane
