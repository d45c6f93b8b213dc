#pragma once

#include "timeline/Look.h"
#include "timeline/Timeline.h"

#include <functional>

namespace orvane {

// The settings the main window pushes into the live preview whenever an edit
// setting changes: the take's timeline and the look.
struct ZoomPlayer {
    Timeline timeline;
    double aspect = 1.6;       // the video's width / height
    int videoWidth = 1920;     // pixels of the recording, for the export's output size
    int videoHeight = 1200;
    Look look;                 // as the export draws it
    double loopStart = 0;      // seconds: where playback restarts at the end
    std::function<void()> onBackgroundTap;
};

} // namespace orvane
