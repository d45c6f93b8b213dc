#pragma once

#include <algorithm>
#include <cmath>

// Critically damped springs as the compositor (and the live preview) smooth the
// camera and the cursor: integrated in equal sub-steps of at most 1/240 s,
// velocity first, then position with the new velocity. Pure; any thread.

namespace orvane::spring {

inline constexpr double kMaxStep = 1.0 / 240.0; // seconds
inline constexpr double kTwoPi = 6.283185307179586;

// How a time step of dt seconds is cut: n equal sub-steps of h seconds.
struct Steps {
    int n = 1;
    double h = kMaxStep;
};

inline Steps steps(double dt) {
    // The small allowance keeps 1/60 s at exactly four sub-steps despite rounding.
    const double count = std::ceil(dt / kMaxStep - 1e-9);
    const int n = std::max(1, static_cast<int>(std::isfinite(count) ? std::min(count, 1e6) : 1));
    return {n, dt / n};
}

// Angular frequency of a spring with period `period` seconds.
inline double omegaForPeriod(double period) {
    return kTwoPi / period;
}

// Runs one channel n sub-steps toward `target` with stiffness omega^2 and
// damping 2 omega (critical).
inline void advance(double& position, double& velocity, double target, double omega,
                    const Steps& s) {
    const double k = omega * omega;
    const double c = 2 * omega;
    for (int i = 0; i < s.n; ++i) {
        velocity += s.h * (-k * (position - target) - c * velocity);
        position += s.h * velocity;
    }
}

} // namespace orvane::spring
