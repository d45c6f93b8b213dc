#include "Recorder.h"

#include "render/OutputGeometry.h"
#include "render/export/FileReveal.h"
#include "timeline/ClicksFile.h"
#include "timeline/TakeJournal.h"
#include "timeline/TrackCsv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvane {

namespace {

const QString kChoose = QStringLiteral("Choose what to record…");
const QString kGrant = QStringLiteral("Grant Accessibility, then Start again");
const QString kRecording = QStringLiteral("Recording… click around, then Stop");
const QString kNoWriter = QStringLiteral("Couldn’t create video writer");
const QString kCaptureFailed = QStringLiteral("Screen capture failed: ");
const QString kPickerError = QStringLiteral("Picker error: ");
const QString kFinishing = QStringLiteral("Finishing…");
const QString kNoFrames =
    QStringLiteral("No frames were captured — check Screen Recording permission and try again");

// Why a stream ended by itself, as the status says it.
QString endReason(StreamEnd reason) {
    switch (reason) {
    case StreamEnd::SourceGone: return QStringLiteral("the window was closed");
    case StreamEnd::DisplayLost: return QStringLiteral("the display connection was lost");
    case StreamEnd::SharingRevoked: return QStringLiteral("screen sharing was stopped");
    case StreamEnd::Running:
    case StreamEnd::Stopped: break;
    }
    return {};
}

// Why the movie writer stopped a take, as the status says it.
QString writeFailureReason(const Error& error) {
    if (error.kind == ErrorKind::NoSpace) {
        return QStringLiteral("the disk is full");
    }
    return QStringLiteral("the movie could not be written (%1)")
        .arg(QString::fromStdString(error.message));
}

// Pixel size of a recording: the source's pixel size, longest side at most
// 3840 (aspect kept), each side truncated, rounded down to even, at least 2.
QSize recordingSize(QSizeF source) {
    double w = source.width();
    double h = source.height();
    const double longest = std::max(w, h);
    if (longest > Recorder::kMaxSide) {
        w *= Recorder::kMaxSide / longest;
        h *= Recorder::kMaxSide / longest;
    }
    auto even = [](double v) {
        const auto n = static_cast<long long>(std::isfinite(v) && v > 0 ? v : 0);
        return static_cast<int>(std::max<long long>(n & ~1LL, 2));
    };
    return {even(w), even(h)};
}

} // namespace

Recorder::Recorder(CaptureBackend& backend, WriterFactory& writers, QObject* parent)
    : EditModel(parent), backend_(backend), writers_(writers) {
    qRegisterMetaType<orvane::CaptureContent>("orvane::CaptureContent");

    // The picker's answers arrive queued, so that they run as their own steps on
    // the main thread whatever thread the picker reports from.
    ContentPicker& picker = backend_.picker();
    connect(&picker, &ContentPicker::contentChosen, this, &Recorder::beginCapture,
            Qt::QueuedConnection);
    connect(&picker, &ContentPicker::cancelled, this, &Recorder::pickerCancelled,
            Qt::QueuedConnection);
    connect(&picker, &ContentPicker::failed, this, &Recorder::pickerFailed, Qt::QueuedConnection);

    levelTimer_.setInterval(1000 / kLevelRate);
    connect(&levelTimer_, &QTimer::timeout, this, &Recorder::refreshSoundLevels);
}

Recorder::~Recorder() {
    stopClickTap();
    stopStream();
    stopSound();
    joinFinisher();
    closeJournal();
}

// --- Published setters ------------------------------------------------------------

#define ORVANE_SETTER(Name, member, type, signal) \
    void Recorder::Name(type v) {                 \
        if (member == v) {                        \
            return;                               \
        }                                         \
        member = v;                               \
        emit signal();                            \
    }

