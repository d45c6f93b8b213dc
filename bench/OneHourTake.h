#pragma once

// The one-hour take the timeline and editing benchmarks share: 200 zoom
// segments, 400 clicks and a 60 Hz cursor track of 216,000 samples, the same
// every run (fixed seed).
#include "timeline/CursorSample.h"
#include "timeline/Moment.h"
#include "timeline/ZoomEffect.h"

#include <cmath>
#include <random>
#include <vector>

namespace orvane::bench {

struct Take {
    std::vector<ZoomEffect> zooms;
    std::vector<Moment> clicks;
    std::vector<CursorSample> track;
    double duration = 3600;
};

inline const Take& take() {
    static const Take t = [] {
        Take tk;
        std::mt19937_64 rng(42);
        std::uniform_real_distribution<> unit(0, 1);
        for (int i = 0; i < 200; ++i) {
            const double s = i * 18.0 + unit(rng) * 4;
            ZoomEffect z;
            z.id = Uuid::random();
            z.start = s;
            z.end = s + 2 + unit(rng) * 8;
            z.zoom = 1.5 + unit(rng);
            z.smooth = unit(rng);
            if (i % 3 == 0) {
                z.fx = unit(rng);
                z.fy = unit(rng);
            }
            tk.zooms.push_back(z);
            for (int c = 0; c < 2; ++c) {
                Moment m;
                m.t = s + 0.5 + c * 1.5;
                m.cx = unit(rng);
                m.cy = unit(rng);
                tk.clicks.push_back(m);
            }
        }
        for (int i = 0; i < 216000; ++i) {
            const double t = i / 60.0;
            tk.track.push_back({t, 0.5 + 0.4 * std::sin(t * 0.7), 0.5 + 0.4 * std::cos(t * 0.45),
                                (i / 90) % 4 == 0});
        }
        return tk;
    }();
    return t;
}

} // namespace orvane::bench
