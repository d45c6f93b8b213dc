// orvane-render: exports a recorded movie without the window, with the same
// pipeline as the Recorder's Export.
#include "RenderOptions.h"
#include "app/ProjectExport.h"
#include "app/TakeFiles.h"
#include "SignalStop.h"

#include "render/OutputGeometry.h"
#include "render/export/H264Writer.h"
#include "media/MediaLog.h"
#include "render/export/RenderComposite.h"
#include "render/export/TempOutput.h"
#include "media/MovieReader.h"
#include "timeline/ClicksFile.h"
#include "timeline/CursorTrack.h"
#include "timeline/TextFile.h"
#include "timeline/TimeMap.h"
#include "timeline/TakeJournal.h"
#include "timeline/TrackCsv.h"
#include "timeline/ZoomGeneration.h"

#include <QFile>
#include <QGuiApplication>
#include <QLocale>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <unistd.h>

using namespace orvane;

namespace {

int fail(const std::string& message) {
    std::cerr << "orvane-render: " << message << "\n";
    return 1;
}

// Without a recorded track the camera would aim at the frame's centre, so the
// synthetic cursor that glides between the clicks is sampled at the recording
// rate of cursor samples and stands in for the track.
std::vector<CursorSample> syntheticTrack(const Timeline& tl, double duration, double smoothness) {
    std::vector<CursorSample> track;
    if (tl.clicks.empty()) {
        return track;
    }
    const auto count = static_cast<long>(std::floor(std::max(duration, 0.0) * 60)) + 1;
    track.reserve(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / 60;
        const NormPoint p = tl.synthCursor(t, smoothness);
        track.push_back({t, p.x, p.y, false});
    }
    return track;
}

// Prints progress: a bar redrawn in place on a terminal, plain lines otherwise.
class ProgressPrinter {
public:
    ProgressPrinter() : terminal_(isatty(STDOUT_FILENO) == 1), start_(Clock::now()) {}

