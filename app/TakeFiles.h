#pragma once

#include "ProjectFile.h"

#include "capture/TakeResult.h"

#include "timeline/CursorSample.h"
#include "timeline/Moment.h"
#include "timeline/Result.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace orvane {

// What a movie file says of itself, as TakeFiles needs it; nothing when it
// cannot be read.
struct MovieProbe {
    double duration = 0; // seconds, positive
    int width = 0;       // pixels
    int height = 0;
};
using MovieProber = std::function<std::optional<MovieProbe>(const QString& path)>;

// A take read back from its folder: its project and the recorded clicks and
// cursor track the project's zooms were made from.
struct OpenedTake {
    QString folder;
    ProjectState project;
    std::vector<Moment> clicks;
    std::vector<CursorSample> track;
    // No usable project was there (none, or one that was damaged and has been
    // kept aside), or the take was recovered from its journal: the zooms are to
    // be made from the clicks, as after a fresh take.
    bool freshZooms = false;
    bool recovered = false; // from the journal an interrupted take left
    // What the user should hear about how it opened (a damaged project file
    // kept aside); empty when it opened as it was left.
    QString note;
    QString moviePath() const;
    QString projectPath() const;
};

// Reads and writes a take's files in its folder: the project file, the clicks
// file, the cursor track and, for a take that was cut short, its journal.
// The window's take, orvane-record and orvane-render all go through here.
// Plain file operations; any one thread at a time.
namespace takefiles {

// Opens the take in `folderOrProject` (its folder, or the project file in
// it). Fails with a sentence for the user, touching nothing, when the folder
// or its movie is missing or unreadable, or the project comes from a newer
// Orvane. A damaged project file is renamed aside ("orvane-project.damaged.json")
// and the take opens from its clicks, so no save ever overwrites it.
Result<OpenedTake> open(const QString& folderOrProject, const MovieProber& probe);

// Writes the project file of the take in `folder` (atomically: beside, then
// renamed), keeping the fields this version does not know.
Result<void> saveProject(const QString& folder, const ProjectState& project);

// The project file's path in `folder`.
QString projectPath(const QString& folder);
// Reads the project file in `folder`: NotFound when there is none, the
// reader's error (Corrupt, Unsupported, …) when it cannot be used.
Result<ProjectState> readProject(const QString& folder);

// A path as the C library and the standard library take it (the local 8-bit
// encoding of file names).
std::string localPath(const QString& path);

// How long a finished take lasts: its movie's duration when that could be
// read, else the time of its last click, else 0 (seconds).
double takeDuration(const TakeResult& result);

// A freshly recorded take as its folder holds it, before any edit: the
// project made from what the recorder reported (its files, size, sound
// tracks; the whole take kept; the zooms still to be made from the clicks,
// freshZooms) with `look` and `zoomMerge`, the settings it was recorded with.
// The project file written when the take started, if there is one, is the
// base, so fields of other versions stay.
OpenedTake freshTake(const TakeResult& result, const QDateTime& startedAt, const Look& look,
                     double zoomMerge);

} // namespace takefiles

} // namespace orvane
