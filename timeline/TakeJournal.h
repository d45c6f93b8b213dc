#pragma once

#include "CursorSample.h"
#include "Moment.h"
#include "Result.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The take journal: an append-only text file kept beside a take's movie while
// it records, so that the clicks and the cursor track survive a crash, a kill
// or a power cut the way the fragmented movie does. A take that ends normally
// writes its usual files and removes the journal; one that finds a journal on
// the next start has been interrupted.
//
// One record a line, fields separated by single spaces, numbers in their
// shortest exact form (read back bit for bit):
//   orvane-take-journal 1          first line
//   video <width> <height> <cursorInPicture 0|1>
//   c <t> <cx> <cy>                a click (hold as recorded)
//   s <t> <x> <y> <pointer 0|1>    a cursor sample
// Times are seconds since the take began, positions normalised to the
// captured area, as in the clicks file and the cursor track.
namespace takejournal {

inline constexpr const char* kFileName = "orvane-take.journal";
// Larger journals are refused before they are read (a day of samples is
// about 2 GB less than this; anything bigger is not a journal).
inline constexpr long long kMaxBytes = 256LL * 1024 * 1024;

std::string headerLine();
std::string videoLine(int width, int height, bool cursorInPicture);
std::string clickLine(const Moment& click);
std::string sampleLine(const CursorSample& sample);

// What a journal holds.
struct Contents {
    int width = 0;   // pixels of the movie, 0 when the take never started writing
    int height = 0;
    bool cursorInPicture = false;
    std::vector<Moment> clicks;       // in the order recorded
    std::vector<CursorSample> track;  // in the order sampled
    // Lines after the first unreadable one are not used: a crash can leave a
    // torn or zero-filled tail.
    bool tailDropped = false;
};

// Reads a journal's text. Fails (Corrupt) only when the first line is not a
// journal header; a damaged tail is dropped, a last line without its newline
// (cut by the crash) is ignored.
Result<Contents> parse(std::string_view text);
// Reads and parses the journal at `path`, refusing files over kMaxBytes.
Result<Contents> read(const std::string& path);
// Whether a program is writing the journal at `path` now: its writer holds a
// lock on it for as long as the take records (capture/TakeJournalWriter). A
// journal nobody holds is one a take left behind when it was cut short.
bool inUse(const std::string& path);

} // namespace takejournal
} // namespace orvane
