#pragma once

#include "timeline/Result.h"
#include "timeline/Section.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orvane {

// The command line of orvane-render, parsed. Defaults are the Recorder's
// initial settings.
struct RenderOptions {
    std::string movie;
    std::string output;
    std::optional<std::string> clicks; // clicks sidecar (JSON)
    std::optional<std::string> track;  // cursor track (CSV t,x,y,pointer)
    // The journal an interrupted take left beside its movie: clicks and track
    // together (instead of clicks and track).
    std::optional<std::string> journal;
    // A take folder (or the project file in it): the movie, the clicks, the
    // track and every edit and look setting come from its project, and the
    // look options given beside it override the file's values.
    std::optional<std::string> project;
    // The options given on the command line, as spelt ("--padding").
    std::set<std::string> given;
    bool gave(const char* option) const { return given.count(option) > 0; }
    int format = 0;                    // row of formatPresets
    int background = 0;
    double padding = 0.08;
    double cornerRadius = 8;
    double bgBlur = 0;
    double motionBlur = 0;
    double zoom = 1.5;
    double smoothness = 0.8;
    double merge = 3.5;
    double trimStart = 0;
    double trimEnd = 0; // 0: to the end
    // --cut START-END and --speed START-END:FACTOR, in the order given:
    // half-open ranges of take time that touch but never overlap.
    struct Range {
        double start = 0;
        double end = 0;
        std::optional<double> speed; // none: cut out
        std::string spelt;           // as given, "--cut 2-4", for messages
    };
    std::vector<Range> ranges;
    // The recording's sound, as the inspector's Audio section sets it: volumes
    // in percent (0...200), each source muted or not.
    double micVolume = 100;
    double desktopVolume = 100;
    bool muteMic = false;
    bool muteDesktop = false;
    bool help = false;
};

// Parses the arguments after the program name. Errors are one line naming the
// option and the problem.
Result<RenderOptions> parseRenderOptions(const std::vector<std::string>& args);

// The sections the ranges make of a movie of `duration` seconds, or the
// message that names the range that ends after the movie does.
Result<std::vector<Section>> rangeSections(const std::vector<RenderOptions::Range>& ranges,
                                                  double duration);

// The --help text.
std::string renderUsage();

} // namespace orvane
