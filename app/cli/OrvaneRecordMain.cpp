// orvane-record: records one take without the window, for scripted demos and
// automated tutorials. It records with the same take recorder as the
// application (same movie, same clicks file, same cursor track) into a folder
// of the take library, and writes the take's project file with the zoom
// segments a finished take gets.
#include "app/ProjectFile.h"
#include "app/TakeFiles.h"
#include "app/TakeLibrary.h"
#include "app/TakeStatus.h"
#include "capture/CaptureBackendFactory.h"
#include "capture/ContentRegion.h"
#include "capture/SoundDevicesFactory.h"
#include "capture/TakeRecorder.h"
#include "capture/ffmpeg/FfmpegWriterFactory.h"
#include "media/MediaLog.h"
#include "timeline/ZoomGeneration.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTemporaryFile>
#include <QTimer>

#include <cmath>
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

Records one take of a monitor or a window, the way the Orvane window does, into
a new folder of the take library ("Orvane" in the Videos folder), which the
Orvane window lists, and prints it as "Take folder: <path>". The folder holds:
  orvane-recording.mov   the movie
  quilbo-clicks.json     the clicks
  orvane-cursor.csv      the cursor track (t,x,y,pointer), as orvane-render --track reads it
  orvane-project.json    the project: the zoom segments and the look, as
                         orvane-render --project reads it
