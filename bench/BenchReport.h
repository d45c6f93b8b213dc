#pragma once

// One row of the performance report that bench/run gathers from every
// benchmark: a tab-separated line starting with "REPORT".
#include <cstdio>
#include <sys/resource.h>

namespace orvane::bench {

// User plus system time in a resource report, seconds.
inline double cpuSeconds(const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) * 1e-6;
}

// The CPU time this process has used so far, every thread, seconds.
inline double selfCpu() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return cpuSeconds(r);
}

inline void reportRow(const char* figure, const char* value, const char* baseline, double ratio,
                      const char* goal, bool met) {
    std::printf("REPORT\t%s\t%s\t%s\t%.2f\t%s\t%s\n", figure, value, baseline, ratio, goal,
                met ? "yes" : "NO");
    std::fflush(stdout);
}

} // namespace orvane::bench
