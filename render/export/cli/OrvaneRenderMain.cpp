// orvane-render: exports a recorded movie without the window, with the same
// pipeline as the Recorder's Export.
#include "RenderOptions.h"

#include "render/OutputGeometry.h"
#include "render/export/H264Writer.h"
#include "render/media/MediaLog.h"
#include "render/export/RenderComposite.h"
#include "render/media/MovieReader.h"
#include "timeline/ClicksFile.h"
#include "timeline/CursorTrack.h"
#include "timeline/TextFile.h"
#include "timeline/TrackCsv.h"
#include "timeline/ZoomGeneration.h"

#include <QGuiApplication>
#include <QLocale>

#include <chrono>
#include <cmath>
#include <cstdio>
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

} // namespace

int main(int argc, char** argv) {
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
    // Drawing needs Qt's GUI layer but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    media::quietMediaLog();

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
        moments = clicks->moments;
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

    // The take as a finished recording leaves it: the movie's duration, the
    // clicks as moments and zoom segments generated from them.
    const double duration =
        info->duration.value_or(moments.empty() ? 0.0 : moments.back().t);
    Timeline timeline;
    timeline.build(zoomsFromClicks(moments, {duration, o.zoom, o.smoothness, o.merge}), moments,
                   duration, o.zoom);
    timeline.track = o.track ? smoothedTrack(track)
                             : syntheticTrack(timeline, duration, o.smoothness);

    ExportJob job;
    job.source = o.movie;
    job.output = o.output;
    job.timeline = timeline;
    job.smoothness = o.smoothness;
    job.motionBlur = o.motionBlur;
    job.bgBlur = o.bgBlur;
    job.padding = o.padding;
    job.cornerRadius = o.cornerRadius;
    job.background = o.background;
    job.outputAspect = outputAspect(o.format, info->width, info->height);
    job.trimStart = o.trimStart;
    job.trimEnd = o.trimEnd > 0 ? o.trimEnd : duration;

    const ExportRange range = exportRange(job.trimStart, job.trimEnd, duration);
    const double rate = info->frameRate > 0 ? info->frameRate : 60;
    ProgressPrinter printer;
    auto result = renderComposite(
        job, [&](double f) { printer.report(f, range.length, rate); });
    if (!result) {
        return fail(result.error());
    }
    const QString size = QLocale::system().formattedDataSize(result->bytes, 1,
                                                             QLocale::DataSizeSIFormat);
    std::printf("%s  %s  %.2f s  %dx%d  %s\n", result->output.c_str(), size.toUtf8().constData(),
                result->duration, result->width, result->height, result->encoder.c_str());
    return 0;
}
