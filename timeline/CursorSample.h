#pragma once

namespace orvane {

// One cursor sample taken at 60 Hz while recording. Positions are normalised to
// the captured area and may lie outside 0...1 when the cursor left it.
struct CursorSample {
    double t = 0; // seconds since the take began
    double x = 0;
    double y = 0;
    bool pointer = false; // the pointing-hand cursor was showing

    friend bool operator==(const CursorSample&, const CursorSample&) = default;
};

// A normalised point (x right, y down).
struct NormPoint {
    double x = 0.5;
    double y = 0.5;

    friend bool operator==(const NormPoint&, const NormPoint&) = default;
};

} // namespace orvane
