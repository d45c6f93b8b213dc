// CPU of a paused editor: the real player on a real 1920x1200 movie, the live
// preview and the timeline bar, wired as the main window wires them (the
// player's time signal pushes the bar's inputs), shown on the offscreen
// platform, paused with everything settled. Measured as process CPU time
// (every thread) over a few seconds of the event loop, as a share of one
// core.
//
// Baseline in the same run: the same editor drawing continuously as it once
// did: the preview composing every 16 ms display tick and the bar repainted at
// the player's 120 Hz time rate. Goal: under 1 % of a core.
#include "BenchReport.h"
#include "ui/TimelineBar.h"
#include "ui/player/MoviePlayer.h"
#include "ui/preview/ZoomHostView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using namespace orvane;

constexpr int kSeconds = 4;

// Runs the event loop until `done` holds or `ms` pass; true when it held.
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Process CPU seconds used while the event loop runs for `ms`.
double cpuOver(int ms) {
    const double before = bench::selfCpu();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return bench::selfCpu() - before;
}

ZoomEffect editZoom() {
    ZoomEffect z;
    z.id = Uuid::random();
    z.start = 0.5;
    z.end = 2.5;
    z.zoom = 2;
    z.smooth = 0.8;
    z.fx = 0.3;
    z.fy = 0.4;
    return z;
}

Timeline editTimeline() {
    Timeline tl;
    tl.build({editZoom()}, {}, 3.0, 1.5);
    for (int i = 0; i <= 180; ++i) {
        tl.track.push_back({i / 60.0, 0.3 + 0.001 * i, 0.4, false});
    }
    return tl;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const QString movie = dir.filePath(QStringLiteral("idle.mp4"));
    const std::string make =
        "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1920x1200:rate=30 -t 3 "
        "-pix_fmt yuv420p -c:v libx264 -preset ultrafast \"" + movie.toStdString() + "\"";
    if (!dir.isValid() || std::system(make.c_str()) != 0) {
        std::printf("idle editor: could not make the test movie with ffmpeg\n");
        return 1;
    }

    ui::MoviePlayer player;
    player.open(movie);
    if (!waitFor([&] { return player.status() == ui::MoviePlayer::Status::Ready &&
                              player.currentFrame() != nullptr; }, 10000)) {
        std::printf("idle editor: the movie did not open\n");
        return 1;
    }

    QWidget window;
    window.resize(1280, 800);
    auto* layout = new QVBoxLayout(&window);
    ZoomPlayer settings;
    settings.timeline = editTimeline();
    settings.look.smoothness = 0.5;
    settings.look.motionBlur = 0.5;
    auto* preview = new ZoomHostView(player, settings, &window);
    auto* bar = new TimelineBar(&window);
    layout->addWidget(preview, 1);
    layout->addWidget(bar);
    TimelineBar::Inputs inputs;
    inputs.duration = 3.0;
    inputs.zooms = {editZoom()};
    inputs.trimEnd = 3.0;
    // As the main window does: every time signal pushes the bar's inputs.
    QObject::connect(&player, &ui::MoviePlayer::timeChanged, bar, [&](double t) {
        inputs.current = t;
        bar->setInputs(inputs);
    });
    bar->setInputs(inputs);
    window.show();
    player.seekExact(1.2);
    waitFor([&] { return !preview->ticking(); }, 5000); // seek landed, camera settled
    cpuOver(500);

    const int composedBefore = preview->composeCount();
    const double idle = cpuOver(kSeconds * 1000);
    const int idleComposes = preview->composeCount() - composedBefore;

    // The old behaviour: compose every display tick, repaint the bar at the
    // player's 120 Hz time rate.
    preview->setAlwaysDraw(true);
    QTimer barTicks;
    barTicks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&barTicks, &QTimer::timeout, bar, [&] {
        bar->setInputs(inputs);
        bar->update();
    });
    barTicks.start(8);
    cpuOver(500);
    const int composedBase = preview->composeCount();
    const double busy = cpuOver(kSeconds * 1000);
    const int baseComposes = preview->composeCount() - composedBase;
    barTicks.stop();
    preview->setAlwaysDraw(false);

    const double idleShare = 100.0 * idle / kSeconds;
    const double busyShare = 100.0 * busy / kSeconds;
    std::printf("paused editor, 1920x1200 movie in a 1280x800 window, %d s each\n", kSeconds);
    std::printf("%-44s %6.2f %% of a core  (%d compositions)\n",
                "baseline: continuous drawing (60 + 120 Hz)", busyShare, baseComposes);
    std::printf("%-44s %6.2f %% of a core  (%d compositions)  ratio %.3f  goal < 1 %%  %s\n",
                "idle: draw only on change", idleShare, idleComposes,
                busyShare > 0 ? idleShare / busyShare : 0.0, idleShare < 1.0 ? "ok" : "MISSED");
    char value[48];
    char base[48];
    std::snprintf(value, sizeof value, "%.2f %% of a core", idleShare);
    std::snprintf(base, sizeof base, "%.2f %% of a core", busyShare);
    bench::reportRow("paused editor CPU", value, base, busyShare > 0 ? idleShare / busyShare : 0.0,
                     "< 1 % of a core", idleShare < 1.0);
    return 0;
}
