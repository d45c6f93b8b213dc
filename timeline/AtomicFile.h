#pragma once

#include "Result.h"

#include <string>

namespace orvane {

// Writes `bytes` to `path` through a file beside it that is renamed into place
// once it is complete and on the disk, so a crash or a full disk mid-write
// never leaves a cut file under the real name: the old file stays whole until
// the new one replaces it. The error says "cannot write <path>: <why>" and has
// the kind of the failure (NoSpace for a full disk, Permission, Invalid for a
// folder in the way, Io otherwise). Any thread.
Result<void> saveFileAtomically(const std::string& path, const std::string& bytes);

} // namespace orvane
