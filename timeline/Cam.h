#pragma once

namespace orvane {

// The camera state on which flights work, and the timeline's camera target.
// `w` is the visible width fraction: 1 shows the whole frame, 1/z a zoom of z.
struct CamState {
    double x = 0.5;
    double y = 0.5;
    double w = 1;

    friend bool operator==(const CamState&, const CamState&) = default;
};

// Optimal zoom-and-pan paths after van Wijk and Nuij ("Smooth and efficient
// zooming and panning"). A flight is made once per keyframe pair and then
// evaluated at any u in 0...1; it holds only the constants of its path.
namespace Cam {

using State = CamState;

// Curvature parameter rho = sqrt(2).
inline constexpr double RHO = 1.4142135623730951;

class Flight {
public:
    // The state at u: u = 0 gives `from`, u = 1 gives `to`.
    State operator()(double u) const;

private:
    friend Flight flight(State from, State to);

    bool zoomOnly_ = false;
    double S_ = 0;     // path length in rho units
    double w0_ = 1;
    double D_ = 0;     // pan distance
    double coshR0_ = 1;
    double sinhR0_ = 0;
    double r0_ = 0;
    double x0_ = 0.5;
    double dx_ = 0;
    double y0_ = 0.5;
    double dy_ = 0;
};

// The smooth flight from one camera state to another. Pure; never fails for
// positive widths.
Flight flight(State from, State to);

} // namespace Cam
} // namespace orvane
