// Milliseconds per composed output frame for a 1920 x 1200 source in "Original"
// with the default padding (a 2284 x 1428 output): full view, zoomed and
// still, zoomed and panning with motion blur at 1. The baseline, measured in
// the same run, is the bare smooth scaled draw of the same source into the
// same video rectangle. Goals: at most 1.5 x the baseline without motion blur,
// at most 3 x with it. The same three are timed again drawn into I420, as the
// export draws them, against libswscale's bare bilinear scale of the I420
// source to the video rectangle. Also compares the directional blur
// implementations.
//
// Run a Release build: render_bench [frames]

#include "BenchReport.h"
#include "TimelineFixtures.h"
#include "render/Background.h"
#include "render/FrameCompositor.h"
#include "render/ImageFilter.h"
#include "render/OutputGeometry.h"
#include "media/YuvConversion.h"
#include "timeline/Timeline.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <QGuiApplication>
#include <QPainter>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <cstdlib>
#include <functional>

using namespace orvane;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSourceW = 1920;
constexpr int kSourceH = 1200;
constexpr double kPadding = 0.08;

// A busy desktop-like picture: windows of flat colour with fine detail.
QImage makeSource() {
    QImage img(kSourceW, kSourceH, QImage::Format_RGB32);
    img.fill(QColor(40, 44, 52));
    QPainter p(&img);
    for (int i = 0; i < 24; ++i) {
        const QRect r((i * 331) % 1600, (i * 197) % 1000, 300 + (i * 53) % 400,
                      200 + (i * 71) % 300);
        p.fillRect(r, QColor::fromHsv((i * 37) % 360, 90, 230));
        p.setPen(QColor(30, 30, 30));
        for (int y = r.top() + 10; y < r.bottom(); y += 14) {
            p.drawLine(r.left() + 10, y, r.right() - 10 - (y * 7) % 120, y);
        }
    }
    return img;
}

SourceFrame frameOf(const QImage& img, double t) {
    return {img.constBits(), img.width(), img.height(), img.bytesPerLine(), t};
}

// Mean milliseconds of `frames` calls of `step(i)` after a short warm-up.
double timeIt(int frames, const std::function<void(int)>& step) {
    for (int i = 0; i < 3; ++i) {
        step(i);
    }
    const auto start = Clock::now();
    for (int i = 0; i < frames; ++i) {
        step(i + 3);
    }
    const std::chrono::duration<double, std::milli> total = Clock::now() - start;
    return total.count() / frames;
}

struct Paired {
    double ms = 0;
    double baselineMs = 0;
};

// Times `step` and `baseline` alternately, frame by frame, so that the load
// of a busy machine weighs on both alike.
Paired timePaired(int frames, const std::function<void(int)>& step,
                  const std::function<void()>& baseline) {
    for (int i = 0; i < 3; ++i) {
        step(i);
        baseline();
    }
    std::chrono::duration<double, std::milli> a{0};
    std::chrono::duration<double, std::milli> b{0};
    for (int i = 0; i < frames; ++i) {
        const auto t0 = Clock::now();
        step(i + 3);
        const auto t1 = Clock::now();
        baseline();
        const auto t2 = Clock::now();
        a += t1 - t0;
        b += t2 - t1;
    }
    return {a.count() / frames, b.count() / frames};
}

