#pragma once

#include "Moment.h"
#include "Section.h"
#include "SoundMix.h"
#include "ZoomEffect.h"

#include <vector>

namespace orvane {

// One undo step: the editable document as it was before an edit.
struct EditSnapshot {
    std::vector<Moment> moments;
    std::vector<ZoomEffect> zooms;
    double trimStart = 0; // seconds
    double trimEnd = 0;   // seconds
    SoundMix sound;       // volumes and mutes of the sound sources
    std::vector<Section> sections; // cuts and speeds; empty: the undivided take

    friend bool operator==(const EditSnapshot&, const EditSnapshot&) = default;
};

} // namespace orvane
