// Records a changing 1920 x 1200 screen at 60 frames per second for 20 s, first
// with Orvane's capture path (X11ScreenStream -> MovieWriter), then with FFmpeg's
// own X11 grabber feeding the same encoder at the same settings, and prints for
// both the frames grabbed, written and dropped and the CPU time used.
//
//   capture_bench [--seconds S]
//   capture_bench --sound [--seconds S]
//
// It starts its own Xvfb and a separate process that keeps the screen changing,
// so neither run pays for the animation.
//
// With --sound (run beside a sound server: bench/run starts one through
// tests/support/with-sound.sh) it measures instead what sound costs: the same
// take with the microphone and the desktop's sound recorded into two AAC
// tracks, against the take without sound, alternating three times, while a
// voice-like mono signal plays into the microphone (both channels alike, as a
// mono microphone gives) and music-like stereo into the desktop's output. It
// also reads the CPU time of the two sound threads themselves (capture,
// stamping, AAC), which is far steadier than the difference of two takes.
#include "BenchReport.h"
#include "PacketCount.h"
#include "capture/HostClock.h"
#include "capture/ffmpeg/MovieWriter.h"
#include "capture/pulse/PulseSoundDevices.h"
#include "capture/x11/X11ScreenStream.h"
#include "capture/x11/X11Source.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

extern char** environ;

using namespace orvane;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1200;
// Takes with and without sound, alternating.
constexpr int kSoundRounds = 3;

using bench::cpuSeconds;
using bench::selfCpu;

// Keeps the screen changing: coloured blocks move every 1/60 s, as windows do
// when a user scrolls and drags.
int animate(const char* display) {
    xcb_connection_t* c = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(c) != 0) {
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, screen->root, 0, nullptr);
    std::mt19937 random(1);
    for (long frame = 0;; ++frame) {
        for (int i = 0; i < 6; ++i) {
            const std::uint32_t colour = random() & 0xffffff;
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
            const xcb_rectangle_t r{static_cast<std::int16_t>(random() % (kWidth - 400)),
                                    static_cast<std::int16_t>(random() % (kHeight - 300)), 400, 300};
            xcb_poly_fill_rectangle(c, screen->root, gc, 1, &r);
        }
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        if (xcb_connection_has_error(c) != 0) {
            return 0;
        }
        usleep(16667);
    }
}

struct Figures {
    std::int64_t grabbed = 0;  // frames the grabber produced
    std::int64_t written = 0;  // frames in the movie
    std::int64_t dropped = 0;  // frames lost between grab and movie
    double cpu = 0;            // seconds of CPU (user + system)
    double soundCpu = 0;       // of that, the sound sources' threads
    double wall = 0;
};

// The CPU time (user + system, seconds) of this process's threads with one of
// these names, from /proc/self/task/*/stat.
double threadsCpu(std::initializer_list<const char*> names) {
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray line = stat.readAll();
        // pid (comm) state ppid ... utime is field 14, stime field 15.
        const qsizetype open = line.indexOf('(');
        const qsizetype close = line.lastIndexOf(')');
        if (open < 0 || close < open) {
            continue;
        }
        const QByteArray comm = line.mid(open + 1, close - open - 1);
        if (std::none_of(names.begin(), names.end(), [&](const char* n) { return comm == n; })) {
            continue;
        }
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() > 12) {
            total += (fields[11].toDouble() + fields[12].toDouble()) / tick;
        }
    }
    return total;
}

