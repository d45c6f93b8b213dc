#pragma once

#include "Result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

// The largest text file the tools read: far above any real take (a one-hour
// cursor track is about 8 MB), far below what would exhaust the memory.
inline constexpr std::uintmax_t kMaxTextFileBytes = 256ull << 20;

// Reads a whole text file of at most `maxBytes` bytes. A regular file that is
// larger is refused by its size before anything is read; a FIFO, a device or
// anything else without a size is read until it ends or passes the limit, so
// /dev/zero or an endless pipe is refused after `maxBytes` bytes, never read
// on and on. The memory used is the file's size (one allocation for a regular
// file). The error names the problem (missing, unreadable, a folder, too
// large) without the path; callers prefix the path.
Result<std::string> readTextFile(const std::string& path,
                                 std::uintmax_t maxBytes = kMaxTextFileBytes);

// The UTF-8 text of a file as read: without the UTF-8 byte-order mark some
// editors put at the start. UTF-16 text (either byte-order mark, or NUL bytes,
// which UTF-8 text never holds) is refused with a message saying so.
Result<std::string_view> utf8Text(std::string_view bytes);

} // namespace orvane
