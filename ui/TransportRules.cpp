#include "TransportRules.h"

#include <algorithm>
#include <cmath>

namespace orvane::TransportRules {

QString mmss(double seconds) {
    const double rounded = std::isfinite(seconds) ? std::round(seconds) : 0;
    const auto total = static_cast<long long>(std::max(rounded, 0.0));
    return QString::asprintf("%lld:%02lld", total / 60, total % 60);
}

double seekByTarget(double current, double delta, double trimStart, double trimEnd,
                    double duration) {
    const double hi = trimEnd > trimStart ? trimEnd : duration;
    return std::min(std::max(current + delta, trimStart), hi);
}

bool playRestartsFromTrimStart(double t, double trimStart, double trimEnd) {
    return t >= trimEnd - 0.05 || t < trimStart;
}

bool wrapsAtTrimEnd(bool playing, double t, double trimStart, double trimEnd) {
    return playing && trimStart < trimEnd && t >= trimEnd - 0.03;
}

} // namespace orvane::TransportRules
