#pragma once

// One row of the performance report that bench/run gathers from every
// benchmark: a tab-separated line starting with "REPORT".
#include <cstdio>

namespace orvane::bench {

inline void reportRow(const char* figure, const char* value, const char* baseline, double ratio,
                      const char* goal, bool met) {
    std::printf("REPORT\t%s\t%s\t%s\t%.2f\t%s\t%s\n", figure, value, baseline, ratio, goal,
                met ? "yes" : "NO");
    std::fflush(stdout);
}

} // namespace orvane::bench
