#pragma once

namespace orvane::media {

// Keeps FFmpeg's own log to fatal errors only. Command-line tools and the
// application report failures in their own words; FFmpeg's per-encoder chatter
// would bury them. Call once at start-up, before any other thread uses FFmpeg.
void quietMediaLog();

} // namespace orvane::media
