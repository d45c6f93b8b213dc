#pragma once

#include "Moment.h"
#include "ZoomEffect.h"

#include <vector>

namespace orvane {

// The session settings that shape segments made from clicks.
struct ZoomGenerationSettings {
    double duration = 0;    // seconds: segments end no later than this
    double zoom = 1.5;      // level of every new segment
    double smoothness = 0.8; // smoothness of every new segment
    double zoomMerge = 3.5;  // seconds: a click this close to the previous one joins its segment
};

// Turns clicks into zoom segments. Each click gives [t - 0.5, t + hold + 0.55]
// (start at least 0, end at most the duration); a click within `zoomMerge` of the
// previous click extends the last segment instead. Every segment gets a fresh
// random id. Pure apart from the ids.
std::vector<ZoomEffect> zoomsFromClicks(const std::vector<Moment>& clicks,
                                        const ZoomGenerationSettings& settings);

} // namespace orvane
