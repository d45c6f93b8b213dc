#include "SoundDevicesFactory.h"

namespace orvane {

// This build records no sound yet: the libpulse devices take this place once
// they are built beside the other backends.
std::unique_ptr<SoundDevices> makeSoundDevices() {
    return nullptr;
}

} // namespace orvane
