#pragma once

#include "capture/CaptureContent.h"
#include "timeline/Result.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// One thing the user may record, with a small picture of it.
struct PickerEntry {
    CaptureContent content;
    QImage thumbnail; // at most 160 x 100; null when the window cannot be read (minimised)
};

// Reads what can be recorded right now: the monitors from RandR, then the
// top-level windows from the window manager's _NET_CLIENT_LIST (without a
// window manager: the viewable, titled children of the root window). Areas are
// in root-window pixels, pixel scale 1. `excludeWindow` (the picker itself) is
// left out. Fails with a user-readable reason when the display cannot be
// reached. Any thread; opens its own connection.
Result<std::vector<PickerEntry>> readCaptureContents(const std::string& display,
                                                     std::uint32_t excludeWindow);

} // namespace orvane
