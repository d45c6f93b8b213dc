#pragma once

// Google Benchmark's console output, plus each benchmark's real time per
// iteration in nanoseconds, kept for a summary with ratios.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace orvane::bench {

class RealTimeCollector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns; // benchmark name -> nanoseconds per iteration

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs) {
            const double scale = r.time_unit == benchmark::kSecond        ? 1e9
                                 : r.time_unit == benchmark::kMillisecond ? 1e6
                                 : r.time_unit == benchmark::kMicrosecond ? 1e3
                                                                          : 1.0;
            ns[r.benchmark_name()] = r.GetAdjustedRealTime() * scale;
        }
    }
};

} // namespace orvane::bench
