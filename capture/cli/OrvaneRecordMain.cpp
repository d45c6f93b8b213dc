// orvane-record: records one take without the window, for scripted demos and
// automated tutorials. It runs the same Recorder flow as the application (same
// movie, same clicks file, same zoom segments) and also writes the take's
// cursor track as "orvane-cursor.csv".
#include "capture/CaptureBackendFactory.h"
#include "capture/Recorder.h"
#include "capture/SoundDevicesFactory.h"
#include "capture/ffmpeg/FfmpegWriterFactory.h"
#include "render/media/MediaLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTemporaryFile>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

using namespace orvane;

constexpr const char* kUsage = R"(Usage: orvane-record [options]

Records one take of a monitor or a window, the way the Orvane window does, and
writes into the output folder:
  orvane-recording.mov   the movie
  quilbo-clicks.json     the clicks
  orvane-cursor.csv      the cursor track (t,x,y,pointer), as orvane-render --track reads it
Recording stops after --duration seconds, on Ctrl+C (SIGINT), SIGTERM or SIGHUP
(a closed terminal), or when what is recorded goes away (the window closes, the
display connection is lost, the desktop stops sharing); the movie is finished
cleanly each way.

Options:
  --backend NAME      capture backend: x11 (default: $ORVANE_CAPTURE, else the
                      session's own, else the first that opens)
  --display NAME      X11 display (default: $DISPLAY)
  --monitor N         record monitor N, counted from 0 in RandR's order (default: 0)
  --window ID         record the window with this X11 id (decimal or 0x hex)
  --window-name TEXT  record the first window whose title contains TEXT
  --duration SECONDS  stop after this long (default: until interrupted)
  --out-dir DIR       where the files go (default: the Desktop folder)
  --mic [DEVICE]      also record the microphone, into a sound track of its own:
                      the sound server's default input, or the input named
                      DEVICE (as `pactl list short sources` names it)
  --desktop-audio     also record what the computer plays (the default
                      output's monitor), into a sound track of its own
  --help              this text

Sound never fails a take: without a sound server, or when a device cannot be
opened or goes away, the take is recorded without that sound and the last line
says so.
)";

int fail(const std::string& message) {
    std::fprintf(stderr, "orvane-record: %s\n", message.c_str());
    return 2;
}

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here: the event loop reads the pipe.
    [[maybe_unused]] const auto n = write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    media::quietMediaLog();
    QString display;
    QString backendName;
    std::optional<int> monitor;
    std::optional<quint64> windowId;
    QString windowName;
    std::optional<double> duration;
    QString outDir;
    SoundChoice sound;

    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        // The sound flags take no value, or (--mic) an optional one.
        if (a == QLatin1String("--desktop-audio")) {
            sound.desktop = true;
            continue;
        }
        if (a == QLatin1String("--mic")) {
            sound.microphone = true;
            if (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1Char('-'))) {
                sound.microphoneDevice = args[++i];
            }
            continue;
        }
        const auto v = value();
        if (!v) {
            return fail(a.toStdString() + " needs a value (see --help)");
        }
        bool ok = false;
        if (a == QLatin1String("--backend")) {
            backendName = *v;
        } else if (a == QLatin1String("--display")) {
            display = *v;
        } else if (a == QLatin1String("--monitor")) {
            const int n = v->toInt(&ok);
            if (!ok || n < 0) {
                return fail("--monitor: invalid value \"" + v->toStdString() + "\"");
            }
            monitor = n;
        } else if (a == QLatin1String("--window")) {
            const quint64 id = v->toULongLong(&ok, 0);
            if (!ok || id == 0) {
                return fail("--window: invalid window id \"" + v->toStdString() + "\"");
            }
            windowId = id;
        } else if (a == QLatin1String("--window-name")) {
            if (v->isEmpty()) {
                return fail("--window-name: the title to look for is empty");
            }
            windowName = *v;
        } else if (a == QLatin1String("--duration")) {
            const double d = v->toDouble(&ok);
            if (!ok || !(d > 0) || d > 86400) {
                return fail("--duration: invalid value \"" + v->toStdString() + "\"");
            }
            duration = d;
        } else if (a == QLatin1String("--out-dir")) {
            if (v->isEmpty()) {
                return fail("--out-dir: the folder name is empty");
            }
            outDir = *v;
        } else {
            return fail("unknown option \"" + a.toStdString() + "\" (see --help)");
        }
    }
    if ((monitor ? 1 : 0) + (windowId ? 1 : 0) + (windowName.isEmpty() ? 0 : 1) > 1) {
        return fail("choose one of --monitor, --window and --window-name");
    }
    if (!outDir.isEmpty()) {
        if (!QDir().mkpath(outDir)) {
            return fail(outDir.toStdString() + ": cannot create the folder");
        }
        QTemporaryFile probe(QDir(outDir).filePath(QStringLiteral(".orvane-write-test-XXXXXX")));
        if (!probe.open()) {
            return fail(outDir.toStdString() + ": the folder is not writable");
        }
        outDir = QFileInfo(outDir).absoluteFilePath();
    }

    auto opened = CaptureBackendFactory::open({backendName.toStdString(), display.toStdString()});
    if (!opened) {
        return fail(opened.error());
    }
    CaptureBackend& backend = *opened.value();
    backend.setOutputFolder(outDir);
    FfmpegWriterFactory writers;
    // The sound server is asked for only when a take wants sound.
    std::unique_ptr<SoundDevices> soundDevices = sound.any() ? makeSoundDevices() : nullptr;
    Recorder rec(backend, writers);
    rec.setSoundDevices(soundDevices.get());
    rec.setSoundChoice(sound);
    if (rec.outputFolder().isEmpty()) {
        return fail("no folder to write the take to (use --out-dir)");
    }
    ContentQuery query;
    query.monitor = monitor.value_or(0);
    query.windowId = windowId;
    query.windowTitle = windowName;

    // Ctrl+C, SIGTERM and SIGHUP end the take cleanly through the event loop.
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return fail("cannot set up signal handling");
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char buf[16];
        while (read(signalPipe[0], buf, sizeof buf) > 0) {
        }
        if (rec.phase() == Phase::recording) {
            rec.stop();
        }
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);

    int exitCode = 1;
    QString title;
    // The choice is made without a dialog; a match starts the take through the
    // Recorder's own connection to the picker.
    QObject::connect(&backend.picker(), &ContentPicker::contentChosen,
                     [&](const CaptureContent& c) { title = c.title; });
    QObject::connect(&backend.picker(), &ContentPicker::failed, [&](const QString& why) {
        std::fprintf(stderr, "orvane-record: %s\n", qPrintable(why));
        exitCode = 2;
        QCoreApplication::quit();
    });
    const QDir folder(rec.outputFolder());
    const QString csvPath = folder.filePath(QStringLiteral("orvane-cursor.csv"));
    rec.setTrackFile(csvPath);
    QObject::connect(&rec, &Recorder::takeFinished, [&](bool ready) {
        const std::optional<Error> filesError = rec.takeFilesError();
        if (ready) {
            std::printf("movie:  %s\nclicks: %s\ncursor: %s\n", qPrintable(rec.videoURL()),
                        qPrintable(folder.filePath(QString::fromLatin1(Recorder::kClicksName))),
                        qPrintable(csvPath));
        }
        std::printf("%s\n", qPrintable(rec.status()));
        std::fflush(stdout);
        exitCode = ready ? 0 : 1;
        for (const QString& note : rec.soundNotes()) {
            // The take stands; what of its sound is missing is said apart.
            std::fprintf(stderr, "orvane-record: %s\n", qPrintable(note));
        }
        if (filesError) {
            // The clicks and the track are still in the journal beside the movie.
            std::fprintf(stderr, "orvane-record: %s (kept in %s)\n", filesError->message.c_str(),
                         qPrintable(folder.filePath(QString::fromLatin1(Recorder::kJournalName))));
            exitCode = 1;
        }
        if (const std::optional<Error> failure = rec.writerFailure()) {
            // What was recorded before the failure is kept, but the take did
            // not run as asked.
            std::fprintf(stderr, "orvane-record: the take stopped early: %s\n",
                         failure->kind == ErrorKind::NoSpace ? "the disk is full"
                                                             : failure->message.c_str());
            exitCode = 1;
        }
        QCoreApplication::quit();
    });
    QObject::connect(&rec, &Recorder::statusChanged, [&] {
        if (rec.phase() != Phase::recording && rec.statusKind() == StatusKind::StartFailed &&
            exitCode != 2) {
            std::fprintf(stderr, "orvane-record: %s\n", qPrintable(rec.status()));
            exitCode = 1;
            QCoreApplication::quit();
        }
    });
    QObject::connect(&rec, &Recorder::phaseChanged, [&] {
        if (rec.phase() == Phase::recording) {
            std::printf("Recording %s (%dx%d)…\n", qPrintable(title), rec.videoW(), rec.videoH());
            std::fflush(stdout);
            if (duration) {
                QTimer::singleShot(static_cast<int>(*duration * 1000), &rec, [&] {
                    if (rec.phase() == Phase::recording) {
                        rec.stop();
                    }
                });
            }
        }
    });

    backend.picker().choose(query);
    QCoreApplication::exec();
    if (rec.needsPermission()) {
        QString why = backend.permissions().inputProblem();
        std::fprintf(stderr, "orvane-record: clicks could not be observed (%s); the take has no clicks\n",
                     qPrintable(why.isEmpty() ? QStringLiteral("input is not observable") : why));
    }
    return exitCode;
}
