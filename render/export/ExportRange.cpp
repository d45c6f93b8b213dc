#include "ExportJob.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvane {

ExportRange exportRange(double trimStart, double trimEnd, double movieDuration) {
    const auto finiteOr0 = [](double v) { return std::isfinite(v) ? v : 0.0; };
    const double d = std::max(finiteOr0(movieDuration), 0.0);
    ExportRange r;
    r.start = std::max(finiteOr0(trimStart), 0.0);
    const double te = finiteOr0(trimEnd);
    r.end = (te <= d + 0.01 && r.start < te) ? te : d;
    r.length = std::max(r.end - r.start, 0.05);
    return r;
}

std::int64_t exportBitRate(int w, int h) {
    const std::int64_t pixels = static_cast<std::int64_t>(std::max(w, 0)) * std::max(h, 0);
    return std::min<std::int64_t>(8 * pixels, 60'000'000);
}

std::string endedEarlyNote(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "the recording ends early at %.1f s",
                  std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0);
    return text;
}

} // namespace orvane
