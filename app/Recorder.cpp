#include "Recorder.h"

#include "TakeStatus.h"

#include "media/MovieReader.h"
#include "render/export/TempOutput.h"
#include "timeline/TakeJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace orvane {

namespace {

QString capitalised(QString text) {
    if (!text.isEmpty()) {
        text[0] = text[0].toUpper();
    }
    return text;
}

} // namespace

Recorder::Recorder(CaptureBackend& backend, WriterFactory& writers, QObject* parent)
    : Project(parent), backend_(backend), writers_(writers), take_(backend, writers) {
    take_.setTakeFolders([this] { return makeTakeFolder(); });
    connect(&take_, &TakeRecorder::pickerCancelled, this, [this] {
        if (phase_ != Phase::recording) {
            setStatus(QString());
        }
    });
    connect(&take_, &TakeRecorder::pickerFailed, this, [this](const QString& description) {
        setStatus(takestatus::pickerError(description), StatusKind::StartFailed);
    });
    connect(&take_, &TakeRecorder::captureBegun, this, &Recorder::captureBegun);
    connect(&take_, &TakeRecorder::countdownStarted, this, [this](const CaptureContent& c) {
        recordedContent_ = c;
        countedDown_ = true;
        emit contentChosen();
    });
    connect(&take_, &TakeRecorder::countdownTick, this, [this](int left) {
        setStatus(takestatus::countdown(left));
        emit countdownTick(left);
    });
    connect(&take_, &TakeRecorder::countdownEnded, this, [this](bool cancelled) {
        if (cancelled) {
            countedDown_ = false;
            setStatus(QString());
        }
        emit countdownEnded(cancelled);
    });
    connect(&take_, &TakeRecorder::pausedChanged, this, [this](bool paused) {
        setStatus(paused ? takestatus::paused(take_.takeTime()) : takestatus::recording());
        emit pausedChanged(paused);
    });
    connect(&take_, &TakeRecorder::clicksUnavailable, this, [this] { setNeedsPermission(true); });
    connect(&take_, &TakeRecorder::videoSizeChanged, this, [this](int w, int h, bool cursorIn) {
        setVideoSize(w, h);
        setCursorInPicture(cursorIn);
    });
    connect(&take_, &TakeRecorder::recordingStarted, this, &Recorder::recordingStarted);
    connect(&take_, &TakeRecorder::startFailed, this, &Recorder::startFailed);
    connect(&take_, &TakeRecorder::finishingStarted, this,
            [this] { setStatus(takestatus::finishing()); });
    connect(&take_, &TakeRecorder::takeFinished, this, &Recorder::takeDone);
    connect(&take_, &TakeRecorder::clickCountChanged, this,
            [this] { setClickCount(take_.clickCount()); });
    connect(&take_, &TakeRecorder::cursorSampled, this, [this](const CursorSample& s) {
        if (phase_ != Phase::ready) {
            mutableCursorTrack().push_back(s);
        }
    });
    connect(&take_, &TakeRecorder::soundChoiceChanged, this, &Recorder::soundChoiceChanged);
    connect(&take_, &TakeRecorder::soundLevelsChanged, this, &Recorder::soundLevelsChanged);
}

Recorder::~Recorder() {
    // The last edits are saved while the whole session still exists, and
    // nobody hears of it: the window that listens is going too.
    blockSignals(true);
    detachTake();
}

void Recorder::setPhase(Phase p) {
    if (phase_ != p) {
        phase_ = p;
        emit phaseChanged();
    }
}

void Recorder::setNeedsPermission(bool v) {
    if (needsPermission_ != v) {
        needsPermission_ = v;
        emit needsPermissionChanged();
    }
}

void Recorder::setClickCount(qint64 n) {
    if (clickCount_ != n) {
        clickCount_ = n;
        emit clickCountChanged();
    }
}

QString Recorder::outputFolder() const {
    return backend_.outputFolder();
}

std::optional<MovieProbe> Recorder::probeMovie(const QString& path) const {
    const std::optional<double> d = writers_.movieDuration(path);
    if (!d || !std::isfinite(*d) || *d <= 0) {
        return std::nullopt;
    }
    // The size only matters where no journal or project knows it.
    media::MovieReader reader;
    auto info = reader.open(takefiles::localPath(path));
    return MovieProbe{*d, info ? info->width : 0, info ? info->height : 0};
}

// --- Start ---------------------------------------------------------------------------------

void Recorder::start() {
    if (take_.openPicker()) {
        setNeedsPermission(false);
        setStatus(takestatus::choose());
    } else {
        setNeedsPermission(true);
        setStatus(takestatus::grant(), StatusKind::NeedsPermission);
    }
}

void Recorder::beginCapture(const CaptureContent& content) {
    take_.beginCapture(content);
}

void Recorder::cancelCountdown() {
    take_.cancelCountdown();
}

void Recorder::pause() {
    take_.pause();
}

void Recorder::resume() {
    take_.resume();
}

