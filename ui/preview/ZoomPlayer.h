#pragma once

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
    double smoothness = 0.8;
    double motionBlur = 0;
    double bgBlur = 0;
    double padding = 0.08;
    double cornerRadius = 8;   // per 640 output pixels, as in the export
    int background = 0;
    double outputAspect = 1.6; // width / height of the output canvas
    double loopStart = 0;      // seconds: where playback restarts at the end
    std::function<void()> onBackgroundTap;
};

} // namespace orvane
