// Records 20 s of a changing 1280 x 800 Wayland client at 60 frames per second
// through Orvane's Wayland path (portal session -> PipeWire stream -> pacing
// thread -> movie writer), then, on a second session of the same screen,
// through GStreamer's own PipeWire source feeding x264 at its fastest preset
// with the take's bit rate and key-frame interval, and prints for both the
// frames written and dropped and the CPU time used.
//
//   wayland_capture_bench [--seconds S]
//
// It runs inside tests/support/wayland/wayland-session.sh (bench/run starts it
// there), with orvane-wayland-target full screen and busy.
#include "BenchReport.h"
#include "PacketCount.h"

#include "capture/HostClock.h"
#include "capture/ffmpeg/MovieWriter.h"
#include "capture/ffmpeg/VideoEncoder.h"
#include "capture/wayland/WaylandCaptureBackend.h"
#include "capture/wayland/WaylandScreenStream.h"
#include "capture/wayland/WaylandSource.h"
#include "media/MediaLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace orvane;

namespace {

struct Figures {
    std::int64_t delivered = 0; // frames handed on (ours: by the pacing thread)
    std::int64_t received = 0;  // pictures the compositor sent
    std::int64_t written = 0;
    std::int64_t dropped = 0;
    double cpu = 0; // seconds
};

using bench::cpuSeconds;
using bench::selfCpu;

// Runs the event loop until `done` or `ms` pass, sleeping in between: a
// spinning wait would be counted as recording CPU.
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// A shared screen, chosen through the portal (restored after the first
// time); the benchmark ends when there is none.
CaptureContent shareScreen(CaptureBackend& backend) {
    std::optional<CaptureContent> chosen;
    QString failure;
    auto a = QObject::connect(&backend.picker(), &ContentPicker::contentChosen,
                              [&](const CaptureContent& c) { chosen = c; });
    auto b = QObject::connect(&backend.picker(), &ContentPicker::failed,
                              [&](const QString& why) { failure = why; });
    backend.picker().choose(ContentQuery{});
    waitFor([&] { return chosen.has_value() || !failure.isEmpty(); }, 15000);
    QObject::disconnect(a);
    QObject::disconnect(b);
    if (!chosen) {
        std::fprintf(stderr, "no shared screen: %s\n", qPrintable(failure));
        std::exit(1);
    }
    return *chosen;
}

Figures runOrvane(CaptureBackend& backend, const QString& path, double seconds) {
    Figures f;
    const CaptureContent content = shareScreen(backend);
    auto created = backend.createStream(content);
    if (!created) {
        std::fprintf(stderr, "stream: %s\n", created.error().c_str());
        std::exit(1);
    }
    auto* stream = dynamic_cast<wayland::WaylandScreenStream*>(created.value().get());
    auto format = stream->negotiate();
    if (!format) {
        std::fprintf(stderr, "negotiate: %s\n", format.error().c_str());
        std::exit(1);
    }
    const QSize size(static_cast<int>(format->pixelSize.width()) & ~1,
                     static_cast<int>(format->pixelSize.height()) & ~1);
    stream->setOutputSize(size);
    const double cpu0 = selfCpu();
    auto writer = MovieWriter::tryCreate(path, size.width(), size.height(), hostTime());
    if (!writer) {
        std::fprintf(stderr, "writer: %s\n", writer.error().c_str());
        std::exit(1);
    }
    MovieWriter* sink = writer.value().get();
    if (auto started = stream->start([sink](const VideoFrame& v) { sink->append(v); }); !started) {
        std::fprintf(stderr, "start: %s\n", started.error().c_str());
        std::exit(1);
    }
    const std::int64_t received0 = stream->picturesReceived();
    waitFor([] { return false; }, static_cast<int>(seconds * 1000));
    stream->stop();
    f.received = stream->picturesReceived() - received0;
    writer.value()->finish();
    f.cpu = selfCpu() - cpu0;
    const WriterCounts c = writer.value()->counts();
    f.delivered = stream->framesDelivered();
    f.written = c.written - 1; // without the copy of the first frame at time 0
    f.dropped = c.dropped;
    return f;
}

Figures runBaseline(CaptureBackend& backend, const QString& path, double seconds) {
    Figures f;
    const CaptureContent content = shareScreen(backend);
    const auto* source = wayland::WaylandSource::of(content);
    // GStreamer's pipewiresrc on the same portal remote and node.
    const int fd = fcntl(source->session()->pipeWireFd, F_DUPFD, 10); // inherited: no CLOEXEC
    const std::string pipeline =
        "pipewiresrc fd=" + std::to_string(fd) + " path=" + std::to_string(source->session()->node) +
        " do-timestamp=true ! videoconvert ! x264enc speed-preset=ultrafast bitrate=" +
        std::to_string(averageBitRate(1280, 800) / 1000) +
        " key-int-max=60 bframes=0 ! mp4mux ! filesink location=" + path.toStdString();
    std::vector<std::string> args{"gst-launch-1.0", "-q", "-e"};
    for (std::size_t start = 0; start < pipeline.size();) {
        const std::size_t end = pipeline.find(' ', start);
        args.push_back(pipeline.substr(start, end - start));
        start = end == std::string::npos ? pipeline.size() : end + 1;
    }
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "gst-launch-1.0", nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot run gst-launch-1.0\n");
        std::exit(1);
    }
    ::close(fd);
    QThread::usleep(static_cast<unsigned long>(seconds * 1e6));
    kill(pid, SIGINT); // -e: an end of stream, so the file is complete
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.cpu = cpuSeconds(usage);
    f.written = bench::countVideoPackets(path);
    f.delivered = f.written;
    f.received = f.written;
    return f;
}