void report(const char* name, const Paired& p, double goal, const char* prefix = "compose: ") {
    const double ms = p.ms;
    const double baseline = p.baselineMs;
    const double ratio = ms / baseline;
    std::printf("%-34s %8.2f ms/frame   baseline %7.2f ms   ratio %5.2f   goal <= %.1f  %s\n", name,
                ms, baseline, ratio, goal, ratio <= goal ? "ok" : "MISSED");
    char value[32];
    char base[32];
    char target[32];
    std::snprintf(value, sizeof value, "%.2f ms", ms);
    std::snprintf(base, sizeof base, "%.2f ms", baseline);
    std::snprintf(target, sizeof target, "ratio <= %.1f", goal);
    std::string figure = std::string(prefix) + name;
    orvane::bench::reportRow(figure.c_str(), value, base, ratio, target, ratio <= goal);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;

    const QImage source = makeSource();
    const auto size = outputSize(kSourceW, kSourceH, outputAspect(0, kSourceW, kSourceH), kPadding);
    if (!size) {
        std::fprintf(stderr, "no output size\n");
        return 1;
    }
    QImage out(size->width, size->height, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::black);
    const QRectF video = videoRect(size->width, size->height, kPadding, kSourceW, kSourceH);
    std::printf("source %dx%d, output %dx%d, video rectangle %.1f x %.1f, %d frames each\n\n",
                kSourceW, kSourceH, size->width, size->height, video.width(), video.height(),
                frames);

    // Baseline: the bare scaled draw of the decoded frame into the video rectangle.
    const auto baselineStep = [&] {
        const QImage view(source.constBits(), kSourceW, kSourceH, source.bytesPerLine(),
                          QImage::Format_RGB32);
        QPainter p(&out);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(video, view);
    };
    CompositorSettings settings;
    settings.padding = kPadding;
    settings.cornerRadius = 14;
    settings.motionBlur = 1.0;
    settings.smoothness = 0.4;
    const Background background = Background::prepare(8, 0.3, size->width);

    // Full view, with a cursor (one click).
    Moment click;
    click.t = 0.5;
    click.cx = 0.4;
    click.cy = 0.6;
    Timeline still;
    still.build({}, {click}, 20, 2.0);
    FrameCompositor fullView(still, settings, background);
    const Paired full = timePaired(
        frames, [&](int i) { fullView.compose(frameOf(source, i / 60.0), out); }, baselineStep);

    // Zoomed 2x on a focus lock, holding still.
    Timeline zoomed;
    zoomed.build({test::segment(0, 30, 2, 0.5, 0.3, 0.4)}, {click}, 30, 2.0);
    FrameCompositor zoomedStill(zoomed, settings, background);
    for (int i = 0; i < 120; ++i) { // settle the spring first
        zoomedStill.compose(frameOf(source, 1 + i / 60.0), out);
    }
    const Paired zoomedMs = timePaired(
        frames, [&](int i) { zoomedStill.compose(frameOf(source, 3 + i / 60.0), out); },
        baselineStep);

    // Zoomed 2x, the camera following a cursor that swings across the screen.
    Timeline panning;
    // (Segment smoothness 0.05 keeps the camera close behind the cursor, so
    // nearly every frame moves far enough to blur.)
    panning.build({test::segment(0, 30, 2, 0.05)}, {}, 30, 2.0);
    for (int i = 0; i <= 30 * 60; ++i) {
        const double t = i / 60.0;
        panning.track.push_back({t, 0.5 + 0.3 * std::sin(t * 6.283185307179586 * 1.0),
                                 0.5 + 0.15 * std::cos(t * 6.283185307179586 * 0.7), false});
    }
    FrameCompositor pan(panning, settings, background);
    for (int i = 0; i < 60; ++i) {
        pan.compose(frameOf(source, 1 + i / 60.0), out);
    }
    int blurredFrames = 0;
    double radiusSum = 0;
    const Paired panMs = timePaired(
        frames,
        [&](int i) {
            pan.compose(frameOf(source, 2 + i / 60.0), out);
            blurredFrames += pan.last().blurred ? 1 : 0;
            radiusSum += pan.last().blurRadius;
        },
        baselineStep);

    report("full view", full, 1.5);
    report("zoomed 2x, still", zoomedMs, 1.5);
    report("zoomed 2x, panning, motion blur 1", panMs, 3.0);
    std::printf("  (panning: %d of %d frames blurred, mean radius %.1f source pixels)\n\n",
                blurredFrames, frames + 3, radiusSum / (frames + 3));

    // The export's drawing: the same three into I420.
    YuvImage sourceYuv(kSourceW, kSourceH);
    yuv::fromBgra(source.constBits(), source.bytesPerLine(), kSourceW, kSourceH, sourceYuv.view());
    YuvImage outYuv(size->width, size->height);
    const int scaledW = static_cast<int>(video.width()) & ~1;
    const int scaledH = static_cast<int>(video.height()) & ~1;
    SwsContext* sws = sws_getContext(kSourceW, kSourceH, AV_PIX_FMT_YUV420P, scaledW, scaledH,
                                     AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (sws == nullptr) {
        std::fprintf(stderr, "no scaler\n");
        return 1;
    }
    const auto yuvBaseline = [&] {
        const YuvView in = sourceYuv.view();
        const YuvView o = outYuv.view();
        const std::uint8_t* const src[3] = {in.y.data, in.u.data, in.v.data};
        const int srcStride[3] = {int(in.y.stride), int(in.u.stride), int(in.v.stride)};
        std::uint8_t* const dst[3] = {o.y.data, o.u.data, o.v.data};
        const int dstStride[3] = {int(o.y.stride), int(o.u.stride), int(o.v.stride)};
        sws_scale(sws, src, srcStride, 0, kSourceH, dst, dstStride);
    };
    FrameCompositor fullYuv(still, settings, background);
    const Paired fullY = timePaired(
        frames, [&](int i) { fullYuv.composeYuv(sourceYuv.view(), i / 60.0, outYuv.view()); },
        yuvBaseline);
    FrameCompositor zoomedYuv(zoomed, settings, background);
    for (int i = 0; i < 120; ++i) {
        zoomedYuv.composeYuv(sourceYuv.view(), 1 + i / 60.0, outYuv.view());
    }
    const Paired zoomedY = timePaired(
        frames, [&](int i) { zoomedYuv.composeYuv(sourceYuv.view(), 3 + i / 60.0, outYuv.view()); },
        yuvBaseline);
    FrameCompositor panYuv(panning, settings, background);
    for (int i = 0; i < 60; ++i) {
        panYuv.composeYuv(sourceYuv.view(), 1 + i / 60.0, outYuv.view());
    }
    const Paired panY = timePaired(
        frames, [&](int i) { panYuv.composeYuv(sourceYuv.view(), 2 + i / 60.0, outYuv.view()); },
        yuvBaseline);
    sws_freeContext(sws);
    std::printf("drawn into I420 for the export (baseline: libswscale bilinear scale of the I420 "
                "source to %dx%d):\n",
                scaledW, scaledH);
    report("full view", fullY, 1.5, "compose I420: ");
    report("zoomed 2x, still", zoomedY, 1.5, "compose I420: ");
    report("zoomed 2x, panning, motion blur 1", panY, 3.0, "compose I420: ");
    std::printf("\n");

    // The directional blur on its own, 1920 x 1200, radius 30 at 20 degrees.
    MotionBlur blur;
    QImage blurred;
    const auto blurMs = [&](MotionBlur::Method method, int n) {
        return timeIt(n, [&](int) { blur.apply(source, blurred, 30, 0.35, method); });
    };
    const double doubling = blurMs(MotionBlur::Method::TapDoubling, std::max(5, frames / 4));
    const double opencv = blurMs(MotionBlur::Method::LineKernel, 3);
    std::printf("directional blur 1920x1200, radius 30:\n");
    std::printf("  OpenCV filter2D line kernel %8.2f ms (baseline)\n", opencv);
    std::printf("  own tap doubling (default)  %8.2f ms   ratio %.3f\n", doubling,
                doubling / opencv);

    // The background, once per export.
    const auto prepStart = Clock::now();
    const Background prepared = Background::prepare(8, 1.0, size->width);
    const std::chrono::duration<double, std::milli> prepMs = Clock::now() - prepStart;
    std::printf("\nbackground photograph prepared with blur 1 (sigma %.0f px): %.1f ms, once per "
                "export\n",
                40.0 * size->width / 640, prepMs.count());
    return prepared.isImage() ? 0 : 1;
}