ORVANE_SETTER(setMotionBlur, look_.motionBlur, double, motionBlurChanged)
ORVANE_SETTER(setBgBlur, look_.bgBlur, double, bgBlurChanged)
ORVANE_SETTER(setPadding, look_.padding, double, paddingChanged)
ORVANE_SETTER(setCornerRadius, look_.cornerRadius, double, cornerRadiusChanged)
ORVANE_SETTER(setBackground, look_.background, int, backgroundChanged)
ORVANE_SETTER(setFormatIndex, look_.formatIndex, int, formatIndexChanged)
ORVANE_SETTER(setExporting, exporting_, bool, exportingChanged)
ORVANE_SETTER(setExportProgress, exportProgress_, double, exportProgressChanged)
ORVANE_SETTER(setPhase, phase_, Phase, phaseChanged)
ORVANE_SETTER(setClickCount, clickCount_, qint64, clickCountChanged)
ORVANE_SETTER(setNeedsPermission, needsPermission_, bool, needsPermissionChanged)
ORVANE_SETTER(setVideoURL, videoURL_, const QString&, videoURLChanged)

#undef ORVANE_SETTER

void Recorder::setStatus(const QString& text, StatusKind kind) {
    // Every outcome is announced, even when the text repeats the previous one.
    status_ = text;
    statusKind_ = kind;
    emit statusChanged();
}

void Recorder::setVideoSize(int w, int h) {
    if (videoW_ != w) {
        videoW_ = w;
        emit videoWChanged();
    }
    if (videoH_ != h) {
        videoH_ = h;
        emit videoHChanged();
    }
}

Look Recorder::look() const {
    Look l = look_;
    l.zoom = zoom();
    l.smoothness = smoothness();
    l.sound = soundMix();
    return l;
}

WriterCounts Recorder::writerCounts() const {
    return videoWriter_ ? videoWriter_->counts() : WriterCounts{};
}

QString Recorder::outputFolder() const {
    return backend_.outputFolder();
}

// --- Start and the picker ----------------------------------------------------------

void Recorder::start() {
    PermissionChecks& checks = backend_.permissions();
    if (checks.requestInputAccess() || checks.recordsWithoutClicks()) {
        setNeedsPermission(false);
        backend_.picker().setActive(true);
        backend_.picker().present();
        setStatus(kChoose);
    } else {
        setNeedsPermission(true);
        setStatus(kGrant, StatusKind::NeedsPermission);
    }
}

void Recorder::pickerCancelled() {
    backend_.picker().setActive(false);
    if (phase_ != Phase::recording) {
        setStatus(QString());
    }
}

void Recorder::pickerFailed(const QString& description) {
    setStatus(kPickerError + description, StatusKind::StartFailed);
}

void Recorder::beginCapture(const CaptureContent& content) {
    backend_.picker().setActive(false);
    if (phase_ == Phase::recording || finishing_) {
        return;
    }
    ++takeGeneration_;
    samples_.clear();
    mutableCursorTrack().clear();
    setCursorInPicture(false);
    setClickCount(0);
    setVideoURL(QString());
    setMoments({});
    videoWriter_.reset();
    setSelected(std::nullopt);
    streamEnd_ = StreamEnd::Running;
    writerFailure_.reset();
    takeSound_.reset();
    lastOwnPress_ = -1e300;
    journaledClicks_ = 0;

    startTime_ = backend_.now();
    captureBounds_ = content.area;
    clicksObserved_ = true;
    startClickTap();
    startCursorSampler();

    // Capture starts as its own main-thread step, after this one returns.
    const quint64 generation = takeGeneration_;
    QMetaObject::invokeMethod(
        this,
        [this, content, generation] {
            if (generation == takeGeneration_) {
                startCapture(content);
            }
        },
        Qt::QueuedConnection);
}