Result<QString> Recorder::makeTakeFolder() {
    if (!library_) {
        const QString out = backend_.outputFolder();
        if (out.isEmpty()) {
            return Error{ErrorKind::NotFound, "no folder for the take's files"};
        }
        return out;
    }
    return library_->createTakeFolder(takeStartedAt_);
}

void Recorder::captureBegun() {
    if (!countedDown_) {
        recordedContent_ = take_.content();
        emit contentChosen();
    }
    countedDown_ = false;
    // The open take is kept as it was left (its edits are saved now); the
    // session's take state starts afresh for the new one.
    detachTake();
    takeStartedAt_ = QDateTime::currentDateTime();
    takeFilesError_.reset();
    mutableCursorTrack().clear();
    setCursorInPicture(false);
    setClickCount(0);
    setVideoURL(QString());
    setMoments({});
    setSelected(std::nullopt);
}

void Recorder::recordingStarted() {
    setVideoURL(take_.moviePath());
    writePreliminaryProject();
    if (library_) {
        // The Desktop's movie is the one being recorded, as it always was; its
        // clicks file follows when the take has finished.
        TakeLibrary::publishLatest(take_.takeFolder(), outputFolder());
    }
    setPhase(Phase::recording);
    setStatus(takestatus::recording());
}

void Recorder::writePreliminaryProject() {
    // An interrupted take comes back with the look it was recorded with.
    if (!library_ || take_.takeFolder().isEmpty()) {
        return;
    }
    ProjectState p;
    p.name = QDir(take_.takeFolder()).dirName().toStdString();
    p.recordedAt = takeStartedAt_.toString(Qt::ISODate).toStdString();
    p.recording = true;
    p.videoW = videoW();
    p.videoH = videoH();
    p.cursorInPicture = cursorInPicture();
    p.zoomMerge = zoomMerge();
    p.look = look();
    p.look.sound = SoundMix{};
    takefiles::saveProject(take_.takeFolder(), p); // only crash safety is lost without it
}

void Recorder::startFailed(const StartFailure& failure) {
    // The failed attempt's movie stays named until the next choice or Discard.
    setVideoURL(take_.moviePath());
    setStatus(takestatus::startFailed(failure), StatusKind::StartFailed);
    if (library_ && !take_.takeFolder().isEmpty()) {
        QDir().rmdir(take_.takeFolder()); // only when nothing was written into it
    }
}

// --- Stop and the finished take ------------------------------------------------------------

void Recorder::stop() {
    // A finished take is not finished again: that would regenerate its zooms and
    // drop the user's edits. A second Stop while finishing waits for the first.
    if (take_.state() == TakeRecorder::State::Finishing ||
        (phase_ == Phase::ready && take_.state() != TakeRecorder::State::Recording)) {
        return;
    }
    take_.stop();
}

void Recorder::takeDone(const TakeResult& result) {
    takeFilesError_ = result.filesError;
    if (!result.written) {
        if (result.writerFailure) {
            // Not a permissions matter: say what the writer ran into.
            setStatus(takestatus::nothingKept(*result.writerFailure), StatusKind::NoFrames);
        } else {
            setStatus(takestatus::noFrames(), StatusKind::NoFrames);
        }
        setPhase(Phase::idle);
        emit takeFinished(false);
        return;
    }
    // A fresh take: the whole movie, zooms made from its clicks, its sound as
    // recorded, nothing to undo; the look stays as it was set.
    adoptTake(takefiles::freshTake(result, takeStartedAt_, look(), zoomMerge()));
    setClickCount(static_cast<qint64>(result.clicks.size()));
    setPhase(Phase::ready);

    StatusKind kind = StatusKind::TakeReady;
    if (!takestatus::endReason(result).isEmpty()) {
        kind = StatusKind::TakeEnded;
    } else if (!result.clicksObserved && backend_.permissions().recordsWithoutClicks()) {
        kind = StatusKind::TakeWithoutClicks;
    }
    setStatus(takestatus::finished(result, static_cast<int>(zooms().size()), duration(),
                                   backend_.permissions().recordsWithoutClicks(),
                                   backend_.permissions().inputProblem()),
              kind);
    if (library_) {
        // The Desktop shows the latest take; a failure there costs only that.
        TakeLibrary::publishLatest(result.folder, outputFolder());
    }
    emit takeFinished(true);
}

// --- Opening and recovering takes --------------------------------------------------------

bool Recorder::openTake(const QString& folder) {
    if (phase_ == Phase::recording || take_.state() != TakeRecorder::State::Idle) {
        return false;
    }
    const QString dir = QFileInfo(folder).isDir() ? folder : QFileInfo(folder).absolutePath();
    const QString journal = QDir(dir).filePath(QString::fromLatin1(kJournalName));
    if (QFileInfo::exists(journal)) {
        if (takejournal::inUse(takefiles::localPath(journal))) {
            // Another Orvane (or orvane-record) is recording it now.
            setStatus(QStringLiteral("The take cannot be opened: it is still being recorded"),
                      StatusKind::OpenFailed);
            return false;
        }
        return recoverFrom(dir);
    }
    auto opened = takefiles::open(folder, [this](const QString& p) { return probeMovie(p); });
    if (!opened) {
        setStatus(QStringLiteral("The take cannot be opened: ") +
                      QString::fromStdString(opened.error()),
                  StatusKind::OpenFailed);
        return false;
    }
    adoptTake(opened.value());
    setClickCount(static_cast<qint64>(opened->clicks.size()));
    setPhase(Phase::ready);
    if (opened->note.isEmpty()) {
        setStatus(QStringLiteral("Opened “%1”").arg(takeName()));
    } else {
        setStatus(opened->note, StatusKind::OpenedWithNote);
    }
    return true;
}

