#include "LookSettings.h"

#include "OutputGeometry.h"

namespace orvane {

CompositorSettings compositorSettings(const Look& look) {
    CompositorSettings c;
    c.smoothness = look.smoothness;
    c.motionBlur = look.motionBlur;
    c.padding = look.padding;
    c.cornerRadius = look.cornerRadius;
    return c;
}

double outputAspect(const Look& look, int videoW, int videoH) {
    return outputAspect(look.formatIndex, videoW, videoH);
}

} // namespace orvane