void Recorder::startCapture(const CaptureContent& content) {
    captureBounds_ = content.area;
    // The stream says what its source delivers before the movie's size is
    // fixed (a portal stream knows it only after negotiating).
    auto created = backend_.createStream(content);
    if (!created) {
        failStart(kCaptureFailed + QStringLiteral("the screen stream could not be set up"));
        return;
    }
    std::unique_ptr<ScreenStream> stream = std::move(created.value());
    auto format = stream->negotiate();
    if (!format) {
        failStart(kCaptureFailed + QString::fromStdString(format.error()));
        return;
    }
    // Clicks and cursor samples normalise against what the stream really
    // shows (a portal knows a window's area only now).
    captureBounds_ = format->area;
    setCursorInPicture(format->cursorInPicture);
    const QSize size = recordingSize(format->pixelSize);
    setVideoSize(size.width(), size.height());
    stream->setOutputSize(size);

    // The sound sources open before the writer, which makes a track for each
    // source that did; the others are noted and left out.
    takeSound_.open(soundDevices_, soundChoice_);
    const QString folder = backend_.outputFolder();
    Result<std::unique_ptr<VideoWriter>> writer =
        Error{ErrorKind::NotFound, "no folder for the take's files"};
    if (!folder.isEmpty()) {
        writer = writers_.createWriter(WriterSpec{
            QDir(folder).filePath(QString::fromLatin1(kMovieName)), size.width(), size.height(),
            startTime_, takeSound_.kinds()});
    }
    if (!writer) {
        failStart(kNoWriter);
        return;
    }
    videoWriter_ = std::move(writer.value());
    setVideoURL(videoWriter_->path());

    // The journal keeps clicks and cursor samples durable while the take
    // records. A take goes on without one (its files are still written at the
    // end), so a journal that cannot be made only costs crash safety.
    if (auto journal = TakeJournalWriter::create(journalPath())) {
        journal_ = std::move(journal.value());
        journal_->video(size.width(), size.height(), format->cursorInPicture);
        journaledClicks_ = 0;
        for (const CursorSample& c : cursorTrack()) {
            journal_->sample(c);
        }
    }

    // The sink runs on the capture thread. It holds its own reference to the
    // writer, which is finished only after the stream has stopped. The end
    // also arrives there and is posted to the main thread; the generation
    // tells a late end of an earlier take.
    std::shared_ptr<VideoWriter> writerRef = videoWriter_;
    const quint64 generation = takeGeneration_;
    auto onEnd = [this, generation](StreamEnd reason) {
        QMetaObject::invokeMethod(
            this, [this, generation, reason] { streamEnded(generation, reason); },
            Qt::QueuedConnection);
    };
    // A writer that fails mid-take (a full disk) stops the take at once: the
    // file keeps every fragment written before the failure.
    auto failureSeen = std::make_shared<bool>(false); // capture thread only
    auto sink = [this, writerRef, generation, failureSeen](const VideoFrame& f) {
        writerRef->append(f);
        if (*failureSeen) {
            return;
        }
        if (std::optional<Error> failure = writerRef->failure()) {
            *failureSeen = true;
            QMetaObject::invokeMethod(
                this, [this, generation, e = *failure] { writerFailed(generation, e); },
                Qt::QueuedConnection);
        }
    };
    if (auto started = stream->start(sink, onEnd); !started) {
        failStart(kCaptureFailed + QString::fromStdString(started.error()));
        return;
    }
    stream_ = std::move(stream);
    startSound();
    setPhase(Phase::recording);
    setStatus(kRecording);
}

void Recorder::failStart(const QString& status) {
    stopSound();
    setStatus(status, StatusKind::StartFailed);
    stopClickTap();
    closeJournal();
    if (const QString journal = journalPath(); !journal.isEmpty()) {
        QFile::remove(journal);
    }
}

void Recorder::streamEnded(quint64 generation, StreamEnd reason) {
    // The stream is stopped (and joined) by the finish as usual; until then it
    // delivers nothing more. An end that arrives after Stop or Discard, or
    // from an earlier take, changes nothing.
    if (generation != takeGeneration_ || phase_ != Phase::recording || finishing_) {
        return;
    }
    streamEnd_ = reason;
    stop();
}