Figures runOrvane(const std::string& display, const QString& path, double seconds,
                  bool sound = false) {
    Figures f;
    const double start = hostTime();
    const double cpu0 = selfCpu();
    MovieWriterOptions writerOptions;
    if (sound) {
        writerOptions.sound = {SoundKind::Microphone, SoundKind::Desktop};
    }
    auto created = MovieWriter::tryCreate(path, kWidth, kHeight, start, writerOptions);
    if (!created) {
        std::fprintf(stderr, "no writer: %s\n", created.error().c_str());
        std::exit(1);
    }
    std::unique_ptr<MovieWriter> writer = std::move(created.value());
    CaptureContent content;
    content.area = QRectF(0, 0, kWidth, kHeight);
    content.source = X11Source::monitor(0);
    X11ScreenStream::Options options;
    options.display = display;
    X11ScreenStream stream(content, QSize(kWidth, kHeight), options);
    MovieWriter* sink = writer.get();
    if (auto started = stream.start([sink](const VideoFrame& frame) { sink->append(frame); });
        !started) {
        std::fprintf(stderr, "stream: %s\n", started.error().c_str());
        std::exit(1);
    }
    PulseSoundDevices devices;
    std::vector<std::unique_ptr<SoundSource>> sources;
    for (SoundKind kind : writerOptions.sound) {
        auto opened = devices.open(kind, QString());
        if (!opened) {
            std::fprintf(stderr, "sound: %s\n", opened.error().c_str());
            std::exit(1);
        }
        if (auto began = opened.value()->start(writer->soundSink(kind)); !began) {
            std::fprintf(stderr, "sound: %s\n", began.error().c_str());
            std::exit(1);
        }
        sources.push_back(std::move(opened.value()));
    }
    QThread::usleep(static_cast<unsigned long>(seconds * 1e6));
    // Read while the sources' threads still run: stopping them ends the threads.
    f.soundCpu = threadsCpu({"orvane-mic", "orvane-desktop"});
    stream.stop();
    for (auto& source : sources) {
        source->stop();
    }
    writer->finish();
    f.cpu = selfCpu() - cpu0;
    f.wall = hostTime() - start;
    const WriterCounts c = writer->counts();
    f.grabbed = stream.framesDelivered();
    f.written = c.written - 1; // without the copy of the first frame at time 0
    f.dropped = c.dropped;
    std::printf("  orvane encoder: %s, shm: %s\n", qPrintable(writer->encoderName()),
                stream.usesShm() ? "yes" : "no");
    return f;
}

// FFmpeg's x11grab into libx264 at the writer's settings, as a child process
// whose CPU time wait4() reports.
Figures runBaseline(const std::string& display, const QString& path, double seconds) {
    const std::string bitRate = std::to_string(std::min<long long>(1LL * kWidth * kHeight * 4, 40000000));
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    const std::string duration = std::to_string(seconds);
    const std::string out = path.toStdString();
    const std::string input = display + "+0,0";
    std::vector<std::string> args = {
        "ffmpeg", "-hide_banner", "-loglevel", "error", "-nostats", "-y",
        "-f", "x11grab", "-draw_mouse", "0", "-framerate", "60", "-video_size", size,
        "-i", input, "-t", duration,
        "-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
        "-c:v", "libx264", "-preset", "ultrafast", "-b:v", bitRate, "-g", "60", "-bf", "0",
        "-color_primaries", "bt709", "-color_trc", "iec61966-2-1", "-colorspace", "bt709",
        "-fps_mode", "passthrough",
        "-movflags", "frag_keyframe+empty_moov+write_colr", "-video_track_timescale", "600", out};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    Figures f;
    const double start = hostTime();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot run ffmpeg\n");
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.wall = hostTime() - start;
    f.cpu = cpuSeconds(usage);
    // x11grab hands every grab on (passthrough): the frames in the file are the
    // frames grabbed.
    f.written = bench::countVideoPackets(path);
    f.grabbed = f.written;
    f.dropped = 0;
    return f;
}

void print(const char* name, const Figures& f, double seconds) {
    const double expected = seconds * 60;
    std::printf("  %-28s grabbed %5lld (%.1f fps)  written %5lld  dropped %4lld (%.2f%%)  "
                "short of 60 fps %4.0f  CPU %6.2f s (%.0f%% of one core)\n",
                name, static_cast<long long>(f.grabbed), static_cast<double>(f.grabbed) / seconds,
                static_cast<long long>(f.written), static_cast<long long>(f.dropped),
                f.grabbed > 0 ? 100.0 * static_cast<double>(f.dropped) / static_cast<double>(f.grabbed)
                              : 0.0,
                std::max(0.0, expected - static_cast<double>(f.written)), f.cpu,
                100.0 * f.cpu / seconds);
}

