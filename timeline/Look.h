#pragma once

#include "SoundMix.h"

namespace orvane {

// How a take is drawn: the choices of the composition panel and the segment
// defaults, as one value. The document holds it, the inspector edits it, the
// project file and the command line read it, and the preview and the export
// are handed it as it is: a new setting is one more field here and one more
// line where the compositor's settings are made (render/LookSettings.h).
struct Look {
    int formatIndex = 0;     // output shape: 0 the recording's own, then 16:9, 1:1, 9:16, 4:5
    int background = 0;      // gradients 0...4, photographs from 5
    double padding = 0.08;   // fraction of the output's shorter side
    double cornerRadius = 8; // per 640 output pixels
    double bgBlur = 0;       // 0...1
    double motionBlur = 0;   // 0...1
    double zoom = 1.5;       // zoom level of new segments
    double smoothness = 0.8; // 0...1: the camera's and the cursor's glide
    SoundMix sound;          // volumes and mutes of the take's sound sources

    friend bool operator==(const Look&, const Look&) = default;
};

} // namespace orvane
