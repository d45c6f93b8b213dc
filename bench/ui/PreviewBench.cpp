// Time per live-preview tick, decode excluded: composing a 1920x1200 source
// into the canvas of a 1280x800 view (24-point margin, output aspect 1.6) and
// painting the canvas into the view's backing image, as ZoomHostView does each
// display tick. Cases: a still camera, and a camera that zooms and pans with
// motion blur at 1. As in the preview playing a 30 fps movie on a 60 Hz
// display, a new picture comes every other tick (the source is drawn at about
// 0.6 of its size, so each new picture is box-reduced once, and the reduction
// is reused on the tick between). Baseline in the same run: the bare scaled
// draw of the source into the same canvas plus the same paint. Prints median
// and 99th percentile.
#include "BenchReport.h"
#include "render/Background.h"
#include "render/FrameCompositor.h"
#include "timeline/Timeline.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using namespace orvane;
using Clock = std::chrono::steady_clock;

constexpr int kViewW = 1280;
constexpr int kViewH = 800;
constexpr int kMargin = 24;

// A desktop-like source: panels, text-like stripes and a gradient.
QImage makeSource() {
    QImage img(1920, 1200, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, 1920, 1200);
    g.setColorAt(0, QColor(40, 44, 52));
    g.setColorAt(1, QColor(70, 80, 96));
    p.fillRect(img.rect(), g);
    for (int i = 0; i < 12; ++i) {
        p.fillRect(QRect(60 + i * 150, 80 + (i % 3) * 300, 130, 260), QColor(200, 205, 215));
        for (int l = 0; l < 20; ++l) {
            p.fillRect(QRect(70 + i * 150, 95 + (i % 3) * 300 + l * 12, 60 + (l * 7) % 50, 5),
                       QColor(60, 70, 90));
        }
    }
    return img;
}

Timeline panningTimeline() {
    ZoomEffect a;
    a.id = Uuid::random();
    a.start = 0.0;
    a.end = 3.0;
    a.zoom = 2.5;
    a.smooth = 0.3;
    a.fx = 0.2;
    a.fy = 0.3;
    ZoomEffect b = a;
    b.id = Uuid::random();
    b.start = 3.2;
    b.end = 6.0;
    b.fx = 0.85;
    b.fy = 0.75;
    Timeline tl;
    tl.build({a, b}, {}, 6.0, 1.5);
    // A cursor that sweeps across, so the camera and the cursor both move.
    for (int i = 0; i <= 360; ++i) {
        const double t = i / 60.0;
        tl.track.push_back({t, 0.5 + 0.4 * std::sin(t * 1.3), 0.5 + 0.35 * std::cos(t * 0.9), false});
    }
    return tl;
}

struct Stats {
    double median = 0;
    double p99 = 0;
    double cpuMedian = 0; // this thread's CPU time per tick: what the tick
    double cpuP99 = 0;    // costs however busy the machine is
};

Stats stats(std::vector<double> ms, std::vector<double> cpu) {
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    const auto at99 = [](const std::vector<double>& v) { return v[std::min(v.size() - 1, v.size() * 99 / 100)]; };
    return {ms[ms.size() / 2], at99(ms), cpu[cpu.size() / 2], at99(cpu)};
}

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

QRectF canvasRect() {
    const double iw = kViewW - 2.0 * kMargin;
    const double ih = kViewH - 2.0 * kMargin;
    double w = iw;
    double h = w / 1.6;
    if (ih < h) {
        h = ih;
        w = h * 1.6;
    }
    return {(kViewW - w) / 2, (kViewH - h) / 2, w, h};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(50, std::atoi(argv[1])) : 400;

    const QImage source = makeSource();
    const QRectF canvasArea = canvasRect();
    QImage canvas(canvasArea.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    QImage view(kViewW, kViewH, QImage::Format_ARGB32_Premultiplied);
    SourceFrame frame{source.constBits(), source.width(), source.height(), source.bytesPerLine(), 0};

    auto paintView = [&] {
        QPainter p(&view);
        p.fillRect(view.rect(), QColor(22, 23, 27));
        p.drawImage(canvasArea, canvas);
    };
    auto timeTicks = [&](auto&& body) {
        std::vector<double> ms;
        std::vector<double> cpu;
        ms.reserve(static_cast<std::size_t>(ticks));
        cpu.reserve(static_cast<std::size_t>(ticks));
        for (int i = 0; i < ticks; ++i) {
            const auto start = Clock::now();
            const double cpuStart = threadCpuMs();
            body(i);
            paintView();
            cpu.push_back(threadCpuMs() - cpuStart);
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        return stats(ms, cpu);
    };

    // Baseline: the bare scaled draw of the source into the canvas, then the paint.
    const Stats base = timeTicks([&](int) {
        QPainter p(&canvas);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(QPointF(0, 0), QSizeF(canvas.size())), source);
    });

    CompositorSettings still;
    still.motionBlur = 0;
    FrameCompositor stillComp(Timeline{}, still, Background::fromGradient(0));
    const Stats s = timeTicks([&](int i) {
        frame.time = 1.0;
        frame.picture = static_cast<std::uint64_t>(i / 2 + 1);
        stillComp.compose(frame, canvas, 1.0 / 60);
    });

    CompositorSettings moving;
    moving.motionBlur = 1.0;
    FrameCompositor panComp(panningTimeline(), moving, Background::fromGradient(0));
    int blurred = 0;
    const Stats m = timeTicks([&](int i) {
        frame.time = std::fmod(i / 60.0, 6.0);
        frame.picture = static_cast<std::uint64_t>(i / 2 + 1);
        panComp.compose(frame, canvas, 1.0 / 60);
        blurred += panComp.last().blurred ? 1 : 0;
    });

    std::printf("preview tick, 1920x1200 source in a %dx%d view (canvas %dx%d), %d ticks\n", kViewW,
                kViewH, canvas.width(), canvas.height(), ticks);
    std::printf("%-34s median %6.2f ms  p99 %6.2f ms\n", "baseline: bare scaled draw + paint",
                base.median, base.p99);
    std::printf("thread CPU per tick (ms): baseline median %.2f p99 %.2f; still median %.2f p99 %.2f; "
                "pan median %.2f p99 %.2f\n",
                base.cpuMedian, base.cpuP99, s.cpuMedian, s.cpuP99, m.cpuMedian, m.cpuP99);
    std::printf("%-34s median %6.2f ms  p99 %6.2f ms  ratio %.2f  goal p99 < 8 ms   %s\n",
                "still camera", s.median, s.p99, s.p99 / base.p99, s.p99 < 8 ? "ok" : "MISSED");
    std::printf("%-34s median %6.2f ms  p99 %6.2f ms  ratio %.2f  goal p99 < 14 ms  %s  (%d of %d ticks blurred)\n",
                "zoom + pan, motion blur 1", m.median, m.p99, m.p99 / base.p99,
                m.p99 < 14 ? "ok" : "MISSED", blurred, ticks);
    char value[32];
    char baseText[32];
    std::snprintf(baseText, sizeof baseText, "p99 %.2f ms", base.p99);
    std::snprintf(value, sizeof value, "p99 %.2f ms", s.p99);
    orvane::bench::reportRow("preview tick, still", value, baseText, s.p99 / base.p99, "p99 < 8 ms", s.p99 < 8);
    std::snprintf(value, sizeof value, "p99 %.2f ms", m.p99);
    orvane::bench::reportRow("preview tick, pan + motion blur", value, baseText, m.p99 / base.p99,
                             "p99 < 14 ms", m.p99 < 14);
    return 0;
}
