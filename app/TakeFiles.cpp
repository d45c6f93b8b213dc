#include "TakeFiles.h"

#include "capture/TakeRecorder.h"
#include "timeline/AtomicFile.h"
#include "timeline/ClicksFile.h"
#include "timeline/TakeJournal.h"
#include "timeline/TextFile.h"
#include "timeline/TrackCsv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace orvane {

namespace {

QString sentence(const std::string& text) {
    return QString::fromStdString(text);
}

// Renames a damaged project file out of the way; the new name, or empty.
QString keepAside(const QString& path) {
    const QFileInfo info(path);
    for (int n = 1; n < 100; ++n) {
        const QString name = n == 1 ? QStringLiteral("orvane-project.damaged.json")
                                    : QStringLiteral("orvane-project.damaged-%1.json").arg(n);
        const QString aside = info.dir().filePath(name);
        if (!QFileInfo::exists(aside) && QFile::rename(path, aside)) {
            return aside;
        }
    }
    return {};
}

} // namespace

QString OpenedTake::moviePath() const {
    return QDir(folder).filePath(QString::fromStdString(project.movie));
}

QString OpenedTake::projectPath() const {
    return takefiles::projectPath(folder);
}

namespace takefiles {

std::string localPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

double takeDuration(const TakeResult& r) {
    if (r.movieDuration && std::isfinite(*r.movieDuration) && *r.movieDuration > 0) {
        return *r.movieDuration;
    }
    return r.clicks.empty() ? 0.0 : r.clicks.back().t;
}

OpenedTake freshTake(const TakeResult& r, const QDateTime& startedAt, const Look& look,
                     double zoomMerge) {
    OpenedTake t;
    t.folder = r.folder;
    ProjectState& p = t.project;
    if (auto text = readTextFile(localPath(projectPath(r.folder)), 16 << 20)) {
        p.original = text.value();
    }
    p.name = QDir(r.folder).dirName().toStdString();
    // The movie where the writer put it: in the folder by its name, elsewhere
    // (a writer given another path) by its whole path.
    const QString relative = QDir(r.folder).relativeFilePath(r.moviePath);
    p.movie = (relative.startsWith(QLatin1String("..")) ? r.moviePath : relative).toStdString();
    p.recordedAt = startedAt.toString(Qt::ISODate).toStdString();
    p.duration = takeDuration(r);
    p.videoW = r.videoW;
    p.videoH = r.videoH;
    p.cursorInPicture = r.cursorInPicture;
    p.soundTracks = r.soundTracks;
    p.zoomMerge = zoomMerge;
    p.look = look;
    p.look.sound = SoundMix{}; // a fresh take's sound plays as recorded
    p.trimEnd = p.duration;
    t.clicks = r.clicks;
    t.track = r.track;
    t.freshZooms = true;
    return t;
}

QString projectPath(const QString& folder) {
    return QDir(folder).filePath(QString::fromLatin1(ProjectState::kFileName));
}

Result<ProjectState> readProject(const QString& folder) {
    const QString path = projectPath(folder);
    if (!QFileInfo::exists(path)) {
        return Error{ErrorKind::NotFound, "the take has no project file"};
    }
    auto text = readTextFile(localPath(path), 16 << 20);
    if (!text) {
        return Error{text.errorValue().kind, "the project file cannot be read: " + text.error()};
    }
    return decodeProject(text.value());
}

Result<void> saveProject(const QString& folder, const ProjectState& project) {
    return saveFileAtomically(localPath(projectPath(folder)), encodeProject(project));
}

Result<OpenedTake> open(const QString& folderOrProject, const MovieProber& probe) {
    using R = Result<OpenedTake>;
    const QFileInfo given(folderOrProject);
    OpenedTake take;
    take.folder = given.isDir() ? given.absoluteFilePath() : given.absolutePath();
    if (!given.exists() || !QFileInfo(take.folder).isDir()) {
        return R::failure(ErrorKind::NotFound,
                          "there is no take at " + localPath(folderOrProject));
    }
    const QDir dir(take.folder);
    take.project.name = dir.dirName().toStdString();

    // The project, when there is one that can be read.
    const QString project = projectPath(take.folder);
    bool haveProject = false;
    if (auto decoded = readProject(take.folder);
        decoded || decoded.errorValue().kind != ErrorKind::NotFound) {
        if (decoded) {
            take.project = std::move(decoded.value());
            haveProject = true;
        } else if (decoded.errorValue().kind == ErrorKind::Unsupported) {
            return R::failure(ErrorKind::Unsupported,
                              decoded.error() + "; update Orvane to open it");
        } else if (decoded.errorValue().kind != ErrorKind::Corrupt) {
            return decoded.errorValue(); // unreadable: nothing to keep aside
        } else {
            const QString aside = keepAside(project);
            if (aside.isEmpty()) {
                return R::failure(ErrorKind::Corrupt,
                                  decoded.error() + ", and it could not be kept aside");
            }
            take.note = QStringLiteral("The project file was damaged (%1); it was kept as %2 "
                                       "and the take opened with zooms made from its clicks")
                            .arg(sentence(decoded.error()), QFileInfo(aside).fileName());
        }
    }

    const QString movie = take.moviePath();
    if (!QFileInfo(movie).isFile()) {
        return R::failure(ErrorKind::NotFound,
                          "the take's movie " + localPath(movie) + " is missing");
    }

    const QString journal = dir.filePath(QString::fromLatin1(TakeRecorder::kJournalName));
    if (QFileInfo::exists(journal)) {
        // Cut short: the journal holds what the take recorded.
        auto contents = takejournal::read(localPath(journal));
        const std::optional<MovieProbe> info = probe(movie);
        if (!contents || contents->width < 2 || !info) {
            return R::failure(
                ErrorKind::Corrupt,
                "an interrupted take was found, but it cannot be opened: " +
                    (!contents ? contents.error()
                     : !info   ? std::string("its movie has no readable frames")
                               : std::string("it recorded no frames")));
        }
        take.clicks = contents->clicks;
        take.track = contents->track;
        take.project.videoW = contents->width;
        take.project.videoH = contents->height;
        take.project.cursorInPicture = contents->cursorInPicture;
        take.project.duration = info->duration;
        take.project.recording = false;
        take.recovered = true;
        take.freshZooms = true;
        return take;
    }

    // The recorded clicks and track, which the zooms were made from.
    const QString clicks = dir.filePath(QString::fromStdString(take.project.clicks));
    if (QFileInfo::exists(clicks)) {
        auto text = readTextFile(localPath(clicks));
        auto parsed = text ? ClicksFile::parse(text.value()) : Result<ClicksFile>(text.errorValue());
        if (!parsed) {
            return R::failure(ErrorKind::Corrupt,
                              "the take's clicks file cannot be read: " + parsed.error());
        }
        take.clicks = parsed->moments;
    }
    const QString track = dir.filePath(QString::fromStdString(take.project.track));
    if (QFileInfo::exists(track)) {
        auto text = readTextFile(localPath(track));
        auto parsed = text ? TrackCsv::parse(text.value())
                           : Result<std::vector<CursorSample>>(text.errorValue());
        if (!parsed) {
            return R::failure(ErrorKind::Corrupt,
                              "the take's cursor track cannot be read: " + parsed.error());
        }
        take.track = std::move(parsed.value());
    }

    if (!haveProject || take.project.recording || take.project.duration <= 0 ||
        take.project.videoW < 2 || take.project.videoH < 2) {
        // No finished project to trust: what the movie says, zooms made afresh.
        const std::optional<MovieProbe> info = probe(movie);
        if (!info || info->width < 2 || info->height < 2) {
            return R::failure(ErrorKind::Corrupt,
                              "the take's movie " + localPath(movie) + " has no readable frames");
        }
        take.project.duration = info->duration;
        take.project.videoW = info->width;
        take.project.videoH = info->height;
        take.project.recording = false;
        take.freshZooms = true;
    }
    return take;
}

} // namespace takefiles

} // namespace orvane