void Recorder::writerFailed(quint64 generation, const Error& error) {
    if (generation != takeGeneration_ || phase_ != Phase::recording || finishing_) {
        return;
    }
    writerFailure_ = error;
    stop();
}

// --- Sound ----------------------------------------------------------------------------------

void Recorder::setSoundChoice(const SoundChoice& choice) {
    if (soundChoice_ == choice) {
        return;
    }
    soundChoice_ = choice;
    emit soundChoiceChanged();
}

void Recorder::startSound() {
    // An end by itself arrives on the source's thread and is posted here; the
    // generation tells a late end of an earlier take.
    const quint64 generation = takeGeneration_;
    takeSound_.start(videoWriter_, startTime_,
                     [this, generation](SoundKind kind, double atSeconds, const Error&) {
                         QMetaObject::invokeMethod(
                             this,
                             [this, generation, kind, atSeconds] {
                                 soundEnded(generation, kind, atSeconds);
                             },
                             Qt::QueuedConnection);
                     });
    if (takeSound_.running(SoundKind::Microphone) || takeSound_.running(SoundKind::Desktop)) {
        levelTimer_.start();
    }
}

void Recorder::stopSound() {
    levelTimer_.stop();
    takeSound_.stop();
    if (microphoneLevel_ != 0 || desktopLevel_ != 0) {
        microphoneLevel_ = 0;
        desktopLevel_ = 0;
        emit soundLevelsChanged();
    }
}

void Recorder::soundEnded(quint64 generation, SoundKind kind, double atSeconds) {
    // The source stays stopped until the take ends; the take goes on without it.
    if (generation != takeGeneration_) {
        return;
    }
    takeSound_.noteEnded(kind, atSeconds);
}

void Recorder::refreshSoundLevels() {
    const double mic = takeSound_.takePeak(SoundKind::Microphone);
    const double desktop = takeSound_.takePeak(SoundKind::Desktop);
    if (mic != microphoneLevel_ || desktop != desktopLevel_) {
        microphoneLevel_ = mic;
        desktopLevel_ = desktop;
        emit soundLevelsChanged();
    }
}

// --- Clicks and cursor -----------------------------------------------------------------

void Recorder::startClickTap() {
    stopClickTap();
    clicksObserved_ = backend_.input().startClicks();
    if (!clicksObserved_) {
        setNeedsPermission(true);
        return;
    }
    clickConnection_ =
        connect(&backend_.input(), &InputMonitor::clicked, this, &Recorder::recordClick);
    clicksConnected_ = true;
}

void Recorder::stopClickTap() {
    cursorSampler_.stop();
    if (clicksConnected_) {
        disconnect(clickConnection_);
        backend_.input().stopClicks();
        clicksConnected_ = false;
    }
}

QRectF Recorder::areaNow() const {
    // A window that moved or was resized since the choice: what the picture
    // shows now.
    if (stream_) {
        if (const QRectF moved = stream_->pictureArea(); !moved.isEmpty()) {
            return moved;
        }
    }
    return captureBounds_;
}

void Recorder::recordClick(QPointF point, double hostTime) {
    // Half-open area: the pixel column at left + width lies outside it.
    const QRectF b = areaNow();
    if (!(point.x() >= b.left() && point.x() < b.left() + b.width() && point.y() >= b.top() &&
          point.y() < b.top() + b.height())) {
        return;
    }
    if (std::abs(hostTime - lastOwnPress_) < kOwnPressWindow) {
        return; // a press on our own window, seen by the global tap
    }
    Moment m;
    m.t = hostTime - startTime_;
    m.cx = (point.x() - b.left()) / b.width();
    m.cy = (point.y() - b.top()) / b.height();
    m.hold = kRecordedHold;
    samples_.push_back(m);
    setClickCount(clickCount_ + 1);
}

