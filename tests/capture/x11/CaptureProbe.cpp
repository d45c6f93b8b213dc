// A recording process for tests that must kill or starve one: it writes a take
// until it is killed or its time is up, then prints what finish() reported.
//
//   capture_probe synthetic PATH [--noise] [--sound] [--seconds S] [--file-limit BYTES]
//       synthetic 320 x 200 frames at 60 per second into the movie writer;
//       with --sound also a microphone and a desktop track, each fed a 440 Hz
//       tone in 10 ms blocks from a thread of its own, in real time
//   capture_probe display PATH [--seconds S]
//       the X display (root window, 640 x 400 from the top-left) through the
//       X11 screen stream into the movie writer
//
// Prints "recording" once frames flow, and at the end
// "finish=<true|false> written=N dropped=N".
#include "capture/HostClock.h"
#include "WriterTestSupport.h"
#include "capture/ffmpeg/MovieWriter.h"
#include "capture/x11/X11ScreenStream.h"
#include "capture/x11/X11Source.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cmath>
#include <thread>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <random>
#include <sys/resource.h>
#include <vector>

using namespace orvane;
using orvane::test::createWriter;

namespace {

void report(MovieWriter& writer) {
    const bool ok = writer.finish().ok();
    const WriterCounts c = writer.counts();
    std::printf("finish=%s written=%lld dropped=%lld\n", ok ? "true" : "false",
                static_cast<long long>(c.written), static_cast<long long>(c.dropped));
    std::fflush(stdout);
}

void sleepUntil(double due) {
    timespec ts{static_cast<time_t>(due),
                static_cast<long>((due - static_cast<double>(static_cast<time_t>(due))) * 1e9)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
}

// Delivers a tone to `sink` in 10 ms blocks, each when its time has come,
// stamped with the time of its first frame, until `stop` is set.
void feedTone(SoundSink* sink, double start, const std::atomic<bool>& stop) {
    constexpr int block = kSoundRate / 100;
    std::vector<float> samples(static_cast<std::size_t>(block) * kSoundChannels);
    for (std::int64_t n = 0; !stop.load(); n += block) {
        const double at = start + static_cast<double>(n) / kSoundRate;
        sleepUntil(at + 0.01);
        for (int i = 0; i < block; ++i) {
            const float v = 0.4f * static_cast<float>(std::sin(2 * M_PI * 440.0 * static_cast<double>(n + i) / kSoundRate));
            samples[2 * static_cast<std::size_t>(i)] = v;
            samples[2 * static_cast<std::size_t>(i) + 1] = v;
        }
        sink->soundArrived(samples.data(), block, at);
    }
}

int runSynthetic(const QString& path, bool noise, bool sound, double seconds) {
    constexpr int w = 320;
    constexpr int h = 200;
    const double start = hostTime();
    MovieWriterOptions options;
    if (sound) {
        options.sound = {SoundKind::Microphone, SoundKind::Desktop};
    }
    auto writer = createWriter(path, w, h, start, options);
    if (!writer) {
        std::printf("no writer\n");
        return 2;
    }
    std::atomic<bool> stopSound{false};
    std::vector<std::thread> sources;
    for (SoundKind kind : options.sound) {
        SoundSink* sink = writer->soundSink(kind);
        sources.emplace_back([sink, start, &stopSound] { feedTone(sink, start, stopSound); });
    }
    std::printf("recording\n");
    std::fflush(stdout);
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h * 4);
    std::mt19937 random(7);
    for (int i = 0; seconds <= 0 || i < seconds * 60; ++i) {
        const double due = start + i / 60.0;
        sleepUntil(due);
        for (std::size_t k = 0; k < px.size(); ++k) {
            px[k] = noise ? static_cast<std::uint8_t>(random())
                          : static_cast<std::uint8_t>((k / 4 + static_cast<std::size_t>(i) * 3) % 251);
        }
        writer->append(VideoFrame{px.data(), w, h, w * 4, due});
    }
    stopSound = true;
    for (auto& t : sources) {
        t.join();
    }
    report(*writer);
    return 0;
}

int runDisplay(const QString& path, double seconds) {
    constexpr int w = 640;
    constexpr int h = 400;
    const double start = hostTime();
    auto writer = createWriter(path, w, h, start);
    if (!writer) {
        std::printf("no writer\n");
        return 2;
    }
    CaptureContent content;
    content.kind = CaptureContent::Kind::Display;
    content.area = QRectF(0, 0, w, h);
    content.source = X11Source::monitor(0);
    X11ScreenStream stream(content, QSize(w, h));
    MovieWriter* sink = writer.get();
    if (auto started = stream.start([sink](const VideoFrame& f) { sink->append(f); }); !started) {
        std::printf("stream failed: %s\n", started.error().c_str());
        return 3;
    }
    std::printf("recording\n");
    std::fflush(stdout);
    const double end = start + (seconds > 0 ? seconds : 1e9);
    while (hostTime() < end) {
        QThread::msleep(20);
    }
    stream.stop();
    report(*writer);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: capture_probe synthetic|display PATH [options]\n");
        return 1;
    }
    double seconds = 0;
    bool noise = false;
    bool sound = false;
    for (int i = 3; i < args.size(); ++i) {
        if (args[i] == "--noise") {
            noise = true;
        } else if (args[i] == "--sound") {
            sound = true;
        } else if (args[i] == "--seconds" && i + 1 < args.size()) {
            seconds = args[++i].toDouble();
        } else if (args[i] == "--file-limit" && i + 1 < args.size()) {
            // Files may not grow past the limit: writes beyond it fail with
            // EFBIG, as they would on a full disk.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = args[++i].toULongLong();
            setrlimit(RLIMIT_FSIZE, &limit);
        }
    }
    if (args[1] == "synthetic") {
        return runSynthetic(args[2], noise, sound, seconds);
    }
    if (args[1] == "display") {
        return runDisplay(args[2], seconds);
    }
    return 1;
}
