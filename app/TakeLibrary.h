#pragma once

#include "timeline/Result.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace orvane {

// One take of the library as the start screen lists it.
struct TakeEntry {
    QString folder;        // absolute path of the take's folder
    QString name;          // the project's name (the folder's name until renamed)
    QDateTime recordedAt;  // local time the take started
    double duration = 0;   // seconds; 0 when not known
    qint64 bytes = 0;      // size of the take's files on disk
    bool interrupted = false; // the take's journal is there and nobody writes it: it was cut short
    bool recording = false;   // a program is recording this take now
    QString problem;       // why it cannot be opened as it is; empty when it can
    QString moviePath() const;
};

// The take library: every take in a folder of its own under one root
// ("Orvane" in the user's Videos folder), named by the take's start time in
// local time ("2026-12-09 14.05.12", "2026-12-09 14.05.12 (2)" for a second
// take in the same second). Nothing here deletes a take except moveToTrash().
//
// Plain file operations; main thread or any one thread at a time.
class TakeLibrary {
public:
    // The library root for `root`; empty stands for defaultRoot().
    explicit TakeLibrary(QString root = {});

    // "Orvane" in the Videos folder (XDG VIDEOS), the home folder when no
    // Videos folder can be determined. Not created here.
    static QString defaultRoot();
    QString root() const { return root_; }

    // Makes the folder of a take that starts at `startedAt` (the root too,
    // when missing). Fails when the root cannot be created or is not writable.
    Result<QString> createTakeFolder(const QDateTime& startedAt) const;
    // The folder name for a take started at `startedAt`, without uniqueness.
    static QString folderName(const QDateTime& startedAt);

    // The library's takes, newest first: every folder that holds a project
    // file, a journal or a movie with its clicks file. A folder whose project
    // cannot be read is listed with its problem.
    std::vector<TakeEntry> list() const;

    // Gives the take in `folder` a new name (trimmed, not empty, at most 200
    // characters), written into its project file.
    static Result<void> rename(const QString& folder, const QString& name);
    // Moves the take's folder to the desktop's Trash, from where it can be
    // restored. Fails, leaving it in place, where there is no Trash.
    static Result<void> moveToTrash(const QString& folder);

    // Makes `movieName` and `clicksName` in `desktop` the take's own files, the
    // latest take's as the Desktop always shows: hard links, so the movie's data
    // is on the disk once, or where the two folders are on different
    // filesystems, a symbolic link to the movie and a copy of the clicks file.
    // A file the take's folder does not hold (yet) is left as it is: while a
    // take records only its movie is there. An earlier take's files are never
    // written through: the old names are replaced, not opened.
    static Result<void> publishLatest(const QString& takeFolder, const QString& desktop);

private:
    QString root_;
};

} // namespace orvane