void Recorder::startCursorSampler() {
    // The readings are taken and stamped on the sampler's thread; only the
    // bookkeeping comes back here.
    InputMonitor* input = &backend_.input();
    CaptureBackend* backend = &backend_;
    const quint64 generation = takeGeneration_;
    cursorSampler_.start([input] { return input->readCursor(); },
                         [backend] { return backend->now(); }, startTime_, kCursorRate,
                         [this, generation](const CursorReading& reading, double hostTime) {
                             // The sampler is joined before the Recorder goes;
                             // calls still queued then are dropped with it.
                             QMetaObject::invokeMethod(
                                 this,
                                 [this, generation, reading, hostTime] {
                                     addCursorSample(generation, reading, hostTime);
                                 },
                                 Qt::QueuedConnection);
                         });
}

void Recorder::addCursorSample(quint64 generation, const CursorReading& reading, double hostTime) {
    if (generation != takeGeneration_ || phase_ == Phase::ready) {
        return;
    }
    const QRectF b = areaNow();
    if (b.width() <= 0 || b.height() <= 0) {
        return;
    }
    CursorSample s;
    s.t = hostTime - startTime_;
    s.x = (reading.position.x() - b.left()) / b.width();
    s.y = (reading.position.y() - b.top()) / b.height();
    s.pointer = reading.pointer;
    mutableCursorTrack().push_back(s);
    if (journal_) {
        journal_->sample(s);
        journalClicks(s.t - kOwnPressWindow);
    }
}

void Recorder::journalClicks(double olderThan) {
    while (journal_ && journaledClicks_ < samples_.size() &&
           samples_[journaledClicks_].t < olderThan) {
        journal_->click(samples_[journaledClicks_++]);
    }
}

void Recorder::noteOwnPress() {
    if (phase_ != Phase::recording) {
        return;
    }
    lastOwnPress_ = backend_.now();
    const double t = lastOwnPress_ - startTime_;
    // Clicks the global tap reported before this press arrived here; those
    // already in the journal are older than the window and are not touched.
    const auto first = samples_.begin() + static_cast<std::ptrdiff_t>(journaledClicks_);
    const auto kept = std::remove_if(first, samples_.end(), [t](const Moment& m) {
        return std::abs(m.t - t) < kOwnPressWindow;
    });
    if (kept != samples_.end()) {
        samples_.erase(kept, samples_.end());
        setClickCount(static_cast<qint64>(samples_.size()));
    }
}

// --- Stop and finishing --------------------------------------------------------------------

void Recorder::stop() {
    // A finished take is not finished again: that would regenerate its zooms and
    // drop the user's edits. A second Stop while finishing waits for the first.
    if (finishing_ || (phase_ == Phase::ready && !stream_)) {
        return;
    }
    stopClickTap();
    if (streamEnd_ == StreamEnd::Running) {
        streamEnd_ = StreamEnd::Stopped;
    }
    setStatus(kFinishing);
    finishing_ = true;
    const quint64 generation = takeGeneration_;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != takeGeneration_) {
                return; // discarded meanwhile
            }
            stopStream();
            // The sources stop before the writer finishes: nothing reaches a
            // sound track once its encoder is being drained.
            stopSound();
            closeJournal();
            finishWriting();
        },
        Qt::QueuedConnection);
}

void Recorder::stopStream() {
    if (stream_) {
        std::unique_ptr<ScreenStream> stream = std::move(stream_);
        stream->stop();
    }
}

void Recorder::finishWriting() {
    if (!videoWriter_) {
        writeTakeFiles();
        completeTake(false, std::nullopt);
        return;
    }
    // Flushing the encoder and reading the duration back can take a moment on a
    // long take: do both off the main thread and come back with the result.
    joinFinisher();
    std::shared_ptr<VideoWriter> writer = videoWriter_;
    WriterFactory* writers = &writers_;
    const QString path = videoURL_;
    const quint64 generation = takeGeneration_;
    finisher_ = std::thread([this, writer, writers, path, generation] {
        const bool finished = writer->finish().ok();
        // A writer that failed mid-take still leaves the fragments written
        // before the failure: what they hold is the take.
        const bool written = finished || (writer->failure() && writer->counts().written > 0);
        std::optional<double> d;
        if (written && !path.isEmpty()) {
            d = writers->movieDuration(path);
        }
        // The destructor joins this thread before the object goes away, so
        // posting to `this` is safe; a stale take is recognised by its generation.
        QMetaObject::invokeMethod(
            this,
            [this, written, d, generation] {
                if (generation != takeGeneration_) {
                    finishing_ = false;
                    return;
                }
                writeTakeFiles();
                completeTake(written, d);
            },
            Qt::QueuedConnection);
    });
}

