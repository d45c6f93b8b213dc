#pragma once

#include "timeline/Section.h"

#include <vector>

namespace orvane {

// Where the timeline bar draws each instant of a take with cut or sped-up
// sections: a cut part shrinks to a narrow gap of kGap points that stays
// there to be clicked (and restored), and the kept parts share the rest of
// the width in proportion to how long they play (a 2x part is half as wide),
// so scrubbing runs on output time. The bar works in "bar time", seconds on
// that scale (barDuration() in all), and hands take times back to its owner.
// Without cuts or speeds, or without room for the gaps, bar time is take time.
// A value; pure; any thread.
class BarScale {
public:
    static constexpr double kGap = 10; // points per cut part

    BarScale() = default; // bar time is take time
    BarScale(const std::vector<Section>& sections, double duration, double width);

    bool identity() const { return spans_.empty(); }
    double barDuration() const { return barDuration_; }
    // Bar time of take time t, and back; both monotonic, clamped to the take.
    double toBar(double t) const;
    double toTake(double b) const;

private:
    struct Span {
        double takeStart, takeEnd, barStart, barEnd;
    };
    std::vector<Span> spans_;
    double barDuration_ = 0;
};

} // namespace orvane