// The cost of sound: the same take with and without its two sound tracks,
// alternating so that a machine getting busier weighs on both alike.
int measureSound(const std::string& display, QTemporaryDir& dir, double seconds) {
    // Sound for the encoders to code, long enough for every take: a voice-like
    // mono signal (a gliding pitch, syllables at 2.5 Hz, a little breath) for the
    // microphone, and music-like stereo (a chord, different in each ear, with
    // tremolo and some noise) for the desktop.
    const double length = seconds * 2 * kSoundRounds + 30;
    const QString voiceFile = dir.filePath(QStringLiteral("voice.raw"));
    const QString musicFile = dir.filePath(QStringLiteral("music.raw"));
    const QStringList generate[] = {
        {"-f", "lavfi", "-i",
         "aevalsrc=0.3*sin(2*PI*(150+40*sin(2*PI*4*t))*t)*(0.5+0.5*sin(2*PI*2.5*t))"
         "+0.1*sin(2*PI*(450+120*sin(2*PI*4*t))*t)+0.01*(random(0)-0.5):s=48000",
         "-t", QString::number(length), "-f", "s16le", "-y", voiceFile},
        {"-f", "lavfi", "-i",
         "aevalsrc=0.2*sin(2*PI*220*t)*(1+0.5*sin(2*PI*3*t))+0.1*sin(2*PI*330*t)"
         "+0.05*sin(2*PI*1250*t)+0.02*(random(0)-0.5)|0.15*sin(2*PI*220*t)"
         "+0.12*sin(2*PI*440*t)*(1+0.5*sin(2*PI*2*t))+0.02*(random(1)-0.5):s=48000",
         "-t", QString::number(length), "-f", "s16le", "-y", musicFile},
    };
    for (const QStringList& args : generate) {
        if (QProcess::execute(QStringLiteral("ffmpeg"), QStringList{"-hide_banner", "-loglevel", "error"} + args)
            != 0) {
            std::fprintf(stderr, "cannot make the benchmark's sound with ffmpeg\n");
            return 1;
        }
    }
    QProcess speakers;
    QProcess voice;
    for (auto [process, sink, file, channels] :
         {std::tuple{&speakers, "orvane_speakers", musicFile, "2"}, std::tuple{&voice, "orvane_voice", voiceFile, "1"}}) {
        process->setStandardInputFile(file);
        process->start(QStringLiteral("pacat"), {"--playback", "-d", sink, "--format=s16le", "--rate=48000",
                                                 QStringLiteral("--channels=") + channels});
        if (!process->waitForStarted(5000)) {
            std::fprintf(stderr, "cannot run pacat: is a sound server running (with-sound.sh)?\n");
            return 1;
        }
    }
    Figures without;
    Figures with;
    for (int round = 0; round < kSoundRounds; ++round) {
        const Figures a = runOrvane(display, dir.filePath("silent.mov"), seconds, false);
        const Figures b = runOrvane(display, dir.filePath("sound.mov"), seconds, true);
        print("without sound", a, seconds);
        print("with microphone + desktop", b, seconds);
        without.cpu += a.cpu;
        with.cpu += b.cpu;
        with.soundCpu += b.soundCpu;
        without.grabbed += a.grabbed;
        with.grabbed += b.grabbed;
        without.dropped += a.dropped;
        with.dropped += b.dropped;
    }
    speakers.kill();
    voice.kill();
    speakers.waitForFinished();
    voice.waitForFinished();
    const std::string streams = bench::streamSummary(dir.filePath("sound.mov"));
    std::printf("  the take with sound holds: %s\n", streams.c_str());
    const double ratio = without.cpu > 0 ? with.cpu / without.cpu : 0.0;
    const double dropped = with.grabbed > 0 ? 100.0 * static_cast<double>(with.dropped) /
                                                  static_cast<double>(with.grabbed)
                                            : 100.0;
    std::printf("  CPU with sound / without: %.3f (%.2f s / %.2f s over %d takes each)\n", ratio,
                with.cpu, without.cpu, kSoundRounds);
    // The sound threads' own time against the takes without sound: what sound
    // adds, without the takes' own spread.
    const double threadsRatio = without.cpu > 0 ? (without.cpu + with.soundCpu) / without.cpu : 0.0;
    std::printf("  the sound threads: %.2f s of CPU per take (%.1f%% of one core); "
                "(without + sound threads) / without: %.3f\n",
                with.soundCpu / kSoundRounds, 100.0 * with.soundCpu / kSoundRounds / seconds, threadsRatio);
    char value[64];
    char baseText[64];
    std::snprintf(value, sizeof value, "CPU %.2f s, %.2f%% dropped", with.cpu / kSoundRounds, dropped);
    std::snprintf(baseText, sizeof baseText, "no sound: CPU %.2f s", without.cpu / kSoundRounds);
    orvane::bench::reportRow("record 20 s 1920x1200@60 with sound", value, baseText, ratio,
                             "CPU ratio < 1.05, <= 1% dropped", ratio < 1.05 && dropped <= 1.0);
    std::snprintf(value, sizeof value, "sound threads %.2f s", with.soundCpu / kSoundRounds);
    orvane::bench::reportRow("  the same, by the sound threads' own CPU", value, baseText, threadsRatio,
                             "CPU ratio < 1.05", threadsRatio < 1.05);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--animate") {
        return animate(argv[2]);
    }
    QCoreApplication app(argc, argv);
    double seconds = 20;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--seconds") {
            seconds = args[i + 1].toDouble();
        }
    }

    // An X server of our own, with MIT-SHM, at the benchmark's size.
    // Xvfb picks a free display and writes its number once it is ready.
    QProcess xvfb;
    std::string display;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0",
                        QString("%1x%2x24").arg(kWidth).arg(kHeight), "-nolisten", "tcp"});
    if (xvfb.waitForStarted(5000)) {
        QByteArray number;
        while (!number.contains('\n') && xvfb.waitForReadyRead(10000)) {
            number += xvfb.readAllStandardOutput();
        }
        bool ok = false;
        const int n = number.trimmed().toInt(&ok);
        if (ok) {
            display = ":" + std::to_string(n);
        }
    }
    if (display.empty()) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    QThread::msleep(300);
    QProcess animator;
    animator.start(QCoreApplication::applicationFilePath(),
                   {"--animate", QString::fromStdString(display)});
    animator.waitForStarted();

    QTemporaryDir dir;
    std::printf("capture_bench: %dx%d at 60 fps for %.0f s on %s (%d cores)\n", kWidth, kHeight,
                seconds, display.c_str(), QThread::idealThreadCount());
    if (app.arguments().contains(QStringLiteral("--sound"))) {
        const int status = measureSound(display, dir, seconds);
        animator.kill();
        animator.waitForFinished();
        xvfb.kill();
        xvfb.waitForFinished();
        return status;
    }
    const Figures ours = runOrvane(display, dir.filePath("orvane.mov"), seconds);
    const Figures base = runBaseline(display, dir.filePath("x11grab.mov"), seconds);
    print("orvane (stream + writer)", ours, seconds);
    print("baseline (ffmpeg x11grab)", base, seconds);
    std::printf("  CPU ratio orvane / baseline: %.2f\n", base.cpu > 0 ? ours.cpu / base.cpu : 0.0);
    std::printf("  frames written ratio orvane / baseline: %.3f\n",
                base.written > 0 ? static_cast<double>(ours.written) / static_cast<double>(base.written) : 0.0);
    {
        const double dropped = ours.grabbed > 0 ? 100.0 * static_cast<double>(ours.dropped) /
                                                      static_cast<double>(ours.grabbed)
                                                : 100.0;
        char value[48];
        char baseText[48];
        std::snprintf(value, sizeof value, "%.2f%% dropped, CPU %.2f s", dropped, ours.cpu);
        std::snprintf(baseText, sizeof baseText, "x11grab CPU %.2f s", base.cpu);
        const double ratio = base.cpu > 0 ? ours.cpu / base.cpu : 0.0;
        orvane::bench::reportRow("record 20 s 1920x1200@60", value, baseText, ratio,
                                 "<= 1% dropped, CPU ratio <= 1", dropped <= 1.0 && ratio <= 1.0);
    }

    animator.kill();
    animator.waitForFinished();
    xvfb.kill();
    xvfb.waitForFinished();
    return 0;
}
