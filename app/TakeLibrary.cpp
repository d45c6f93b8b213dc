#include "TakeLibrary.h"

#include "ProjectFile.h"
#include "TakeFiles.h"

#include "capture/TakeRecorder.h"
#include "timeline/AtomicFile.h"
#include "timeline/TakeJournal.h"
#include "timeline/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

constexpr const char* kFolderFormat = "yyyy-MM-dd HH.mm.ss";

using takefiles::localPath;

// Makes `link` name the same file as `target`, replacing what `link` named
// without ever opening it: the new name is made beside and renamed over.
Result<void> replaceWithHardLink(const QString& target, const QString& link) {
    const QString temp = link + QStringLiteral(".link-") + QString::number(::getpid());
    ::unlink(localPath(temp).c_str());
    if (::link(localPath(target).c_str(), localPath(temp).c_str()) != 0) {
        const int err = errno;
        return Error{err == EXDEV ? ErrorKind::Unsupported : ErrorKind::Io,
                     "cannot link " + localPath(link) + ": " + std::strerror(err)};
    }
    if (::rename(localPath(temp).c_str(), localPath(link).c_str()) != 0) {
        const int err = errno;
        ::unlink(localPath(temp).c_str());
        return Error{ErrorKind::Io, "cannot replace " + localPath(link) + ": " + std::strerror(err)};
    }
    return {};
}

Result<void> replaceWithSymlink(const QString& target, const QString& link) {
    const QString temp = link + QStringLiteral(".link-") + QString::number(::getpid());
    ::unlink(localPath(temp).c_str());
    if (::symlink(localPath(target).c_str(), localPath(temp).c_str()) != 0 ||
        ::rename(localPath(temp).c_str(), localPath(link).c_str()) != 0) {
        const int err = errno;
        ::unlink(localPath(temp).c_str());
        return Error{ErrorKind::Io, "cannot link " + localPath(link) + ": " + std::strerror(err)};
    }
    return {};
}

} // namespace

QString TakeEntry::moviePath() const {
    return QDir(folder).filePath(QString::fromLatin1(TakeRecorder::kMovieName));
}

TakeLibrary::TakeLibrary(QString root) : root_(root.isEmpty() ? defaultRoot() : std::move(root)) {
    root_ = QDir(root_).absolutePath();
}

QString TakeLibrary::defaultRoot() {
    QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (videos.isEmpty()) {
        videos = QDir::homePath();
    }
    return QDir(videos).filePath(QStringLiteral("Orvane"));
}

QString TakeLibrary::folderName(const QDateTime& startedAt) {
    return startedAt.toLocalTime().toString(QString::fromLatin1(kFolderFormat));
}

Result<QString> TakeLibrary::createTakeFolder(const QDateTime& startedAt) const {
    if (!QDir().mkpath(root_)) {
        return Error{ErrorKind::Permission, "cannot create the library folder " + localPath(root_)};
    }
    const QDir root(root_);
    const QString base = folderName(startedAt);
    for (int n = 1; n < 1000; ++n) {
        const QString name =
            n == 1 ? base : QStringLiteral("%1 (%2)").arg(base).arg(n);
        // mkdir fails when the name is taken, so two takes never share a folder.
        if (::mkdir(localPath(root.filePath(name)).c_str(), 0755) == 0) {
            return root.filePath(name);
        }
        if (errno != EEXIST) {
            const int err = errno;
            return Error{err == ENOSPC ? ErrorKind::NoSpace : ErrorKind::Permission,
                         "cannot create a take folder in " + localPath(root_) + ": " +
                             std::strerror(err)};
        }
    }
    return Error{ErrorKind::Io, "too many takes started in the same second"};
}

