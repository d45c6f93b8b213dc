#pragma once

#include "timeline/Look.h"
#include "timeline/Result.h"
#include "timeline/SoundMix.h"
#include "timeline/Section.h"
#include "timeline/ZoomEffect.h"

#include <string>
#include <vector>

namespace orvane {

// What a take's project file ("orvane-project.json", in the take's folder)
// holds: the take's name, what the take is, and every edit made to it. The
// undo history is not kept. Plain values; any thread.
//
// The file is JSON with a "version"; the look's fields carry the names and
// units of orvane-render's options ("padding" is a fraction of the shorter
// side from 0 to 0.45, "format" one of original, 16:9, 1:1, 9:16 and 4:5).
struct ProjectState {
    static constexpr int kVersion = 1;
    static constexpr const char* kFileName = "orvane-project.json";

    std::string name;       // shown in the library; the folder's name at first
    std::string recordedAt; // local time the take started, "2026-12-09T14:05:12"
    // True while the take records (written when it starts, so an interrupted
    // take keeps the look it was recorded with); false once it has finished.
    bool recording = false;

    // The take's files, relative to the folder.
    std::string movie = "orvane-recording.mov";
    std::string clicks = "quilbo-clicks.json";
    std::string track = "orvane-cursor.csv";
    double duration = 0; // seconds
    int videoW = 0;      // pixels
    int videoH = 0;
    bool cursorInPicture = false;
    std::vector<SoundKind> soundTracks; // the movie's sound tracks, in order

    // The edits.
    std::vector<ZoomEffect> zooms;
    double trimStart = 0; // seconds
    double trimEnd = 0;
    // Cuts and speeds in take time; empty for an undivided take (and in
    // files from before sections existed).
    std::vector<Section> sections;
    double zoomMerge = 3.5; // seconds within which clicks share a segment
    Look look;              // includes the default zoom, the smoothness and the sound mix

    // The file as it was read, so that fields this version does not know are
    // written back unchanged. Empty for a new project.
    std::string original;

    // Every field this version writes, equal when the two are.
    bool sameEdits(const ProjectState& other) const;
};

// The file's text for `state`: its fields over those of state.original, so
// unknown fields (at the top and inside the known objects) are kept.
std::string encodeProject(const ProjectState& state);

// Reads a project file's text. Refused, with a sentence that says why: text
// that is not a JSON object, a "version" newer than kVersion (ErrorKind
// Unsupported), fields of the wrong type or out of range (ErrorKind Corrupt).
// Missing fields keep their defaults.
Result<ProjectState> decodeProject(const std::string& text);

// The look's output shapes as the file and orvane-render name them.
const char* formatName(int formatIndex);
// The index of a format name, or -1.
int formatIndexOf(const std::string& name);

} // namespace orvane
