#pragma once

#include "Result.h"

#include <string>

namespace orvane {

// Reads a whole text file. The error names the problem (missing, unreadable,
// a directory, too large) without the path; callers prefix the path.
Result<std::string> readTextFile(const std::string& path);

} // namespace orvane