std::vector<TakeEntry> TakeLibrary::list() const {
    std::vector<TakeEntry> takes;
    const QDir root(root_);
    const QFileInfoList folders = root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : folders) {
        // One listing of the folder answers which files are there and their size.
        const QFileInfoList files =
            QDir(info.absoluteFilePath()).entryInfoList(QDir::Files | QDir::Hidden);
        bool hasProject = false;
        bool hasJournal = false;
        bool hasMovie = false;
        bool hasClicks = false;
        qint64 bytes = 0;
        for (const QFileInfo& file : files) {
            const QString name = file.fileName();
            hasProject = hasProject || name == QLatin1String(ProjectState::kFileName);
            hasJournal = hasJournal || name == QLatin1String(TakeRecorder::kJournalName);
            hasMovie = hasMovie || name == QLatin1String(TakeRecorder::kMovieName);
            hasClicks = hasClicks || name == QLatin1String(TakeRecorder::kClicksName);
            if (!file.isSymLink()) {
                bytes += file.size();
            }
        }
        if (!hasProject && !hasJournal && !(hasMovie && hasClicks)) {
            continue; // not a take (or a take whose start failed)
        }
        TakeEntry e;
        e.folder = info.absoluteFilePath();
        e.name = info.fileName();
        if (hasJournal) {
            const bool live = takejournal::inUse(
                localPath(QDir(e.folder).filePath(QString::fromLatin1(TakeRecorder::kJournalName))));
            e.recording = live;
            e.interrupted = !live;
        }
        if (hasProject) {
            if (auto project = takefiles::readProject(e.folder)) {
                if (!project->name.empty()) {
                    e.name = QString::fromStdString(project->name);
                }
                e.duration = project->duration;
                const QDateTime at = QDateTime::fromString(
                    QString::fromStdString(project->recordedAt), Qt::ISODate);
                if (at.isValid()) {
                    e.recordedAt = at;
                }
            } else {
                e.problem = QString::fromStdString(project.error());
            }
        }
        if (!e.recordedAt.isValid()) {
            // No project to say when: the folder's name does, else the folder.
            e.recordedAt = QDateTime::fromString(info.fileName().left(19),
                                                 QString::fromLatin1(kFolderFormat));
        }
        if (!e.recordedAt.isValid()) {
            e.recordedAt = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
        }
        if (!hasMovie) {
            e.problem = QStringLiteral("its movie is missing");
        }
        e.bytes = bytes;
        takes.push_back(std::move(e));
    }
    std::sort(takes.begin(), takes.end(), [](const TakeEntry& a, const TakeEntry& b) {
        if (a.recordedAt != b.recordedAt) {
            return a.recordedAt > b.recordedAt;
        }
        return a.folder > b.folder;
    });
    return takes;
}

Result<void> TakeLibrary::rename(const QString& folder, const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        return Error{ErrorKind::Invalid, "a take's name cannot be empty"};
    }
    if (trimmed.size() > 200) {
        return Error{ErrorKind::Invalid, "a take's name can have at most 200 characters"};
    }
    ProjectState project;
    if (auto read = takefiles::readProject(folder)) {
        project = std::move(read.value());
    } else if (read.errorValue().kind != ErrorKind::NotFound) {
        // A file that cannot be read is never overwritten.
        return Error{read.errorValue().kind, "cannot rename the take: " + read.error()};
    }
    project.name = trimmed.toStdString();
    return takefiles::saveProject(folder, project);
}

Result<void> TakeLibrary::moveToTrash(const QString& folder) {
    if (!QFileInfo(folder).isDir()) {
        return Error{ErrorKind::NotFound, "the take's folder " + localPath(folder) + " is not there"};
    }
    QFile f(folder);
    if (!f.moveToTrash()) {
        return Error{ErrorKind::Io, "cannot move " + localPath(folder) +
                                        " to the Trash: " + f.errorString().toStdString()};
    }
    return {};
}

Result<void> TakeLibrary::publishLatest(const QString& takeFolder, const QString& desktop) {
    if (desktop.isEmpty() || QDir(takeFolder).absolutePath() == QDir(desktop).absolutePath()) {
        return {}; // the take is written where the Desktop's files are
    }
    const QDir take(takeFolder);
    const QDir out(desktop);
    const QString movie = take.filePath(QString::fromLatin1(TakeRecorder::kMovieName));
    const QString clicks = take.filePath(QString::fromLatin1(TakeRecorder::kClicksName));
    const QString movieLink = out.filePath(QString::fromLatin1(TakeRecorder::kMovieName));
    const QString clicksLink = out.filePath(QString::fromLatin1(TakeRecorder::kClicksName));
    if (QFileInfo::exists(movie)) {
        auto linked = replaceWithHardLink(movie, movieLink);
        if (!linked && linked.errorValue().kind == ErrorKind::Unsupported) {
            // Another filesystem: a hard link cannot cross it, and a copy would
            // store the movie twice, so the Desktop's name points at it.
            linked = replaceWithSymlink(movie, movieLink);
        }
        if (!linked) {
            return linked;
        }
    }
    if (QFileInfo::exists(clicks)) {
        auto linked = replaceWithHardLink(clicks, clicksLink);
        if (!linked && linked.errorValue().kind == ErrorKind::Unsupported) {
            // A small file: a copy keeps the Desktop's clicks file a real file.
            auto text = readTextFile(localPath(clicks));
            linked = text ? saveFileAtomically(localPath(clicksLink), text.value())
                          : Result<void>(text.errorValue());
        }
        if (!linked) {
            return linked;
        }
    }
    return {};
}

} // namespace orvane