void Recorder::completeTake(bool written, std::optional<double> movieDuration) {
    finishing_ = false;
    if (written && writerFailure_ && !movieDuration) {
        written = false; // nothing readable made it to the file
    }
    if (!written && writerFailure_) {
        // Not a permissions matter: say what the writer ran into.
        setStatus(QStringLiteral("Recording failed: %1. Nothing could be kept.")
                      .arg(writeFailureReason(*writerFailure_)),
                  StatusKind::NoFrames);
        setPhase(Phase::idle);
        emit takeFinished(false);
        return;
    }
    if (!written || videoURL_.isEmpty()) {
        setStatus(kNoFrames, StatusKind::NoFrames);
        setPhase(Phase::idle);
        emit takeFinished(false);
        return;
    }
    double d = 0;
    if (movieDuration && std::isfinite(*movieDuration) && *movieDuration > 0) {
        d = *movieDuration;
    } else if (!samples_.empty()) {
        d = samples_.back().t;
    }
    openTake(d);
    QString ended = writerFailure_ ? writeFailureReason(*writerFailure_) : endReason(streamEnd_);
    if (!ended.isEmpty()) {
        // The take ended without the user: say why and what was kept.
        setStatus(QStringLiteral("Recording stopped: %1. Kept %2 s.")
                      .arg(ended, QString::number(duration(), 'f', 1)),
                  StatusKind::TakeEnded);
    } else if (!clicksObserved_ && backend_.permissions().recordsWithoutClicks()) {
        // The take has its picture and cursor; say why it has no zooms.
        const QString why = backend_.permissions().inputProblem();
        setStatus(QString::asprintf("Done — %d zooms over %.1fs", static_cast<int>(zooms().size()),
                                    duration()) +
                      QStringLiteral(". No clicks were recorded") +
                      (why.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + why),
                  StatusKind::TakeWithoutClicks);
    } else {
        setStatus(QString::asprintf("Done — %d zooms over %.1fs",
                                    static_cast<int>(zooms().size()), duration()),
                  StatusKind::TakeReady);
    }
    for (const QString& note : takeSound_.notes()) {
        // The take is there; say what of its sound is not.
        setStatus(status_ + QStringLiteral(" — ") + note, statusKind_);
    }
    if (takeFilesError_) {
        // The take is there; say which of its files is missing on disk.
        setStatus(status_ + QStringLiteral(" — ") + QString::fromStdString(takeFilesError_->message),
                  statusKind_);
    }
    emit takeFinished(true);
}

void Recorder::openTake(double movieDuration) {
    // A fresh take: the whole movie, zooms made from its clicks, its sound as
    // recorded, nothing to undo.
    setDuration(movieDuration);
    setSoundMix(SoundMix{});
    setTrimStart(0);
    setTrimEnd(duration());
    setMoments(samples_);
    regenerateZooms();
    clearUndo();
    setPhase(Phase::ready);
}

void Recorder::joinFinisher() {
    if (finisher_.joinable()) {
        finisher_.join();
    }
}

