#include "Cam.h"

#include <cmath>

namespace orvane::Cam {

Flight flight(State from, State to) {
    Flight f;
    f.x0_ = from.x;
    f.y0_ = from.y;
    f.dx_ = to.x - from.x;
    f.dy_ = to.y - from.y;
    f.w0_ = from.w;
    const double w0 = from.w;
    const double w1 = to.w;
    const double d2 = f.dx_ * f.dx_ + f.dy_ * f.dy_;
    if (d2 < 1e-9) {
        // No pan worth the name: the width changes geometrically.
        f.zoomOnly_ = true;
        f.S_ = std::log(w1 / w0) / RHO;
        return f;
    }
    const double d = std::sqrt(d2);
    // rho^2 and rho^4 are written as the literals 2 and 4.
    const double b0 = (w1 * w1 - w0 * w0 + 4 * d2) / (4 * w0 * d);
    const double r0 = std::log(std::sqrt(b0 * b0 + 1) - b0);
    const double b1 = (w1 * w1 - w0 * w0 - 4 * d2) / (4 * w1 * d);
    const double r1 = std::log(std::sqrt(b1 * b1 + 1) - b1);
    f.D_ = d;
    f.r0_ = r0;
    f.coshR0_ = std::cosh(r0);
    f.sinhR0_ = std::sinh(r0);
    f.S_ = (r1 - r0) / RHO;
    return f;
}

State Flight::operator()(double u) const {
    if (zoomOnly_) {
        return {x0_ + u * dx_, y0_ + u * dy_, w0_ * std::exp(RHO * u * S_)};
    }
    const double s = u * S_;
    const double q = RHO * s + r0_;
    const double frac = w0_ / (2 * D_) * (coshR0_ * std::tanh(q) - sinhR0_);
    return {x0_ + frac * dx_, y0_ + frac * dy_, w0_ * coshR0_ / std::cosh(q)};
}

} // namespace orvane::Cam
