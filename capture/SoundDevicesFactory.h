#pragma once

#include "SoundSource.h"

#include <memory>

namespace orvane {

// The sound server the programs record from: the one place that knows which
// SoundDevices implementation is built. Null when this build has none, which
// the Recorder reports as "No sound server answered" for a take that asks for
// sound. Main thread.
std::unique_ptr<SoundDevices> makeSoundDevices();

} // namespace orvane
