#pragma once

#include "FrameCompositor.h"

#include "timeline/Look.h"

namespace orvane {

// The compositor's part of a look.
CompositorSettings compositorSettings(const Look& look);
// Width / height of the output of `look` for a video of `videoW` x `videoH` pixels.
double outputAspect(const Look& look, int videoW, int videoH);

} // namespace orvane
