// Export speed against the physical floor of the same work: a 10 s 1920 x 1200
// 60 fps HEVC recording exported with the default look, and in the same run the
// bare ffmpeg decode + scale to the output size + encode with the same encoder,
// preset and bit rate. Prints both wall times, their ratio, frames per second
// and the multiple of real time. Goal: export <= 1.25 x baseline.
//
// Usage: export_bench [PRESET...]   (default: the export's own preset)
//        export_bench --sound       what sound adds: the same recording with a
//                                   microphone and a desktop track, exported
//                                   with both mixed in, against it without sound;
//                                   the export ratio must grow by under 5%.
//        export_bench --sections    what cuts and speeds cost: the export with ten
//                                   cuts and two speed changes (with sound) against
//                                   the same export without them, in time per
//                                   output frame; the ratio must be at most 1.05.
#include "BenchReport.h"
#include "render/OutputGeometry.h"
#include "render/export/H264Writer.h"
#include "media/MediaLog.h"
#include "render/export/RenderComposite.h"
#include "timeline/Section.h"
#include "timeline/ZoomGeneration.h"

#include <QGuiApplication>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace orvane;
namespace fs = std::filesystem;

namespace {

constexpr int kW = 1920;
constexpr int kH = 1200;
constexpr double kSeconds = 10;
constexpr int kFps = 60;

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Runs the ffmpeg command `command(part)` that writes `path` under a private
// name, then moves it into place; a file already there is reused.
bool makeOnce(const std::string& path, const std::function<std::string(const std::string&)>& command) {
    if (fs::exists(path)) {
        return true;
    }
    const std::string part = path + ".part.mov";
    if (std::system(command(part).c_str()) != 0) {
        return false;
    }
    fs::rename(part, path);
    return true;
}

// A desktop: light background, a dark side bar, two windows, and a window that
// slides across (the moving element), in HEVC as Orvane records it.
bool makeRecording(const std::string& path) {
    // The window that slides is a second source laid over the first: drawbox
    // cannot move.
    return makeOnce(path, [](const std::string& tmp) {
        return
            "ffmpeg -hide_banner -loglevel error -y -f lavfi -i \"color=c=0xE8E8EC:s=1920x1200:r=60:d=10,"
            "drawbox=x=0:y=0:w=260:h=1200:color=0x2B2D33:t=fill,"
            "drawbox=x=340:y=120:w=900:h=640:color=0xFFFFFF:t=fill,"
            "drawbox=x=340:y=120:w=900:h=40:color=0xC8CCD4:t=fill,"
            "drawgrid=x=360:y=180:w=860:h=24:color=0xD0D4DC:t=1,"
            "drawbox=x=1300:y=500:w=520:h=560:color=0xF8F4E8:t=fill[desk];"
            "color=c=0x3070D0:s=360x220:r=60:d=10[window];"
            "[desk][window]overlay=x='300+t*120':y='800-t*30'\" "
            "-c:v libx265 -preset ultrafast -x265-params log-level=error -pix_fmt yuv420p "
            "-tag:v hvc1 -f mov '" + tmp + "'";
    });
}

// The recording with two sound tracks beside its picture, named as a take
// names them: speech-like noise bursts on the microphone, music-like tones on
// the desktop.
bool makeRecordingWithSound(const std::string& silent, const std::string& path) {
    return makeOnce(path, [&silent](const std::string& tmp) {
        return
            "ffmpeg -hide_banner -loglevel error -y -i '" + silent + "' "
            "-f lavfi -i \"anoisesrc=c=pink:r=48000:a=0.2:d=10,volume='0.5+0.5*sin(2*PI*3*t)':eval=frame,aformat=channel_layouts=stereo\" "
            "-f lavfi -i \"aevalsrc=0.2*sin(2*PI*440*t)+0.1*sin(2*PI*660*t):s=48000:c=stereo:d=10\" "
            "-map 0:v -map 1:a -map 2:a -c:v copy -c:a aac -b:a 160k "
            "-metadata:s:a:0 handler_name='Orvane microphone' -metadata:s:a:1 handler_name='Orvane desktop sound' "
            "-f mov '" + tmp + "'";
    });
}

ExportJob defaultJob(const std::string& source, const std::string& output) {
    ExportJob job;
    job.source = source;
    job.output = output;
    std::vector<Moment> clicks;
    for (const auto& [t, x, y] : {std::array{1.5, 0.3, 0.2}, std::array{4.0, 0.7, 0.6},
                                  std::array{7.5, 0.45, 0.8}}) {
        Moment m;
        m.t = t;
        m.cx = x;
        m.cy = y;
        clicks.push_back(m);
    }
    Timeline& tl = job.timeline;
    tl.build(zoomsFromClicks(clicks, {kSeconds, 1.5, 0.8, 3.5}), clicks, kSeconds, 1.5);
    for (int i = 0; i <= static_cast<int>(kSeconds * 60); ++i) {
        const double t = i / 60.0;
        const NormPoint p = tl.synthCursor(t, 0.8);
        tl.track.push_back({t, p.x, p.y, false});
    }
    // The Recorder's initial look.
    job.look.smoothness = 0.8;
    job.look.padding = 0.08;
    job.look.cornerRadius = 8;
    job.look.formatIndex = 0;
    job.trimEnd = kSeconds;
    return job;
}

} // namespace

