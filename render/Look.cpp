#include "Look.h"

#include "OutputGeometry.h"

namespace orvane {

CompositorSettings Look::compositorSettings() const {
    CompositorSettings c;
    c.smoothness = smoothness;
    c.motionBlur = motionBlur;
    c.padding = padding;
    c.cornerRadius = cornerRadius;
    return c;
}

double Look::outputAspect(int videoW, int videoH) const {
    return orvane::outputAspect(formatIndex, videoW, videoH);
}

} // namespace orvane