The Desktop's orvane-recording.mov and quilbo-clicks.json become the take's.
Recording stops after --duration seconds, on Ctrl+C (SIGINT), SIGTERM or SIGHUP
(a closed terminal), or when what is recorded goes away (the window closes, the
display connection is lost, the desktop stops sharing); the movie is finished
cleanly each way. A signal before the take has started ends the command with
nothing recorded (exit status 128 + the signal's number). SIGUSR1 pauses the
take and resumes it (a toggle): nothing is recorded while it is paused, and the
take goes on after it with no gap.

Options:
  --backend NAME      capture backend: x11 (default: $ORVANE_CAPTURE, else the
                      session's own, else the first that opens)
  --display NAME      X11 display (default: $DISPLAY)
  --monitor N         record monitor N, counted from 0 in RandR's order (default: 0)
  --window ID         record the window with this X11 id (decimal or 0x hex)
  --window-name TEXT  record the first window whose title contains TEXT
  --region X,Y,W,H    record only this rectangle of the monitor, in its pixels
                      from its top-left corner (odd sizes are rounded down to
                      even); not with --window or --window-name
  --countdown N       wait N seconds (0 to 60, default 0) before the take
                      starts, printing each second; the take's time 0 is the
                      end of the countdown
  --duration SECONDS  stop after this much take time (paused time does not
                      count; default: until interrupted)
  --out-dir DIR       write the take's files into DIR instead, and leave the
                      library and the Desktop as they are
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

// The project a finished take gets, with the zoom segments the window makes
// from its clicks.
ProjectState finishedProject(const TakeResult& r, const QDateTime& startedAt) {
    ProjectState p = takefiles::freshTake(r, startedAt, Look{}, ProjectState{}.zoomMerge).project;
    p.zooms = zoomsFromClicks(r.clicks, {p.duration, p.look.zoom, p.look.smoothness, p.zoomMerge});
    return p;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "orvane-record: %s\n", message.c_str());
    return 2;
}

const char* signalName(int number) {
    switch (number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

int signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const char byte = static_cast<char>(number);
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
    int countdown = 0;
    QRect region;
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
        } else if (a == QLatin1String("--countdown")) {
            const int n = v->toInt(&ok);
            if (!ok || n < 0 || n > 60) {
                return fail("--countdown: invalid value \"" + v->toStdString() + "\" (0 to 60 seconds)");
            }
            countdown = n;
        } else if (a == QLatin1String("--region")) {
            const std::optional<QRect> r = parseRegion(*v);
            if (!r) {
                return fail("--region: invalid value \"" + v->toStdString() +
                            "\" (X,Y,W,H in pixels, at least 2x2)");
            }
            region = *r;
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
    if (!region.isEmpty() && (windowId || !windowName.isEmpty())) {
        return fail("--region is a part of a monitor: it cannot be given with --window or --window-name");
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

    auto opened = CaptureBackendFactory::open({backendName.toStdString(), display.toStdString(), {}});
    if (!opened) {
        return fail(opened.error());
    }
    CaptureBackend& backend = *opened.value();
    backend.setOutputFolder(outDir);
    FfmpegWriterFactory writers;
    // The sound server is asked for only when a take wants sound.
    std::unique_ptr<SoundDevices> soundDevices = sound.any() ? makeSoundDevices() : nullptr;
    TakeRecorder rec(backend, writers);
    rec.setSoundDevices(soundDevices.get());
    rec.setSoundChoice(sound);
    // Without --out-dir, the take goes into a folder of the library of its own.
    TakeLibrary library;
    QDateTime startedAt;
    QObject::connect(&rec, &TakeRecorder::captureBegun,
                     [&] { startedAt = QDateTime::currentDateTime(); });
    if (outDir.isEmpty()) {
        rec.setTakeFolders([&] { return library.createTakeFolder(startedAt); });
    } else if (backend.outputFolder().isEmpty()) {
        return fail("no folder to write the take to (use --out-dir)");
    }
    bool needsPermission = false;
    QObject::connect(&rec, &TakeRecorder::clicksUnavailable, [&] { needsPermission = true; });
    ContentQuery query;
    query.monitor = monitor.value_or(0);
    query.windowId = windowId;
    query.windowTitle = windowName;
    query.region = region;
    rec.setCountdown(countdown);

    // Ctrl+C, SIGTERM and SIGHUP end the take cleanly through the event loop.
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return fail("cannot set up signal handling");
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    int exitCode = 1;
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char buf[16];
        ssize_t n = 0;
        while ((n = read(signalPipe[0], buf, sizeof buf)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                const int number = buf[i];
                if (number == SIGUSR1) {
                    if (rec.paused() ? rec.resume() : rec.pause()) {
                        if (rec.paused()) {
                            std::printf("Paused at %.2f s\n", rec.takeTime());
                        } else {
                            std::printf("Resumed\n");
                        }
                        std::fflush(stdout);
                    }
                    continue;
                }
                if (rec.state() == TakeRecorder::State::Recording) {
                    rec.stop();
                } else if (rec.state() != TakeRecorder::State::Finishing) {
                    // Before the take: the choice, the countdown or the set-up.
                    rec.abandon();
                    std::fprintf(stderr, "orvane-record: interrupted by %s before the take started; "
                                         "nothing was recorded\n", signalName(number));
                    exitCode = 128 + number;
                    QCoreApplication::exit(exitCode);
                    return;
                }
            }
        }
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
    std::signal(SIGUSR1, onSignal);

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
    QObject::connect(&rec, &TakeRecorder::takeFinished, [&](const TakeResult& r) {
        const QDir folder(r.folder);
        const std::optional<Error> filesError = r.filesError;
        const bool ready = r.written;
        QString status;
        if (!ready) {
            status = r.writerFailure ? takestatus::nothingKept(*r.writerFailure) : takestatus::noFrames();
        } else {
            const ProjectState project = finishedProject(r, startedAt);
            const double d = project.duration;
            std::optional<Error> projectError;
            if (auto saved = takefiles::saveProject(r.folder, project); !saved) {
                projectError = saved.errorValue();
            }
            status = takestatus::finished(r, static_cast<int>(project.zooms.size()), d,
                                          backend.permissions().recordsWithoutClicks(),
                                          backend.permissions().inputProblem());
            if (outDir.isEmpty()) {
                // The Desktop shows the latest take; the take stands without it.
                if (auto published = TakeLibrary::publishLatest(r.folder, backend.outputFolder());
                    !published) {
                    std::fprintf(stderr, "orvane-record: the Desktop's files were not updated: %s\n",
                                 published.error().c_str());
                }
            }
            std::printf("Take folder: %s\n", qPrintable(QDir(r.folder).absolutePath()));
            std::printf("movie:  %s\nclicks: %s\ncursor: %s\n", qPrintable(r.moviePath),
                        qPrintable(folder.filePath(QString::fromLatin1(TakeRecorder::kClicksName))),
                        qPrintable(folder.filePath(QString::fromLatin1(TakeRecorder::kTrackName))));
            if (projectError) {
                std::fprintf(stderr, "orvane-record: %s\n", projectError->message.c_str());
            }
        }
        std::printf("%s\n", qPrintable(status));
        std::fflush(stdout);
        exitCode = ready ? 0 : 1;
        for (const QString& note : r.soundNotes) {
            // The take stands; what of its sound is missing is said apart.
            std::fprintf(stderr, "orvane-record: %s\n", qPrintable(note));
        }
        if (filesError) {
            // The clicks and the track are still in the journal beside the movie.
            std::fprintf(stderr, "orvane-record: %s (kept in %s)\n", filesError->message.c_str(),
                         qPrintable(folder.filePath(QString::fromLatin1(TakeRecorder::kJournalName))));
            exitCode = 1;
        }
        if (const std::optional<Error> failure = r.writerFailure) {
            // What was recorded before the failure is kept, but the take did
            // not run as asked.
            std::fprintf(stderr, "orvane-record: the take stopped early: %s\n",
                         failure->kind == ErrorKind::NoSpace ? "the disk is full"
                                                             : failure->message.c_str());
            exitCode = 1;
        }
        QCoreApplication::quit();
    });
    QObject::connect(&rec, &TakeRecorder::startFailed, [&](const StartFailure& f) {
        if (exitCode != 2) {
            std::fprintf(stderr, "orvane-record: %s\n", qPrintable(takestatus::startFailed(f)));
            exitCode = 1;
            if (outDir.isEmpty() && !rec.takeFolder().isEmpty()) {
                QDir().rmdir(rec.takeFolder()); // only when nothing was written into it
            }
            QCoreApplication::quit();
        }
    });
    // --duration counts take time: the timer stands still while paused.
    QTimer durationTimer;
    durationTimer.setSingleShot(true);
    durationTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&durationTimer, &QTimer::timeout, [&] {
        if (rec.state() == TakeRecorder::State::Recording) {
            rec.stop();
        }
    });
    auto armDuration = [&] {
        if (duration) {
            const double left = std::max(0.0, *duration - rec.takeTime());
            durationTimer.start(static_cast<int>(std::lround(left * 1000)));
        }
    };
    int videoW = 0;
    int videoH = 0;
    QObject::connect(&rec, &TakeRecorder::videoSizeChanged, [&](int w, int h, bool) {
        videoW = w;
        videoH = h;
    });
    QObject::connect(&rec, &TakeRecorder::recordingStarted, [&] {
        if (outDir.isEmpty()) {
            // The Desktop's movie is the one being recorded; the clicks follow.
            TakeLibrary::publishLatest(rec.takeFolder(), backend.outputFolder());
        }
        std::printf("Recording %s (%dx%d)…\n", qPrintable(title), videoW, videoH);
        std::fflush(stdout);
        armDuration();
    });
    QObject::connect(&rec, &TakeRecorder::pausedChanged, [&](bool paused) {
        if (paused) {
            durationTimer.stop();
        } else {
            armDuration();
        }
    });
    QObject::connect(&rec, &TakeRecorder::countdownTick, [&](int left) {
        std::printf("Recording in %d…\n", left);
        std::fflush(stdout);
    });

    backend.picker().choose(query);
    QCoreApplication::exec();
    if (needsPermission) {
        QString why = backend.permissions().inputProblem();
        std::fprintf(stderr, "orvane-record: clicks could not be observed (%s); the take has no clicks\n",
                     qPrintable(why.isEmpty() ? QStringLiteral("input is not observable") : why));
    }
    return exitCode;
}
