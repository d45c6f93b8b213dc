#pragma once

#include "CursorSample.h"
#include "Result.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// A cursor track as CSV with the header "t,x,y,pointer" (pointer 0 or 1), one
// sample per line in time order. Written by the scripted recorder, read by the
// command-line tools.
namespace TrackCsv {

inline constexpr std::string_view kHeader = "t,x,y,pointer";

std::string encode(const std::vector<CursorSample>& track);

// Errors name the line and the problem. Samples out of time order are refused:
// the track is searched by time. A UTF-8 byte-order mark is skipped; UTF-16
// text is refused (see utf8Text).
Result<std::vector<CursorSample>> parse(std::string_view text);

} // namespace TrackCsv
} // namespace orvane