bool Recorder::recoverInterruptedTake() {
    if (phase_ != Phase::idle || take_.state() != TakeRecorder::State::Idle) {
        return false;
    }
    if (library_) {
        for (const TakeEntry& e : library_->list()) {
            if (e.interrupted && QFileInfo(e.moviePath()).isFile()) {
                return recoverFrom(e.folder);
            }
        }
        return false;
    }
    const QString folder = outputFolder();
    const QString journal = QDir(folder).filePath(QString::fromLatin1(kJournalName));
    if (folder.isEmpty() || !QFileInfo::exists(journal) ||
        !QFileInfo(QDir(folder).filePath(QString::fromLatin1(kMovieName))).isFile() ||
        takejournal::inUse(takefiles::localPath(journal))) {
        return false; // no journal, one a running take writes, or one whose movie is gone
    }
    return recoverFrom(folder);
}

bool Recorder::recoverFrom(const QString& folder) {
    auto opened = takefiles::open(folder, [this](const QString& p) { return probeMovie(p); });
    if (!opened) {
        setStatus(capitalised(QString::fromStdString(opened.error())), StatusKind::NoFrames);
        return false;
    }
    OpenedTake& t = opened.value();
    t.project.look.sound = SoundMix{};
    adoptTake(t);
    setClickCount(static_cast<qint64>(t.clicks.size()));
    // The take's own files now hold what the journal held; the journal goes
    // only once they are written.
    takeFilesError_ = TakeRecorder::saveTakeFiles(folder, t.clicks, t.track);
    if (!takeFilesError_) {
        QFile::remove(QDir(folder).filePath(QString::fromLatin1(kJournalName)));
    }
    setPhase(Phase::ready);
    setStatus(takestatus::recovered(static_cast<int>(zooms().size()), duration()),
              StatusKind::TakeEnded);
    emit takeFinished(true);
    return true;
}

// --- Discard and the Trash -----------------------------------------------------------------

bool Recorder::trashTake(const QString& folder) {
    if (folder.isEmpty()) {
        return false;
    }
    const bool open = QDir(folder).absolutePath() == QDir(takeFolder()).absolutePath() ||
                      (takeFolder().isEmpty() && folder == recordingFolder());
    if (open) {
        discard();
        return statusKind() != StatusKind::OpenFailed;
    }
    return moveFolderToTrash(folder);
}

bool Recorder::moveFolderToTrash(const QString& folder) {
    // The Desktop's movie goes with its take, so its data does not outlive it there.
    const QString desktopMovie = QDir(outputFolder()).filePath(QString::fromLatin1(kMovieName));
    const bool onDesktop =
        sameFile(takefiles::localPath(desktopMovie),
                 takefiles::localPath(QDir(folder).filePath(QString::fromLatin1(kMovieName))));
    if (auto trashed = TakeLibrary::moveToTrash(folder); !trashed) {
        setStatus(QString::fromStdString(trashed.error()), StatusKind::OpenFailed);
        return false;
    }
    if (onDesktop) {
        QFile::remove(desktopMovie);
    }
    return true;
}

void Recorder::discard() {
    // A take discarded while it still records is stopped first, so nothing keeps
    // writing into files that are about to go.
    const QString folder = !takeFolder().isEmpty() ? takeFolder()
                           : phase_ != Phase::ready ? recordingFolder()
                                                    : QString();
    const bool recordingNow = take_.state() != TakeRecorder::State::Idle;
    take_.abandon();
    const QString movie = videoURL().isEmpty() && recordingNow ? take_.moviePath() : videoURL();
    // The edits of a take that is thrown away are not saved.
    setSavedState(projectState());
    detachTake();
    const bool inLibrary = library_ && !folder.isEmpty() &&
                           QDir(folder).absolutePath().startsWith(library_->root() + QLatin1Char('/'));
    // Without a Trash the take is not thrown away: the status says why.
    const bool trashFailed = inLibrary && !moveFolderToTrash(folder);
    if (!inLibrary && !movie.isEmpty()) {
        QFile::remove(movie);
    }
    setVideoURL(QString());
    setSelected(std::nullopt);
    setVideoSelected(false);
    mutableCursorTrack().clear();
    setMoments({});
    setZooms({});
    setClickCount(0);
    setDuration(0);
    setTrimStart(0);
    setTrimEnd(0);
    setPhase(Phase::idle);
    if (!trashFailed) {
        setStatus(QString());
    }
    emit takeChanged();
}

} // namespace orvane
