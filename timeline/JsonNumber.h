#pragma once

#include <string>

namespace orvane {

// Shortest text that reads back to exactly `value` (std::to_chars); integral
// values print without a fraction ("4", "0"). This is how the clicks sidecar
// and the cursor-track CSV write their numbers. Precondition: value is finite.
std::string jsonNumber(double value);

} // namespace orvane
