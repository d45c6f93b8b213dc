#pragma once

#include <QString>

#include <optional>

namespace orvane {

// The duration of the movie at `path` in seconds as its container states it
// (for a fragmented movie: from its fragments), nothing when the file cannot be
// read or the duration is not a positive finite number. Any thread.
std::optional<double> readMovieDuration(const QString& path);

} // namespace orvane
