#pragma once

#include "Section.h"
#include "ZoomEffect.h"

#include <cstddef>
#include <vector>

namespace orvane {

// The one mapping between take time (what the camera path, the cursor, the
// clicks, the zoom segments and the sound answer in) and output time (what
// the playhead, the preview's clock, the transport and the export run on):
// cut sections are left out and every kept section runs at its speed. Output
// time 0 is take time 0; the trim bounds are applied on top (the export's
// output starts at outputTime(trimStart)). An empty or plain list maps every
// time to itself. A value; pure; any thread.
class TimeMap {
public:
    // One kept section, with where it lies on both clocks.
    struct Piece {
        double takeStart = 0;
        double takeEnd = 0;
        double outStart = 0;
        double outEnd = 0;
        double speed = 1;
        bool muted = false;   // its sound is silent
        std::size_t section = 0; // its index in the list

        friend bool operator==(const Piece&, const Piece&) = default;
    };

    TimeMap() = default; // every time to itself
    friend bool operator==(const TimeMap& a, const TimeMap& b) {
        return a.identity_ == b.identity_ && a.pieces_ == b.pieces_ && a.end_ == b.end_;
    }
    explicit TimeMap(const std::vector<Section>& sections);

    // No cut and no speed: output time is take time.
    bool identity() const { return identity_; }
    const std::vector<Piece>& pieces() const { return pieces_; }

    // Output time of take time t. A time inside a cut maps to the instant the
    // output reaches the next kept section (the join). Before 0 and after the
    // end the last (first) speed goes on, so the map never stops.
    double outputTime(double takeTime) const;
    // Take time shown at output time o: the inverse of outputTime() on kept
    // time. At a join, the start of the section after it.
    double takeTime(double outputTime) const;
    // Output length of take range [start, end).
    double outputLength(double start, double end) const {
        return outputTime(end) - outputTime(start);
    }
    // The piece playing take time t, or nullptr inside a cut (or for identity).
    const Piece* pieceAt(double takeTime) const;
    // Where playback goes on from take time t: t itself when it is kept, else
    // the start of the next kept section (the end of the list when none).
    double keptFrom(double takeTime) const;

private:
    bool identity_ = true;
    std::vector<Piece> pieces_;
    double end_ = 0; // take time where the list ends
};

// The zoom segments as the cut take shows them: one inside a cut is left out,
// one with an end inside a cut is shortened to the kept part. Segments that
// span a whole cut keep both ends.
std::vector<ZoomEffect> visibleZooms(const std::vector<ZoomEffect>& zooms,
                                     const std::vector<Section>& sections);

} // namespace orvane
