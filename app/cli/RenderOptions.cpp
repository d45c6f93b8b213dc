#include "RenderOptions.h"

#include "timeline/Section.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace orvane {

namespace {

constexpr std::array<std::string_view, 5> kFormatNames{"original", "16:9", "1:1", "9:16", "4:5"};
constexpr int kBackgroundCount = 5 + 27;

std::optional<double> number(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

std::string shortNumber(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

} // namespace

std::string renderUsage() {
    return "Usage: orvane-render MOVIE [options] -o OUT.mp4\n"
           "       orvane-render --project TAKE-FOLDER [options] -o OUT.mp4\n"
           "\n"
           "Exports a recorded movie as a zoomed, framed H.264 MP4, as the window's\n"
           "Export does. Zoom segments are made from the clicks file exactly as a\n"
           "finished take makes them.\n"
           "\n"
           "Options (range, then the default in brackets):\n"
           "  -o, --output FILE      the MP4 to write (required): a new name or a\n"
           "                         regular file, which is replaced; a link is\n"
           "                         followed to the file it points to\n"
           "  --clicks FILE          clicks sidecar JSON, UTF-8, at most 256 MB\n"
           "                         [none: no zooms]\n"
           "  --track FILE           cursor track CSV t,x,y,pointer, UTF-8, at most\n"
           "                         256 MB [none]. Without a track the synthetic\n"
           "                         cursor of the clicks is sampled at 60 Hz and\n"
           "                         used as the track, so the camera still flies\n"
           "                         to each click\n"
           "  --journal FILE         the take journal (orvane-take.journal) that a take\n"
           "                         cut short by a crash or a kill leaves beside its\n"
           "                         movie: its clicks and cursor track, instead of\n"
           "                         --clicks and --track; at most 256 MB\n"
           "  --project DIR          a take of the library (its folder, or the\n"
           "                         orvane-project.json in it): its movie, clicks,\n"
           "                         track, zooms, trim and look, as the window's\n"
           "                         Export writes it; the options below override\n"
           "                         the project's values\n"
           "  --format NAME          original|16:9|1:1|9:16|4:5 [original]\n"
           "  --background N         0-31: 0-4 gradients, 5-31 photographs [0]\n"
           "  --padding F            fraction of the shorter side, 0-0.45 [0.08]\n"
           "  --corner-radius F      per 640 output pixels, 0-200 [8]\n"
           "  --bg-blur F            background blur, 0-1 [0]\n"
           "  --motion-blur F        motion blur, 0-1 [0]\n"
           "  --zoom F               zoom level of the segments, 1-10 [1.5]\n"
           "  --smoothness F         camera and cursor smoothness, 0-1 [0.8]\n"
           "  --merge F              seconds within which clicks share a zoom, 0-60 [3.5]\n"
           "  --trim START:END       seconds, START 0 or more and before the movie's\n"
           "                         end, END after START; END 0 or empty: to the\n"
           "                         end [0:0]\n"
           "  --cut START-END        leaves out seconds START to END of the take;\n"
           "                         repeatable\n"
           "  --speed START-END:F    plays seconds START to END at F times the speed,\n"
           "                         0.25-16 (sound above 4x is left out); repeatable.\n"
           "                         Ranges are take time, [START, END), END after\n"
           "                         START and not after the movie's end; they may\n"
           "                         touch but not overlap; the trim applies first.\n"
           "                         Beside --project they replace its sections\n"
           "  -h, --help             show this help\n";
}

namespace {

// "--cut 2-4" or "--speed 2-4:1.5": START-END in seconds, and the factor.
Result<RenderOptions::Range> parseRange(const std::string& option, const std::string& v) {
    using R = Result<RenderOptions::Range>;
    const bool speed = option == "--speed";
    RenderOptions::Range r;
    r.spelt = option + " " + v;
    const std::string form = speed ? "START-END:FACTOR" : "START-END";
    std::string span = v;
    if (speed) {
        const auto colon = v.rfind(':');
        const auto factor = colon == std::string::npos ? std::nullopt : number(v.substr(colon + 1));
        if (!factor) {
            return R::failure(ErrorKind::Invalid,
                              "option --speed needs " + form + ", not '" + v + "'");
        }
        if (*factor < sections::kMinSpeed || *factor > sections::kMaxSpeed) {
            return R::failure(ErrorKind::Invalid, "option " + r.spelt + ": the factor " +
                                                      v.substr(colon + 1) +
                                                      " is outside 0.25 to 16");
        }
        r.speed = *factor;
        span = v.substr(0, colon);
    }
    // The dash between the two numbers: not a sign, nor an exponent's.
    std::size_t dash = std::string::npos;
    for (std::size_t i = 1; i < span.size(); ++i) {
        if (span[i] == '-' && span[i - 1] != 'e' && span[i - 1] != 'E') {
            dash = i;
            break;
        }
    }
    const auto start = dash == std::string::npos ? std::nullopt : number(span.substr(0, dash));
    const auto end = dash == std::string::npos ? std::nullopt : number(span.substr(dash + 1));
    if (!start || !end) {
        return R::failure(ErrorKind::Invalid, "option " + option + " needs " + form +
                                                  " in seconds, not '" + v + "'");
    }
    if (*start < 0) {
        return R::failure(ErrorKind::Invalid,
                          "option " + r.spelt + ": START must be 0 or more");
    }
    if (*end <= *start) {
        return R::failure(ErrorKind::Invalid,
                          "option " + r.spelt + ": END must be after START");
    }
    r.start = *start;
    r.end = *end;
    return r;
}

} // namespace

Result<std::vector<Section>> rangeSections(const std::vector<RenderOptions::Range>& ranges,
                                           double duration) {
    std::vector<Section> list;
    for (const auto& r : ranges) {
        // A hundredth of a second of allowance: durations are rounded in print.
        if (r.end > duration + 0.01) {
            return Error{ErrorKind::Invalid, "option " + r.spelt + ": END is after the movie's end (" +
                                                 shortNumber(duration) + " s)"};
        }
        list = sections::withRange(list, r.start, std::min(r.end, duration), duration,
                                   [&](Section& s) {
                                       if (r.speed) {
                                           s.speed = *r.speed;
                                       } else {
                                           s.cut = true;
                                       }
                                   });
    }
    return sections::normalised(std::move(list), duration);
}

Result<RenderOptions> parseRenderOptions(const std::vector<std::string>& args) {
    using R = Result<RenderOptions>;
    RenderOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            o.help = true;
            return o;
        }
        if (a.empty() || a[0] != '-' || a == "-") {
            if (!o.movie.empty()) {
                return R::failure(ErrorKind::Invalid, "unexpected argument '" + a + "' (one movie only)");
            }
            o.movie = a;
            continue;
        }
        o.given.insert(a);
        if (a == "--mute-mic") {
            o.muteMic = true;
            continue;
        }
        if (a == "--mute-desktop") {
            o.muteDesktop = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            return R::failure(ErrorKind::Invalid, "option " + a + " needs a value");
        }
        const std::string& v = args[++i];
        // A number within [lo, hi], or an error naming the option.
        auto ranged = [&](double lo, double hi, double& into) -> std::optional<std::string> {
            const auto n = number(v);
            if (!n) {
                return "option " + a + " needs a number, not '" + v + "'";
            }
            if (*n < lo || *n > hi) {
                return "option " + a + " is out of range (" + v + "; allowed " + shortNumber(lo) +
                       " to " + shortNumber(hi) + ")";
            }
            into = *n;
            return std::nullopt;
        };
        std::optional<std::string> error;
        if (a == "-o" || a == "--output") {
            o.output = v;
        } else if (a == "--clicks") {
            o.clicks = v;
        } else if (a == "--track") {
            o.track = v;
        } else if (a == "--journal") {
            o.journal = v;
        } else if (a == "--project") {
            o.project = v;
        } else if (a == "--format") {
            bool found = false;
            for (std::size_t f = 0; f < kFormatNames.size(); ++f) {
                if (v == kFormatNames[f]) {
                    o.format = static_cast<int>(f);
                    found = true;
                }
            }
            if (!found) {
                error = "unknown --format '" + v + "' (original, 16:9, 1:1, 9:16 or 4:5)";
            }
        } else if (a == "--background") {
            double b = 0;
            error = ranged(0, kBackgroundCount - 1, b);
            if (!error && b != std::floor(b)) {
                error = "option --background needs a whole number, not '" + v + "'";
            }
            o.background = static_cast<int>(b);
        } else if (a == "--padding") {
            error = ranged(0, 0.45, o.padding);
        } else if (a == "--corner-radius") {
            error = ranged(0, 200, o.cornerRadius);
        } else if (a == "--bg-blur") {
            error = ranged(0, 1, o.bgBlur);
        } else if (a == "--motion-blur") {
            error = ranged(0, 1, o.motionBlur);
        } else if (a == "--zoom") {
            error = ranged(1, 10, o.zoom);
        } else if (a == "--smoothness") {
            error = ranged(0, 1, o.smoothness);
        } else if (a == "--merge") {
            error = ranged(0, 60, o.merge);
        } else if (a == "--mic-volume") {
            error = ranged(0, 200, o.micVolume);
        } else if (a == "--desktop-volume") {
            error = ranged(0, 200, o.desktopVolume);
        } else if (a == "--trim") {
            const auto colon = v.find(':');
            const auto start = number(v.substr(0, colon));
            const std::string endText = colon == std::string::npos ? "" : v.substr(colon + 1);
            const auto end = endText.empty() ? std::optional<double>(0.0) : number(endText);
            if (colon == std::string::npos || !start || !end || *start < 0 || *end < 0 ||
                (*end > 0 && *end <= *start)) {
                error = "option --trim needs START:END in seconds with END after START, not '" +
                        v + "'";
            } else {
                o.trimStart = *start;
                o.trimEnd = *end;
            }
        } else if (a == "--cut" || a == "--speed") {
            auto range = parseRange(a, v);
            if (!range) {
                error = range.error();
            } else {
                for (const auto& other : o.ranges) {
                    if (range->start < other.end && other.start < range->end) {
                        error = "option " + range->spelt + " overlaps " + other.spelt;
                    }
                }
                o.ranges.push_back(range.value());
            }
        } else {
            error = "unknown option " + a + " (see --help)";
        }
        if (error) {
            return R::failure(ErrorKind::Invalid, *error);
        }
    }
    if (o.project && !o.movie.empty()) {
        return R::failure(ErrorKind::Invalid,
                          "--project names the take's movie: give it without a movie");
    }
    if (o.project && (o.clicks || o.track || o.journal)) {
        return R::failure(ErrorKind::Invalid,
                          "--project holds the clicks and the track: give it without --clicks, "
                          "--track and --journal");
    }
    if (o.movie.empty() && !o.project) {
        return R::failure(ErrorKind::Invalid, "no movie given (see --help)");
    }
    if (o.output.empty()) {
        return R::failure(ErrorKind::Invalid, "no output given: add -o OUT.mp4");
    }
    if (o.journal && (o.clicks || o.track)) {
        return R::failure(ErrorKind::Invalid,
                          "--journal holds the clicks and the track: give it without --clicks "
                          "and --track");
    }
    return o;
}

} // namespace orvane
