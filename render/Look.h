#pragma once

#include "FrameCompositor.h"
#include "render/media/SoundTracks.h"

namespace orvane {

// How a take is drawn: the choices of the composition panel and the segment
// defaults, as one value. The Recorder holds it; the preview and the export
// are handed it as it is, so a new setting is one more field here and one
// more line where the compositor's settings are made.
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

    // The compositor's part of the look.
    CompositorSettings compositorSettings() const;
    // Width / height of the output for a video of `videoW` x `videoH` pixels.
    double outputAspect(int videoW, int videoH) const;

    friend bool operator==(const Look&, const Look&) = default;
};

} // namespace orvane
