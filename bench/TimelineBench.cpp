// Timeline speed on a one-hour take: 200 zoom segments, 400 clicks and a 60 Hz
// cursor track of 216,000 samples.
//
// Figures: the per-instant queries (frame + state + cursor + cursorScale +
// isPointer) and the build of the timeline with the track smoothing. Baselines,
// measured in the same run: for the queries, one bare interpolation of the track
// (the least any cursor lookup must do); for the build, copying the inputs.
#include "BenchReport.h"
#include "OneHourTake.h"
#include "timeline/CursorTrack.h"
#include "timeline/Timeline.h"

#include "RealTimeCollector.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace {

using namespace orvane;
using orvane::bench::take;

Timeline builtTimeline() {
    Timeline tl;
    tl.build(take().zooms, take().clicks, take().duration, 1.5);
    tl.track = smoothedTrack(take().track);
    return tl;
}

void BM_PerInstantQueries(benchmark::State& state) {
    const Timeline tl = builtTimeline();
    double t = 0;
    for (auto _ : state) {
        t += 0.0137;
        if (t > 3600) {
            t -= 3600;
        }
        const auto f = tl.frame(t);
        const auto s = tl.state(t);
        const auto c = tl.cursor(t, 0.8);
        const double k = tl.cursorScale(t);
        const bool p = tl.isPointer(t);
        benchmark::DoNotOptimize(f);
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(c);
        benchmark::DoNotOptimize(k);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_PerInstantQueries);

// Baseline: one lookup-and-interpolate of the track at a known index.
void BM_BaselineTrackInterpolation(benchmark::State& state) {
    const Timeline tl = builtTimeline();
    double t = 0;
    for (auto _ : state) {
        t += 0.0137;
        if (t > 3600) {
            t -= 3600;
        }
        const auto i = static_cast<std::size_t>(t * 60);
        const auto& a = tl.track[std::min(i, tl.track.size() - 2)];
        const auto& b = tl.track[std::min(i, tl.track.size() - 2) + 1];
        const double f = (t - a.t) / (b.t - a.t);
        benchmark::DoNotOptimize(a.x + (b.x - a.x) * f);
    }
}
BENCHMARK(BM_BaselineTrackInterpolation);

void BM_BuildAndSmoothOneHour(benchmark::State& state) {
    for (auto _ : state) {
        Timeline tl;
        tl.build(take().zooms, take().clicks, take().duration, 1.5);
        tl.track = smoothedTrack(take().track);
        benchmark::DoNotOptimize(tl);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(take().track.size()));
}
BENCHMARK(BM_BuildAndSmoothOneHour)->Unit(benchmark::kMillisecond);

// Baseline: copying the inputs the build reads.
void BM_BaselineCopyInputs(benchmark::State& state) {
    for (auto _ : state) {
        auto zooms = take().zooms;
        auto clicks = take().clicks;
        auto track = take().track;
        benchmark::DoNotOptimize(zooms);
        benchmark::DoNotOptimize(clicks);
        benchmark::DoNotOptimize(track);
    }
}
BENCHMARK(BM_BaselineCopyInputs)->Unit(benchmark::kMillisecond);


} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    orvane::bench::RealTimeCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double q = reporter.ns["BM_PerInstantQueries"];
    const double qb = reporter.ns["BM_BaselineTrackInterpolation"];
    const double b = reporter.ns["BM_BuildAndSmoothOneHour"];
    const double bb = reporter.ns["BM_BaselineCopyInputs"];
    std::printf("\nfigure,value,baseline,ratio,goal,met\n");
    std::printf("timeline per-instant queries (us),%.3f,%.3f,%.1f,< 2 us,%s\n", q / 1e3, qb / 1e3,
                q / qb, q < 2000 ? "yes" : "NO");
    std::printf("timeline build + smoothing of 1 h (ms),%.2f,%.2f,%.1f,< 50 ms,%s\n", b / 1e6,
                bb / 1e6, b / bb, b < 50e6 ? "yes" : "NO");
    char value[32];
    char base[32];
    std::snprintf(value, sizeof value, "%.3f us", q / 1e3);
    std::snprintf(base, sizeof base, "%.3f us", qb / 1e3);
    orvane::bench::reportRow("timeline per-instant queries", value, base, q / qb, "< 2 us", q < 2000);
    std::snprintf(value, sizeof value, "%.2f ms", b / 1e6);
    std::snprintf(base, sizeof base, "%.2f ms", bb / 1e6);
    orvane::bench::reportRow("timeline build + smoothing, 1 h", value, base, b / bb, "< 50 ms", b < 50e6);
    benchmark::Shutdown();
    return 0;
}
