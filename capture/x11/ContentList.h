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
    // At most 160 x 100; null until it has been read (ThumbnailLoader), and for
    // good when the window cannot be read (minimised, closed meanwhile).
    QImage thumbnail;
};

// Reads what can be recorded right now: the monitors from RandR, then the
// top-level windows from the window manager's _NET_CLIENT_LIST (without a
// window manager: the viewable, titled children of the root window). Areas are
// in root-window pixels, pixel scale 1. `excludeWindow` (the picker itself) is
// left out. Reads names and areas only, a few round trips per window, so that
// the picker can open at once; the pictures are read apart (ThumbnailGrabber).
// Fails with a user-readable reason when the display cannot be reached. Any
// thread; opens its own connection.
Result<std::vector<PickerEntry>> readCaptureContents(const std::string& display,
                                                     std::uint32_t excludeWindow);

} // namespace orvane
