#include "ZoomGeneration.h"

#include <algorithm>

namespace orvane {

std::vector<ZoomEffect> zoomsFromClicks(const std::vector<Moment>& clicks,
                                        const ZoomGenerationSettings& settings) {
    std::vector<Moment> sorted = clicks;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Moment& a, const Moment& b) { return a.t < b.t; });

    std::vector<ZoomEffect> result;
    double previous = -1e9; // so that the first click never merges
    for (const Moment& m : sorted) {
        const double end = std::min(m.t + m.hold + 0.55, settings.duration);
        // Merging compares click times only, so a chain of close clicks makes one
        // segment however long the chain is.
        if (!result.empty() && m.t - previous <= settings.zoomMerge) {
            result.back().end = std::max(result.back().end, end);
        } else {
            ZoomEffect z;
            z.id = Uuid::random();
            z.start = std::max(m.t - 0.5, 0.0);
            z.end = end;
            z.zoom = settings.zoom;
            z.smooth = settings.smoothness;
            result.push_back(z);
        }
        previous = m.t;
    }
    return result;
}

} // namespace orvane