int main(int argc, char** argv) {
    // Drawing needs Qt's GUI layer but no screen (test discovery runs without
    // the test environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    media::quietMediaLog();
    std::vector<std::string> presets(argv + 1, argv + argc);
    if (presets.empty()) {
        presets.emplace_back(kExportX264Preset);
    }
    const fs::path dir = fs::temp_directory_path() / "orvane-export-bench";
    fs::create_directories(dir);
    const std::string source = (dir / "desktop-1920x1200-60fps-10s-sliding.mov").string();
    std::printf("source: %s (10 s, 1920x1200, 60 fps, HEVC)\n", source.c_str());
    if (!makeRecording(source)) {
        std::fprintf(stderr, "export_bench: ffmpeg could not make the recording\n");
        return 1;
    }
    const auto size = outputSize(kW, kH, outputAspect(0, kW, kH), 0.08);
    const auto bitRate = exportBitRate(size->width, size->height);
    const double frames = kSeconds * kFps;
    std::printf("output: %dx%d, %lld bit/s, libx264 (no GPU encoder opens here)\n", size->width,
                size->height, static_cast<long long>(bitRate));

    if (presets.size() == 1 && presets.front() == "--sound") {
        const std::string withSound = (dir / "desktop-1920x1200-60fps-10s-sliding-sound.mov").string();
        if (!makeRecordingWithSound(source, withSound)) {
            std::fprintf(stderr, "export_bench: ffmpeg could not add sound to the recording\n");
            return 1;
        }
        const std::string out = (dir / "export-sound.mp4").string();
        double without = 0;
        double with = 0;
        // Alternating, so that a machine getting busier weighs on both alike.
        for (int round = 0; round < 3; ++round) {
            for (const bool sound : {false, true}) {
                const auto t0 = std::chrono::steady_clock::now();
                auto result = renderComposite(defaultJob(sound ? withSound : source, out), {}, nullptr,
                                              kExportX264Preset);
                const double took = seconds(t0);
                if (!result) {
                    std::fprintf(stderr, "export_bench: export failed: %s\n", result.error().c_str());
                    return 1;
                }
                std::printf("  %-10s export %6.2f s\n", sound ? "with sound" : "silent", took);
                (sound ? with : without) += took;
            }
        }
        const double growth = with / without - 1;
        std::printf("export with two sound tracks mixed: %.2f s against %.2f s silent (three runs "
                    "each): the export ratio grows by %.1f%% (goal < 5%%)\n",
                    with / 3, without / 3, 100 * growth);
        char value[48];
        char baseText[48];
        std::snprintf(value, sizeof value, "%.2f s", with / 3);
        std::snprintf(baseText, sizeof baseText, "silent %.2f s", without / 3);
        orvane::bench::reportRow("export 10 s 1920x1200@60 with sound", value, baseText, with / without,
                                 "growth < 5%", growth < 0.05);
        fs::remove(out);
        return 0;
    }

    if (presets.size() == 1 && presets.front() == "--sections") {
        const std::string withSound = (dir / "desktop-1920x1200-60fps-10s-sliding-sound.mov").string();
        if (!makeRecordingWithSound(source, withSound)) {
            std::fprintf(stderr, "export_bench: ffmpeg could not add sound to the recording\n");
            return 1;
        }
        // Ten 0.3 s cuts spread over the take, 2-3 s at 2x and 6-7 s at 0.5x.
        std::vector<Section> list;
        for (const double t : {0.5, 1.3, 3.3, 4.1, 4.9, 5.5, 7.3, 8.1, 8.9, 9.5}) {
            list = sections::withRange(list, t, t + 0.3, kSeconds, [](Section& c) { c.cut = true; });
        }
        list = sections::withRange(list, 2, 3, kSeconds, [](Section& c) { c.speed = 2; });
        list = sections::withRange(list, 6, 7, kSeconds, [](Section& c) { c.speed = 0.5; });
        const std::string out = (dir / "export-sections.mp4").string();
        double plainPerFrame = 0;
        double cutPerFrame = 0;
        for (int round = 0; round < 3; ++round) {
            for (const bool cut : {false, true}) {
                ExportJob job = defaultJob(withSound, out);
                if (cut) {
                    job.sections = list;
                }
                const auto t0 = std::chrono::steady_clock::now();
                auto result = renderComposite(job, {}, nullptr, kExportX264Preset);
                const double took = seconds(t0);
                if (!result) {
                    std::fprintf(stderr, "export_bench: export failed: %s\n", result.error().c_str());
                    return 1;
                }
                const double perFrame = took / static_cast<double>(result->frames);
                std::printf("  %-14s export %6.2f s, %lld frames, %.2f ms per frame\n",
                            cut ? "cut and sped" : "as recorded", took,
                            static_cast<long long>(result->frames), 1000 * perFrame);
                (cut ? cutPerFrame : plainPerFrame) += perFrame / 3;
            }
        }
        const double ratio = cutPerFrame / plainPerFrame;
        std::printf("ten cuts and two speeds: %.2f ms per output frame against %.2f ms as recorded: "
                    "ratio %.3f (goal <= 1.05)\n",
                    1000 * cutPerFrame, 1000 * plainPerFrame, ratio);
        char value[48];
        char baseText[48];
        std::snprintf(value, sizeof value, "%.2f ms/frame", 1000 * cutPerFrame);
        std::snprintf(baseText, sizeof baseText, "as recorded %.2f ms/frame", 1000 * plainPerFrame);
        orvane::bench::reportRow("export with 10 cuts, 2 speeds", value, baseText, ratio,
                                 "ratio <= 1.05", ratio <= 1.05);
        fs::remove(out);
        return 0;
    }

    int worst = 0;
    for (const std::string& preset : presets) {
        const std::string base = (dir / ("baseline-" + preset + ".mp4")).string();
        auto t0 = std::chrono::steady_clock::now();
        const std::string cmd =
            "ffmpeg -hide_banner -loglevel error -y -i '" + source + "' -vf scale=" +
            std::to_string(size->width) + ":" + std::to_string(size->height) +
            " -c:v libx264 -preset " + preset + " -b:v " + std::to_string(bitRate) +
            " -an -movflags +faststart '" + base + "'";
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "export_bench: the baseline ffmpeg run failed\n");
            return 1;
        }
        const double baseline = seconds(t0);

        const std::string out = (dir / ("export-" + preset + ".mp4")).string();
        t0 = std::chrono::steady_clock::now();
        auto result = renderComposite(defaultJob(source, out), {}, nullptr, preset.c_str());
        const double exported = seconds(t0);
        if (!result) {
            std::fprintf(stderr, "export_bench: export failed: %s\n", result.error().c_str());
            return 1;
        }
        const double ratio = exported / baseline;
        std::printf("preset %-9s baseline %6.2f s (%5.1f fps, %4.2fx real time) | export %6.2f s "
                    "(%5.1f fps, %4.2fx real time, %s) | ratio %.3f %s\n",
                    preset.c_str(), baseline, frames / baseline, kSeconds / baseline, exported,
                    frames / exported, kSeconds / exported, result->encoder.c_str(), ratio,
                    ratio <= 1.25 ? "(goal <= 1.25 met)" : "(goal <= 1.25 MISSED)");
        {
            char value[48];
            char baseText[48];
            std::snprintf(value, sizeof value, "%.2f s (%.2fx real time)", exported, kSeconds / exported);
            std::snprintf(baseText, sizeof baseText, "%.2f s", baseline);
            const std::string figure = "export 10 s 1920x1200@60, " + preset;
            orvane::bench::reportRow(figure.c_str(), value, baseText, ratio, "ratio <= 1.25", ratio <= 1.25);
        }
        std::fflush(stdout);
        if (ratio > 1.25) {
            worst = 1;
        }
        fs::remove(base);
        fs::remove(out);
    }
    return worst;
}