void print(const char* name, const Figures& f, double seconds) {
    std::printf("  %-34s compositor sent %5lld  written %5lld (%.1f fps)  dropped %4lld (%.2f%%)  "
                "CPU %6.2f s (%.0f%% of one core)\n",
                name, static_cast<long long>(f.received), static_cast<long long>(f.written),
                static_cast<double>(f.written) / seconds, static_cast<long long>(f.dropped),
                f.delivered > 0 ? 100.0 * static_cast<double>(f.dropped) / static_cast<double>(f.delivered)
                                : 0.0,
                f.cpu, 100.0 * f.cpu / seconds);
}

} // namespace

int main(int argc, char** argv) {
    media::quietMediaLog();
    QGuiApplication app(argc, argv);
    double seconds = 20;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--seconds") {
            seconds = args[i + 1].toDouble();
        }
    }
    auto backend = WaylandCaptureBackend::tryCreate({});
    if (!backend) {
        std::fprintf(stderr, "wayland_capture_bench: %s\n", backend.error().c_str());
        return 1;
    }
    QTemporaryDir dir;
    std::printf("wayland_capture_bench: a busy 1280x800 client for %.0f s (%d cores)\n", seconds,
                QThread::idealThreadCount());
    const Figures ours = runOrvane(*backend.value(), dir.filePath("orvane.mov"), seconds);
    const Figures base = runBaseline(*backend.value(), dir.filePath("gstreamer.mp4"), seconds);
    print("orvane (portal + PipeWire + writer)", ours, seconds);
    print("baseline (pipewiresrc ! x264enc)", base, seconds);
    const double dropped = ours.delivered > 0 ? 100.0 * static_cast<double>(ours.dropped) /
                                                    static_cast<double>(ours.delivered)
                                              : 100.0;
    const double ratio = base.cpu > 0 ? ours.cpu / base.cpu : 0.0;
    std::printf("  CPU ratio orvane / baseline: %.2f\n", ratio);
    char value[64];
    char baseText[64];
    std::snprintf(value, sizeof value, "%.2f%% dropped, CPU %.2f s", dropped, ours.cpu);
    std::snprintf(baseText, sizeof baseText, "gstreamer CPU %.2f s", base.cpu);
    orvane::bench::reportRow("record 20 s 1280x800@60 on Wayland", value, baseText, ratio,
                             "<= 1% dropped, CPU ratio <= 1", dropped <= 1.0 && ratio <= 1.0);
    return 0;
}
