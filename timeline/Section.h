#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace orvane {

// One stretch of the take, as the user divided it on the timeline bar: kept
// or cut, played at a speed, with or without its sound. Times are seconds of
// take time.
struct Section {
    double start = 0;
    double end = 0;
    bool cut = false;    // left out of the preview and the export
    double speed = 1;    // 0.25...16; 2 plays the stretch in half its length
    bool muted = false;  // its sound is silent (sound above 4x always is)

    double length() const { return end - start; }
    // Plays exactly as recorded.
    bool plain() const { return !cut && speed == 1 && !muted; }

    friend bool operator==(const Section&, const Section&) = default;
};

// The list of sections of one take. An empty list is the undivided take: one
// kept section at 1x from 0 to the end. A non-empty list covers the take from
// 0 to its duration without gaps, in order; the operations below keep it so.
// Pure functions on values; any thread.
namespace sections {

inline constexpr double kMinSpeed = 0.25;
inline constexpr double kMaxSpeed = 16;
// Above this speed the sound is left out: stretched that far it is noise.
inline constexpr double kSoundSpeedLimit = 4;
// A split closer than this to a boundary makes no section (seconds).
inline constexpr double kMinLength = 0.05;

// The undivided take as a list of one section.
std::vector<Section> whole(double duration);

// Whether the list plays the take as recorded (empty, or every section plain).
bool plain(const std::vector<Section>& list);

// The index of the section holding take time t (a boundary belongs to the
// section it starts); t before 0 gives the first, t at or after the end the
// last. Nothing for an empty list.
std::optional<std::size_t> indexAt(const std::vector<Section>& list, double t);

// A list made valid for a take of `duration` seconds: sorted by start, gaps
// and overlaps closed (a later section begins where the earlier ends),
// sections of no length dropped, speeds clamped into 0.25...16, the first
// starting at 0 and the last ending at the duration. Boundaries between
// plain sections are kept: the user split there. Non-finite values count as
// missing; a list with nothing left (or a duration of 0) comes out empty.
std::vector<Section> normalised(std::vector<Section> list, double duration);

// The list with the section at t divided in two at t; both halves keep its
// settings. Unchanged when t is within kMinLength of a boundary or outside
// (0, duration).
std::vector<Section> split(const std::vector<Section>& list, double t, double duration);

// The list with the boundary that starts section `index` moved to t, kept at
// least kMinLength inside both neighbours. Unchanged for index 0 or out of range.
std::vector<Section> movedBoundary(const std::vector<Section>& list, std::size_t index, double t);

// The list with take range [start, end) set apart as sections of its own and
// each given `change`. Used by the command line's ranges.
template <typename Change>
std::vector<Section> withRange(const std::vector<Section>& list, double start, double end,
                               double duration, Change change) {
    std::vector<Section> out = split(split(list.empty() ? whole(duration) : list, start, duration),
                                     end, duration);
    for (Section& s : out) {
        if (s.start >= start - 1e-9 && s.end <= end + 1e-9) {
            change(s);
        }
    }
    return out;
}

} // namespace sections
} // namespace orvane
