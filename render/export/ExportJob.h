#pragma once

#include "timeline/Look.h"
#include "timeline/Section.h"
#include "timeline/Timeline.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// Everything one export needs, copied out of the session when it starts, so the
// export never looks at the live Recorder again: the editor may change the take
// while the file is written.
struct ExportJob {
    std::string source; // the recorded movie (UTF-8 path); only read
    std::string output; // the MP4 to write (UTF-8 path); replaced on success only
    Timeline timeline;  // the timeline as it was when the export started
    Look look;          // the output shape follows look.formatIndex and the video's size
    double trimStart = 0;     // seconds
    double trimEnd = 0;       // seconds; see exportRange()
    // Cuts and speeds, in take time; empty for the take as recorded.
    std::vector<Section> sections;
};

// The part of the source that is exported, in seconds of the source's timeline.
struct ExportRange {
    double start = 0;  // first instant exported (output time 0)
    double end = 0;    // frames starting at or after this are left out
    double length = 0; // end - start, at least 0.05: also the progress denominator
};

// start = max(trimStart, 0); end = trimEnd when trimEnd <= D + 0.01 and
// start < trimEnd, else D (the movie's duration); length = max(end - start, 0.05).
// Non-finite inputs count as 0 (trimEnd then falls back to D).
ExportRange exportRange(double trimStart, double trimEnd, double movieDuration);

// Average bit rate of the H.264 stream for an output of w x h pixels:
// min(8 x w x h, 60,000,000) bits per second.
std::int64_t exportBitRate(int w, int h);

// What a finished export wrote.
struct ExportReport {
    std::string output;     // the final path
    std::string encoder;    // FFmpeg's encoder name, e.g. "libx264"
    int width = 0;          // output pixels (even)
    int height = 0;
    std::int64_t frames = 0; // frames written
    double duration = 0;    // seconds of output, first to last frame plus one frame
    std::int64_t bytes = 0; // file size
    // Set when the recording is damaged (a take killed mid-way) and the export
    // stopped where its readable part ends: seconds on the recording's own
    // timeline, the end of the last frame that decoded. The file is complete
    // up to there.
    std::optional<double> endedEarly;
};

// The note that tells the user a damaged recording was exported only up to
// where it could be read: "the recording ends early at 8.2 s".
std::string endedEarlyNote(double seconds);

// Progress of a running export: fraction 0...1 in whole-percent steps (0.37 for
// 37 %), reported once per step and 1 when the file is complete. Called on an
// export worker thread.
using ExportProgress = std::function<void(double fraction)>;

} // namespace orvane
