#include "SoundWaveform.h"

#include <algorithm>
#include <cmath>

namespace orvane {

std::vector<float> SoundWaveform::mixed(double microphoneGain, double desktopGain) const {
    const auto gainOf = [](double g) {
        return std::isfinite(g) ? static_cast<float>(std::max(g, 0.0)) : 0.0f;
    };
    const float gm = gainOf(microphoneGain);
    const float gd = gainOf(desktopGain);
    std::vector<float> out(buckets(), 0.0f);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float m = i < microphone.size() ? microphone[i] : 0.0f;
        const float d = i < desktop.size() ? desktop[i] : 0.0f;
        out[i] = std::min(1.0f, gm * m + gd * d);
    }
    return out;
}

} // namespace orvane
