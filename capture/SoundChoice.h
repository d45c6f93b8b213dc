#pragma once

#include "media/SoundTracks.h"

#include <QString>

#include <vector>

namespace orvane {

// Which sound sources the next take records. Both off by default: a take
// without sound is exactly a take of before.
struct SoundChoice {
    bool microphone = false;
    // The input the microphone is read from (SoundDevice::id); empty for the
    // server's default input.
    QString microphoneDevice;
    bool desktop = false;

    bool any() const { return microphone || desktop; }
    bool wants(SoundKind kind) const {
        return kind == SoundKind::Microphone ? microphone : desktop;
    }
    // The chosen sources, microphone first.
    std::vector<SoundKind> kinds() const;

    friend bool operator==(const SoundChoice&, const SoundChoice&) = default;
};

// The choice remembered between runs (QSettings of the application, group
// "sound"). Main thread; needs the application's organisation and name set.
SoundChoice loadSoundChoice();
void saveSoundChoice(const SoundChoice& choice);

} // namespace orvane
