// Main-thread cost of one drag step of a zoom segment on a one-hour take (60 Hz
// cursor track of 216,000 samples, 200 segments).
//
// One step is what the window does for each mouse move of a segment drag: the
// model moves the segment, and on its change signal the preview takes a copy of
// the rebuilt timeline and the timeline bar a copy of the segments. Baseline,
// measured in the same run: the same step done the way it was done before the
// smoothed track was kept, that is keyframes and smoothing from scratch and the
// preview's copy carrying its own copy of the samples.
#include "BenchReport.h"
#include "OneHourTake.h"
#include "editing/EditModel.h"
#include "timeline/CursorTrack.h"

#include "RealTimeCollector.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

namespace {

using namespace orvane;
using orvane::bench::take;

constexpr int kDragged = 100; // a segment in the middle of the take

// What the window keeps after each step; the copies are the step's cost.
struct Window {
    Timeline preview;
    std::vector<ZoomEffect> barZooms;
};

class DraggedTake : public EditModel {
public:
    DraggedTake() {
        setCursorTrack(take().track);
        setMoments(take().clicks);
        setDuration(take().duration);
        setZooms(take().zooms);
        QObject::connect(this, &EditModel::zoomsChanged, [this] {
            window.preview = timeline();
            window.barZooms = zooms();
        });
        timeline(); // the take is opened: the first build smooths the track
    }
    Window window;
};

// The segment's start for drag step i: back and forth by a few pixels' worth.
double dragTarget(int i) {
    const ZoomEffect& z = take().zooms[kDragged];
    return z.start + 0.05 * (i % 8);
}

void BM_DragStep(benchmark::State& state) {
    DraggedTake model;
    int i = 0;
    for (auto _ : state) {
        model.moveZoom(kDragged, dragTarget(++i));
        benchmark::DoNotOptimize(model.window.preview.anchors.data());
    }
    if (model.trackSmoothingCount() != 1) {
        state.SkipWithError("a drag step smoothed the track again");
    }
}
BENCHMARK(BM_DragStep)->Unit(benchmark::kMicrosecond);

// Baseline: the step as it was, smoothing the whole track for every move.
void BM_BaselineDragStepSmoothingAgain(benchmark::State& state) {
    EditModel model;
    model.setDuration(take().duration);
    model.setZooms(take().zooms);
    std::vector<CursorSample> previewTrack;
    int i = 0;
    for (auto _ : state) {
        model.moveZoom(kDragged, dragTarget(++i));
        Timeline tl;
        tl.build(model.zooms(), take().clicks, take().duration, model.zoom());
        std::vector<CursorSample> smoothed = smoothedTrack(take().track);
        Timeline preview = tl;   // the preview's copy of the keyframes...
        previewTrack = smoothed; // ...and of every sample
        std::vector<ZoomEffect> barZooms = model.zooms();
        benchmark::DoNotOptimize(preview.anchors.data());
        benchmark::DoNotOptimize(previewTrack.data());
        benchmark::DoNotOptimize(barZooms.data());
    }
}
BENCHMARK(BM_BaselineDragStepSmoothingAgain)->Unit(benchmark::kMicrosecond);


} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    orvane::bench::RealTimeCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double step = reporter.ns["BM_DragStep"];
    const double old = reporter.ns["BM_BaselineDragStepSmoothingAgain"];
    if (step <= 0 || old <= 0) {
        std::fprintf(stderr, "edit_drag_bench: a benchmark did not run\n");
        return 1;
    }
    std::printf("\nfigure,value,baseline,ratio,goal,met\n");
    std::printf("drag step of a zoom segment, 1 h take (us),%.1f,%.1f,%.1f,< 1000 us,%s\n",
                step / 1e3, old / 1e3, old / step, step < 1e6 ? "yes" : "NO");
    char value[32];
    char base[48];
    std::snprintf(value, sizeof value, "%.1f us", step / 1e3);
    std::snprintf(base, sizeof base, "%.1f us (smoothing again)", old / 1e3);
    // The ratio is how many times faster the kept track makes each step.
    orvane::bench::reportRow("edit drag step, 1 h take, 200 segments", value, base, old / step,
                             "< 1 ms", step < 1e6);
    benchmark::Shutdown();
    return 0;
}
