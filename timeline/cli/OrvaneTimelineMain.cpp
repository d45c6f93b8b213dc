// orvane-timeline: prints the camera path and the cursor of a take as CSV, for
// plotting and checking camera paths outside the application.
#include "timeline/ClicksFile.h"
#include "timeline/CursorTrack.h"
#include "timeline/TextFile.h"
#include "timeline/Timeline.h"
#include "timeline/TrackCsv.h"
#include "timeline/ZoomGeneration.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage = R"(Usage: orvane-timeline --clicks FILE --duration SECONDS [options]

Builds the zoom timeline of a take the way a finished recording does (zoom
segments from the clicks, keyframes from the segments, the cursor track smoothed)
and prints the camera and the cursor as CSV from t = 0 to the duration inclusive.

Options (every number with its range):
  --clicks FILE       clicks sidecar: {"duration":...,"moments":[{"t":..,"x":..,"y":..}]}
                      (required; UTF-8, at most 256 MB; every click gets the
                      recorded hold of 0.9 s)
  --duration SECONDS  length of the take (required, 0 to 10000000)
  --track FILE        cursor track as CSV with the header t,x,y,pointer (pointer 0 or 1;
                      UTF-8, at most 256 MB); without it the cursor is synthesised
                      from the clicks
  --zoom Z            default zoom level of new segments (above 0, at most 100;
                      default 1.5)
  --smoothness S      camera/cursor smoothness, 0 to 1 (default 0.8)
  --merge M           clicks at most M seconds apart share a segment, 0 to 10000000
                      (default 3.5)
  --rate HZ           rows per second (above 0, at most 100000; default 60)
  --help              this text

Columns (times in seconds, positions normalised to the captured area, x to the
right and y down, 0...1):
  t             sample time
  frame_cx      keyframe camera centre x (clamped inside the frame)
  frame_cy      keyframe camera centre y
  frame_w       visible width fraction (1 = full frame, 1/zoom when zoomed)
  frame_zoom    zoom level of the current keyframe pair
  frame_smooth  smoothness of the current segment
  frame_fx      focus lock x of the current segment (empty when absent)
  frame_fy      focus lock y of the current segment (empty when absent)
  state_x       camera target centre x (pulled toward the focus or the cursor)
  state_y       camera target centre y
  state_w       camera target width fraction
  cursor_x      cursor x at the session smoothness
  cursor_y      cursor y
  cursor_scale  cursor scale (0.7 at a click, 1 away from clicks)
  pointer       1 while the pointing-hand cursor showed, else 0
)";

struct Options {
    std::string clicksPath;
    std::string trackPath;
    std::optional<double> duration;
    double zoom = 1.5;
    double smoothness = 0.8;
    double merge = 3.5;
    double rate = 60;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "orvane-timeline: %s\n", message.c_str());
    return 2;
}

bool parseNumber(std::string_view text, double& out) {
    const auto res = std::from_chars(text.data(), text.data() + text.size(), out);
    return res.ec == std::errc() && res.ptr == text.data() + text.size() && std::isfinite(out);
}

void printNumber(double v) {
    // %.12g keeps at least 9 significant digits and reads back close enough for plots.
    std::printf("%.12g", v);
}

} // namespace

int main(int argc, char** argv) {
    using namespace orvane;
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        auto needValue = [&](std::string_view name) -> const char* {
            if (i + 1 >= argc) {
                return nullptr;
            }
            (void)name;
            return argv[++i];
        };
        auto numberOption = [&](std::string_view name, double& out, double lo, double hi,
                                bool openLow) -> std::optional<int> {
            const char* v = needValue(name);
            if (v == nullptr) {
                return fail(std::string(name) + " needs a value");
            }
            if (!parseNumber(v, out) || out < lo || out > hi || (openLow && out <= lo)) {
                return fail(std::string(name) + ": invalid value \"" + v + "\"");
            }
            return std::nullopt;
        };
        std::optional<int> error;
        if (arg == "--clicks" || arg == "--track") {
            const char* v = needValue(arg);
            if (v == nullptr) {
                return fail(std::string(arg) + " needs a file");
            }
            (arg == "--clicks" ? opt.clicksPath : opt.trackPath) = v;
        } else if (arg == "--duration") {
            double d = 0;
            error = numberOption(arg, d, 0, 1e7, false);
            opt.duration = d;
        } else if (arg == "--zoom") {
            error = numberOption(arg, opt.zoom, 0, 100, true);
        } else if (arg == "--smoothness") {
            error = numberOption(arg, opt.smoothness, 0, 1, false);
        } else if (arg == "--merge") {
            error = numberOption(arg, opt.merge, 0, 1e7, false);
        } else if (arg == "--rate") {
            error = numberOption(arg, opt.rate, 0, 100000, true);
        } else {
            return fail("unknown option \"" + std::string(arg) + "\" (see --help)");
        }
        if (error) {
            return *error;
        }
    }
    if (opt.clicksPath.empty()) {
        return fail("--clicks FILE is required (see --help)");
    }
    if (!opt.duration) {
        return fail("--duration SECONDS is required (see --help)");
    }

    const auto clicksText = readTextFile(opt.clicksPath);
    if (!clicksText) {
        return fail(opt.clicksPath + ": " + clicksText.error());
    }
    const auto clicks = ClicksFile::parse(clicksText.value());
    if (!clicks) {
        return fail(opt.clicksPath + ": " + clicks.error());
    }
    std::vector<CursorSample> track;
    if (!opt.trackPath.empty()) {
        const auto trackText = readTextFile(opt.trackPath);
        if (!trackText) {
            return fail(opt.trackPath + ": " + trackText.error());
        }
        auto parsed = TrackCsv::parse(trackText.value());
        if (!parsed) {
            return fail(opt.trackPath + ": " + parsed.error());
        }
        track = std::move(parsed.value());
    }

    const double duration = *opt.duration;
    const auto zooms = zoomsFromClicks(
        clicks->moments, ZoomGenerationSettings{duration, opt.zoom, opt.smoothness, opt.merge});
    Timeline tl;
    tl.build(zooms, clicks->moments, duration, opt.zoom);
    tl.track = smoothedTrack(track);

    std::puts("t,frame_cx,frame_cy,frame_w,frame_zoom,frame_smooth,frame_fx,frame_fy,"
              "state_x,state_y,state_w,cursor_x,cursor_y,cursor_scale,pointer");
    // Rows at i / rate; the last row is the duration itself.
    const auto steps = static_cast<long long>(std::floor(duration * opt.rate + 1e-9));
    for (long long i = 0; i <= steps + 1; ++i) {
        double t = static_cast<double>(i) / opt.rate;
        if (i > steps) {
            if (std::abs(static_cast<double>(steps) / opt.rate - duration) < 1e-9) {
                break; // the duration fell on a sample already
            }
            t = duration;
        }
        const Timeline::Frame f = tl.frame(t);
        const CamState s = tl.state(t);
        const NormPoint c = tl.cursor(t, opt.smoothness);
        const double values[] = {t, f.cx, f.cy, f.w, f.zoom, f.smooth};
        for (double v : values) {
            printNumber(v);
            std::putchar(',');
        }
        if (f.fx) {
            printNumber(*f.fx);
        }
        std::putchar(',');
        if (f.fy) {
            printNumber(*f.fy);
        }
        for (double v : {s.x, s.y, s.w, c.x, c.y, tl.cursorScale(t)}) {
            std::putchar(',');
            printNumber(v);
        }
        std::printf(",%d\n", tl.isPointer(t) ? 1 : 0);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return fail("could not write the output");
    }
    return 0;
}
