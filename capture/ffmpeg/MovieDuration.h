#pragma once

#include <QString>

#include <optional>

namespace orvane {

// The duration of the movie at `path` in seconds as its container states it
// (for a fragmented movie: from its fragments), nothing when the file cannot be
// read or the duration is not a positive finite number. A take is its picture:
// when the video track states its own duration, that one counts, so sound
// that runs a few milliseconds past the last frame (an AAC frame's tail) does
// not lengthen the take. Any thread.
std::optional<double> readMovieDuration(const QString& path);

} // namespace orvane
