#include "SoundDevicesFactory.h"

#include "capture/pulse/PulseSoundDevices.h"

namespace orvane {

// PulseAudio, or PipeWire's pulse server: libpulse speaks to both.
std::unique_ptr<SoundDevices> makeSoundDevices() {
    return std::make_unique<PulseSoundDevices>();
}

} // namespace orvane