namespace {

// Writes `bytes` to `path` beside the target and renames it into place, so a
// crash or a full disk mid-write never leaves a cut file under the real name.
Result<void> saveFile(const QString& path, const std::string& bytes) {
    QSaveFile file(path);
    auto failed = [&](const QString& why) {
        const ErrorKind kind = file.error() == QFileDevice::ResourceError ? ErrorKind::NoSpace
                               : file.error() == QFileDevice::PermissionsError
                                   ? ErrorKind::Permission
                                   : ErrorKind::Io;
        return Error{kind, QStringLiteral("cannot write %1: %2").arg(path, why).toStdString()};
    };
    if (QFileInfo(path).isDir()) {
        return Error{ErrorKind::Invalid,
                     QStringLiteral("cannot write %1: it is a folder").arg(path).toStdString()};
    }
    if (!file.open(QIODevice::WriteOnly)) {
        return failed(file.errorString());
    }
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size())) {
        const Error e = failed(file.errorString());
        file.cancelWriting();
        return e;
    }
    if (!file.commit()) {
        return failed(file.errorString());
    }
    return {};
}

} // namespace

QString Recorder::journalPath() const {
    const QString folder = backend_.outputFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QString::fromLatin1(kJournalName));
}

void Recorder::closeJournal() {
    if (journal_) {
        journalClicks(std::numeric_limits<double>::infinity());
        journal_->close();
        journal_.reset();
    }
}

Result<void> Recorder::writeClicksJSON() {
    const QString folder = backend_.outputFolder();
    if (folder.isEmpty()) {
        return Error{ErrorKind::NotFound, "no folder for the take's files"};
    }
    const auto bytes = ClicksFile::encode(samples_);
    if (!bytes) {
        return Error{ErrorKind::Invalid, "the clicks hold a value JSON cannot write"};
    }
    return saveFile(QDir(folder).filePath(QString::fromLatin1(kClicksName)), *bytes);
}

void Recorder::writeTakeFiles() {
    takeFilesError_.reset();
    if (auto wrote = writeClicksJSON(); !wrote) {
        takeFilesError_ = wrote.errorValue();
    }
    if (!trackFile_.isEmpty()) {
        if (auto wrote = saveFile(trackFile_, TrackCsv::encode(cursorTrack()));
            !wrote && !takeFilesError_) {
            takeFilesError_ = wrote.errorValue();
        }
    }
    // The journal has served its purpose once the take's own files hold what
    // it held; otherwise it stays, and the take can still be recovered from it.
    if (!takeFilesError_) {
        if (const QString journal = journalPath(); !journal.isEmpty()) {
            QFile::remove(journal);
        }
    }
}

bool Recorder::recoverInterruptedTake() {
    if (phase_ != Phase::idle || finishing_) {
        return false;
    }
    const QString journal = journalPath();
    if (journal.isEmpty() || !QFileInfo::exists(journal)) {
        return false;
    }
    const QString movie = QDir(backend_.outputFolder()).filePath(QString::fromLatin1(kMovieName));
    if (!QFileInfo(movie).isFile()) {
        return false; // the journal of a take whose movie is gone: nothing to open
    }
    const auto contents = takejournal::read(QFile::encodeName(journal).toStdString());
    const std::optional<double> movieDuration = writers_.movieDuration(movie);
    if (!contents || contents->width < 2 || !movieDuration) {
        setStatus(QStringLiteral("An interrupted take was found, but it cannot be opened: %1")
                      .arg(!contents ? QString::fromStdString(contents.error())
                           : !movieDuration ? QStringLiteral("its movie has no readable frames")
                                            : QStringLiteral("it recorded no frames")),
                  StatusKind::NoFrames);
        return false;
    }
    ++takeGeneration_;
    samples_ = contents->clicks;
    mutableCursorTrack() = contents->track;
    setCursorInPicture(contents->cursorInPicture);
    setVideoSize(contents->width, contents->height);
    setVideoURL(movie);
    setClickCount(static_cast<qint64>(samples_.size()));
    setSelected(std::nullopt);
    streamEnd_ = StreamEnd::Stopped;
    writerFailure_.reset();
    openTake(*movieDuration);
    writeTakeFiles();
    setStatus(QString::asprintf("Recovered the interrupted take — %d zooms over %.1fs",
                                static_cast<int>(zooms().size()), duration()),
              StatusKind::TakeEnded);
    emit takeFinished(true);
    return true;
}

