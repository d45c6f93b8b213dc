#pragma once

#include "Moment.h"
#include "Result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The clicks sidecar written beside each take:
//   {"duration":4.25,"moments":[{"t":1.5,"x":0.25,"y":0.5},...]}
// Compact, members in that order. "duration" is the time of the last click (0
// without clicks), not the movie's length.
struct ClicksFile {
    double duration = 0;
    std::vector<Moment> moments; // hold is 0.9 on read, like a captured click

    // Encodes the clicks of a take. Nothing when a value is not finite (JSON has
    // no form for it).
    static std::optional<std::string> encode(const std::vector<Moment>& clicks);

    // Parses a sidecar with nlohmann's JSON reader, without building a
    // document: the memory is the clicks found, whatever else the file holds.
    // A UTF-8 byte-order mark is skipped; UTF-16 text is refused. Errors name
    // the problem in one line (where in the file, which moment and field).
    static Result<ClicksFile> parse(std::string_view text);
};

} // namespace orvane
