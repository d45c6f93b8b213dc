#pragma once

#include "CursorSample.h"

#include <vector>

namespace orvane {

// Smooths a recorded cursor track with a centred moving average over 13 samples
// (cut short at both ends). Tracks of fewer than 5 samples come back unchanged.
// Times and pointer flags are kept; averages always use the input samples.
std::vector<CursorSample> smoothedTrack(const std::vector<CursorSample>& track);

} // namespace orvane