// --- Discard ------------------------------------------------------------------------------

void Recorder::discard() {
    // A take discarded while it still records is stopped first, so nothing keeps
    // writing into the file that is about to be deleted.
    stopClickTap();
    stopStream();
    stopSound();
    closeJournal();
    if (const QString journal = journalPath(); !journal.isEmpty()) {
        QFile::remove(journal);
    }
    ++takeGeneration_;
    if (finishing_) {
        // The pending finish is abandoned; wait for its writer before deleting.
        joinFinisher();
        finishing_ = false;
    }
    videoWriter_.reset();
    if (!videoURL_.isEmpty()) {
        QFile::remove(videoURL_);
    }
    setVideoURL(QString());
    setSelected(std::nullopt);
    setVideoSelected(false);
    samples_.clear();
    mutableCursorTrack().clear();
    setMoments({});
    setZooms({});
    setClickCount(0);
    setDuration(0);
    setTrimStart(0);
    setTrimEnd(0);
    setPhase(Phase::idle);
    setStatus(QString());
}

// --- Export ------------------------------------------------------------------------------

void Recorder::exportTo(const QString& path) {
    if (videoURL_.isEmpty() || phase_ != Phase::ready || exporting_) {
        return;
    }
    setExporting(true);
    setExportProgress(0);
    setStatus(QStringLiteral("Exporting…"));

    // The export works on copies: edits made while it runs do not reach it.
    ExportJob job;
    job.source = videoURL_.toStdString();
    job.output = path.toStdString();
    job.timeline = timeline();
    job.look = look();
    job.trimStart = trimStart();
    job.trimEnd = trimEnd() > 0 ? trimEnd() : duration();

    const quint64 generation = ++exportGeneration_;
    // Both callbacks run on export threads; they only post to the main thread.
    // The worker is joined in the destructor before the QObject goes away, so
    // posting to `this` is safe, and posted calls still pending at that point are
    // dropped with the object.
    auto progress = [this, generation](double fraction) {
        QMetaObject::invokeMethod(
            this, [this, generation, fraction] { exportProgressed(generation, fraction); },
            Qt::QueuedConnection);
    };
    auto done = [this, generation, path](const Result<ExportReport>& result) {
        const bool ok = result.ok();
        // What the user needs to hear beyond the outcome: why it failed, or
        // that a damaged recording was exported only up to where it ends.
        QString detail;
        if (!ok) {
            detail = QString::fromStdString(result.error());
        } else if (result->endedEarly) {
            detail = QString::fromStdString(endedEarlyNote(*result->endedEarly));
        }
        QMetaObject::invokeMethod(
            this,
            [this, generation, ok, path, detail] { exportFinished(generation, ok, path, detail); },
            Qt::QueuedConnection);
    };
    exportWorker_ = std::make_unique<ExportWorker>(std::move(job), progress, done);
}

void Recorder::exportProgressed(quint64 generation, double fraction) {
    if (generation == exportGeneration_ && exporting_) {
        setExportProgress(fraction);
    }
}

void Recorder::exportFinished(quint64 generation, bool ok, const QString& path,
                              const QString& detail) {
    if (generation != exportGeneration_) {
        return;
    }
    exportWorker_.reset(); // its thread has finished: this only joins it
    setExporting(false);
    if (ok) {
        QString text = QStringLiteral("Exported ✓  ") + QFileInfo(path).fileName();
        if (!detail.isEmpty()) {
            text += QStringLiteral(" (") + detail + QStringLiteral(")");
        }
        setStatus(text, StatusKind::ExportDone);
        revealInFileManager(path);
    } else {
        setStatus(detail.isEmpty() ? QStringLiteral("Export failed")
                                   : QStringLiteral("Export failed: ") + detail,
                  StatusKind::ExportFailed);
    }
}

} // namespace orvane