    void report(double fraction, double mediaSeconds, double frameRate) {
        const int percent = static_cast<int>(std::lround(fraction * 100));
        if (!terminal_) {
            std::printf("%d%%\n", percent);
            std::fflush(stdout);
            return;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        const double fps = elapsed > 0 ? fraction * mediaSeconds * frameRate / elapsed : 0;
        const double left = fraction > 0 ? elapsed * (1 - fraction) / fraction : 0;
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(fraction * kWidth);
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.append(static_cast<std::size_t>(kWidth - filled), '-');
        std::printf("\r[%s] %3d%%  %5.1f fps  %d:%02d left ", bar.c_str(), percent, fps,
                    static_cast<int>(left) / 60, static_cast<int>(left) % 60);
        if (percent >= 100) {
            std::printf("\n");
        }
        std::fflush(stdout);
    }

private:
    using Clock = std::chrono::steady_clock;
    bool terminal_;
    Clock::time_point start_;
};

// The inputs that the output must not replace, through whatever spelling,
// link or hard link names them: an error naming the one it would replace.
std::optional<std::string> outputReplacesAnInput(const RenderOptions& o) {
    const std::pair<const std::optional<std::string>*, const char*> inputs[] = {
        {&o.clicks, "the clicks file"}, {&o.track, "the cursor track"},
        {&o.journal, "the take journal"}};
    for (const auto& [path, what] : inputs) {
        if (*path && sameFile(**path, o.output)) {
            return "the export would replace " + std::string(what) + " " + **path +
                   "; choose another name";
        }
    }
    return std::nullopt;
}

// The take in --project's folder, with the look options given beside it
// over the project's values.
Result<OpenedTake> openProject(const RenderOptions& o) {
    auto probe = [](const QString& path) -> std::optional<MovieProbe> {
        media::MovieReader reader;
        auto info = reader.open(QFile::encodeName(path).toStdString());
        if (!info || !info->duration || !(*info->duration > 0)) {
            return std::nullopt;
        }
        return MovieProbe{*info->duration, info->width, info->height};
    };
    auto opened = takefiles::open(QString::fromStdString(*o.project), probe);
    if (!opened) {
        return Error{opened.errorValue().kind, *o.project + ": " + opened.error()};
    }
    OpenedTake& t = opened.value();
    if (sameFile(t.moviePath().toStdString(), o.output)) {
        return Error{ErrorKind::Invalid, "the export would replace the take's movie; choose another name"};
    }
    Look& look = t.project.look;
    if (o.gave("--format")) look.formatIndex = o.format;
    if (o.gave("--background")) look.background = o.background;
    if (o.gave("--padding")) look.padding = o.padding;
    if (o.gave("--corner-radius")) look.cornerRadius = o.cornerRadius;
    if (o.gave("--bg-blur")) look.bgBlur = o.bgBlur;
    if (o.gave("--motion-blur")) look.motionBlur = o.motionBlur;
    if (o.gave("--zoom")) look.zoom = o.zoom;
    if (o.gave("--smoothness")) look.smoothness = o.smoothness;
    if (o.gave("--merge")) t.project.zoomMerge = o.merge;
    if (o.gave("--mic-volume")) look.sound.microphoneVolume = o.micVolume / 100.0;
    if (o.gave("--desktop-volume")) look.sound.desktopVolume = o.desktopVolume / 100.0;
    if (o.gave("--mute-mic")) look.sound.microphoneMuted = true;
    if (o.gave("--mute-desktop")) look.sound.desktopMuted = true;
    if (o.gave("--trim")) {
        t.project.trimStart = o.trimStart;
        t.project.trimEnd = o.trimEnd > 0 ? o.trimEnd : t.project.duration;
    }
    if (!o.ranges.empty()) {
        auto list = rangeSections(o.ranges, t.project.duration);
        if (!list) {
            return list.errorValue();
        }
        t.project.sections = std::move(list.value());
    }
    return opened;
}

bool endsInMp4(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".mp4";
}

} // namespace

int main(int argc, char** argv) {
    // First, before any thread starts: a signal while the inputs are read
    // ends the program at once, one during the export stops it cleanly.
    SignalStop stop("orvane-render: stopped before anything was written");
    std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = parseRenderOptions(args);
    if (!parsed) {
        std::cerr << "orvane-render: " << parsed.error() << "\n";
        return 2;
    }
    const RenderOptions& o = parsed.value();
    if (o.help) {
        std::cout << renderUsage();
        return 0;
    }
    if (auto clash = outputReplacesAnInput(o)) {
        return fail(*clash);
    }
    if (!endsInMp4(o.output)) {
        std::cerr << "orvane-render: warning: " << o.output
                  << " does not end in .mp4; it will be an MP4 video all the same\n";
    }
    // Drawing needs Qt's GUI layer but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    media::quietMediaLog();

    ExportJob job;
    double duration = 0;
    double rate = 60;
    if (o.project) {
        auto opened = openProject(o);
        if (!opened) {
            return fail(opened.error());
        }
        job = projectExportJob(opened.value(), o.output);
        duration = opened->project.duration;
        media::MovieReader reader;
        if (auto info = reader.open(job.source); info && info->frameRate > 0) {
            rate = info->frameRate;
        }
    } else {
        media::MovieReader reader;
        auto info = reader.open(o.movie);
        if (!info) {
            return fail(o.movie + ": " + info.error());
        }
        reader.close();

        std::vector<Moment> moments;
        if (o.clicks) {
            auto text = readTextFile(*o.clicks);
            if (!text) {
                return fail(*o.clicks + ": " + text.error());
            }
            auto clicks = ClicksFile::parse(text.value());
            if (!clicks) {
                return fail(*o.clicks + ": " + clicks.error());
            }
            moments = std::move(clicks->moments);
        }
        std::vector<CursorSample> track;
        if (o.track) {
            auto text = readTextFile(*o.track);
            if (!text) {
                return fail(*o.track + ": " + text.error());
            }
            auto samples = TrackCsv::parse(text.value());
            if (!samples) {
                return fail(*o.track + ": " + samples.error());
            }
            track = std::move(samples.value());
        }
        bool cursorInPicture = false; // the recorded pictures show the cursor themselves
        if (o.journal) {
            auto journal = takejournal::read(*o.journal);
            if (!journal) {
                return fail(journal.error());
            }
            moments = std::move(journal->clicks);
            track = std::move(journal->track);
            cursorInPicture = journal->cursorInPicture;
        }
        const bool hasTrack = o.track || (o.journal && !track.empty());

        // The take as a finished recording leaves it: the movie's duration, the
        // clicks as moments and zoom segments generated from them.
        duration =
            info->duration.value_or(moments.empty() ? 0.0 : moments.back().t);
        auto sections = rangeSections(o.ranges, duration);
        if (!sections) {
            return fail(sections.error());
        }
        job.sections = std::move(sections.value());
        Timeline timeline;
        timeline.build(visibleZooms(zoomsFromClicks(moments, {duration, o.zoom, o.smoothness, o.merge}),
                                    job.sections),
                       moments, duration, o.zoom);
        timeline.track = hasTrack ? smoothedTrack(track)
                                 : syntheticTrack(timeline, duration, o.smoothness);
        timeline.cursorInPicture = cursorInPicture;

        job.source = o.movie;
        job.output = o.output;
        job.timeline = timeline;
        job.look.formatIndex = o.format;
        job.look.background = o.background;
        job.look.padding = o.padding;
        job.look.cornerRadius = o.cornerRadius;
        job.look.bgBlur = o.bgBlur;
        job.look.motionBlur = o.motionBlur;
        job.look.zoom = o.zoom;
        job.look.smoothness = o.smoothness;
        job.look.sound.microphoneVolume = o.micVolume / 100.0;
        job.look.sound.desktopVolume = o.desktopVolume / 100.0;
        job.look.sound.microphoneMuted = o.muteMic;
        job.look.sound.desktopMuted = o.muteDesktop;
        job.trimStart = o.trimStart;
        job.trimEnd = o.trimEnd > 0 ? o.trimEnd : duration;


        rate = info->frameRate > 0 ? info->frameRate : 60;
    }
    const ExportRange range = exportRange(job.trimStart, job.trimEnd, duration);
    ProgressPrinter printer;
    if (!stop.beginExport()) {
        // A signal came first and the process is ending on the watcher thread.
        for (;;) {
            pause();
        }
    }
    const TimeMap map(job.sections);
    const double outputLength =
        map.identity() ? range.length : map.outputLength(range.start, range.end);
    auto result = renderComposite(
        job, [&](double f) { printer.report(f, outputLength, rate); }, stop.cancelFlag());
    if (!result) {
        if (const int signal = stop.signal(); signal != 0) {
            std::cout << std::flush;
            std::cerr << "orvane-render: stopped by " << SignalStop::name(signal)
                      << "; nothing was written to " << o.output << "\n";
            return 128 + signal;
        }
        return fail(result.error());
    }
    const QString size = QLocale::system().formattedDataSize(result->bytes, 1,
                                                             QLocale::DataSizeSIFormat);
    std::printf("%s  %s  %.2f s  %dx%d  %s\n", result->output.c_str(), size.toUtf8().constData(),
                result->duration, result->width, result->height, result->encoder.c_str());
    if (result->endedEarly) {
        std::cerr << "orvane-render: note: " << endedEarlyNote(*result->endedEarly)
                  << " (its tail is damaged); everything before it was exported\n";
    }
    return 0;
}
