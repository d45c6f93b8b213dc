#include "TimeStretch.h"

#include "media/AvHandles.h"
#include "media/SoundTracks.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <cstdio>
#include <cstring>
#include <string>

namespace orvane {

namespace {
struct GraphDeleter {
    void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct InOutDeleter {
    void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
} // namespace

struct TimeStretch::Graph {
    std::unique_ptr<AVFilterGraph, GraphDeleter> graph;
    AVFilterContext* source = nullptr; // owned by the graph
    AVFilterContext* sink = nullptr;
    av::FramePtr out = av::makeFrame();
};

std::unique_ptr<TimeStretch> TimeStretch::create(double speed) {
    if (!(speed >= 0.25 && speed <= 4)) {
        return nullptr;
    }
    auto g = std::make_unique<Graph>();
    g->graph.reset(avfilter_graph_alloc());
    if (!g->graph || !g->out) {
        return nullptr;
    }
    // One thread: the stretch runs inside a reader that has one already.
    g->graph->nb_threads = 1;
    char args[160];
    std::snprintf(args, sizeof args,
                  "time_base=1/%d:sample_rate=%d:sample_fmt=flt:channel_layout=stereo", kSoundRate,
                  kSoundRate);
    if (avfilter_graph_create_filter(&g->source, avfilter_get_by_name("abuffer"), "in", args,
                                     nullptr, g->graph.get()) < 0 ||
        avfilter_graph_create_filter(&g->sink, avfilter_get_by_name("abuffersink"), "out",
                                     nullptr, nullptr, g->graph.get()) < 0) {
        return nullptr;
    }
    // atempo takes 0.5...100 per stage: below 0.5 two stages share the factor.
    char chain[160];
    if (speed < 0.5) {
        std::snprintf(chain, sizeof chain,
                      "atempo=0.5,atempo=%.9g,aformat=sample_fmts=flt:channel_layouts=stereo",
                      speed / 0.5);
    } else {
        std::snprintf(chain, sizeof chain,
                      "atempo=%.9g,aformat=sample_fmts=flt:channel_layouts=stereo", speed);
    }
    std::unique_ptr<AVFilterInOut, InOutDeleter> outputs(avfilter_inout_alloc());
    std::unique_ptr<AVFilterInOut, InOutDeleter> inputs(avfilter_inout_alloc());
    if (!outputs || !inputs) {
        return nullptr;
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = g->source;
    outputs->pad_idx = 0;
    outputs->next = nullptr;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = g->sink;
    inputs->pad_idx = 0;
    inputs->next = nullptr;
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    const int parsed = avfilter_graph_parse_ptr(g->graph.get(), chain, &in, &out, nullptr);
    avfilter_inout_free(&in);
    avfilter_inout_free(&out);
    if (parsed < 0 || avfilter_graph_config(g->graph.get(), nullptr) < 0) {
        return nullptr;
    }
    return std::unique_ptr<TimeStretch>(new TimeStretch(std::move(g), speed));
}

TimeStretch::TimeStretch(std::unique_ptr<Graph> graph, double speed)
    : graph_(std::move(graph)), speed_(speed) {}

TimeStretch::~TimeStretch() = default;

bool TimeStretch::push(const float* interleaved, int frames) {
    if (frames <= 0) {
        return true;
    }
    av::FramePtr f = av::makeFrame();
    if (!f) {
        return false;
    }
    f->format = AV_SAMPLE_FMT_FLT;
    f->sample_rate = kSoundRate;
    av_channel_layout_default(&f->ch_layout, kSoundChannels);
    f->nb_samples = frames;
    f->pts = pts_;
    if (av_frame_get_buffer(f.get(), 0) < 0) {
        return false;
    }
    std::memcpy(f->data[0], interleaved,
                static_cast<std::size_t>(frames) * kSoundChannels * sizeof(float));
    pts_ += frames;
    return av_buffersrc_add_frame_flags(graph_->source, f.get(), 0) >= 0;
}

void TimeStretch::finish() { av_buffersrc_add_frame_flags(graph_->source, nullptr, 0); }

void TimeStretch::pull(std::vector<float>& out) {
    AVFrame* f = graph_->out.get();
    while (av_buffersink_get_frame(graph_->sink, f) >= 0) {
        const auto* data = reinterpret_cast<const float*>(f->data[0]);
        out.insert(out.end(), data, data + static_cast<std::ptrdiff_t>(f->nb_samples) * kSoundChannels);
        av_frame_unref(f);
    }
}

} // namespace orvane
