#include "Recorder.h"

#include "render/OutputGeometry.h"
#include "render/export/FileReveal.h"
#include "timeline/ClicksFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

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
    cursorTimer_.setSingleShot(true);
    cursorTimer_.setTimerType(Qt::PreciseTimer);
    connect(&cursorTimer_, &QTimer::timeout, this, [this] {
        sampleCursor();
        scheduleCursorSample();
    });

    // The picker's answers arrive queued, so that they run as their own steps on
    // the main thread whatever thread the picker reports from.
    ContentPicker& picker = backend_.picker();
    connect(&picker, &ContentPicker::contentChosen, this, &Recorder::beginCapture,
            Qt::QueuedConnection);
    connect(&picker, &ContentPicker::cancelled, this, &Recorder::pickerCancelled,
            Qt::QueuedConnection);
    connect(&picker, &ContentPicker::failed, this, &Recorder::pickerFailed, Qt::QueuedConnection);
}

Recorder::~Recorder() {
    stopClickTap();
    stopStream();
    joinFinisher();
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

ORVANE_SETTER(setMotionBlur, motionBlur_, double, motionBlurChanged)
ORVANE_SETTER(setBgBlur, bgBlur_, double, bgBlurChanged)
ORVANE_SETTER(setPadding, padding_, double, paddingChanged)
ORVANE_SETTER(setCornerRadius, cornerRadius_, double, cornerRadiusChanged)
ORVANE_SETTER(setBackground, background_, int, backgroundChanged)
ORVANE_SETTER(setFormatIndex, formatIndex_, int, formatIndexChanged)
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

    const QString folder = backend_.outputFolder();
    Result<std::unique_ptr<VideoWriter>> writer =
        Error{ErrorKind::NotFound, "no folder for the take's files"};
    if (!folder.isEmpty()) {
        writer = writers_.createWriter(WriterSpec{
            QDir(folder).filePath(QString::fromLatin1(kMovieName)), size.width(), size.height(),
            startTime_});
    }
    if (!writer) {
        failStart(kNoWriter);
        return;
    }
    videoWriter_ = std::move(writer.value());
    setVideoURL(videoWriter_->path());

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
    if (auto started = stream->start([writerRef](const VideoFrame& f) { writerRef->append(f); },
                                     onEnd);
        !started) {
        failStart(kCaptureFailed + QString::fromStdString(started.error()));
        return;
    }
    stream_ = std::move(stream);
    setPhase(Phase::recording);
    setStatus(kRecording);
}

void Recorder::failStart(const QString& status) {
    setStatus(status, StatusKind::StartFailed);
    stopClickTap();
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
    cursorTimer_.stop();
    if (clicksConnected_) {
        disconnect(clickConnection_);
        backend_.input().stopClicks();
        clicksConnected_ = false;
    }
}

void Recorder::recordClick(QPointF point, double hostTime) {
    // Half-open area: the pixel column at left + width lies outside it.
    const QRectF& b = captureBounds_;
    if (!(point.x() >= b.left() && point.x() < b.left() + b.width() && point.y() >= b.top() &&
          point.y() < b.top() + b.height())) {
        return;
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
    cursorTimer_.stop();
    cursorTicks_ = 0;
    scheduleCursorSample();
}

void Recorder::scheduleCursorSample() {
    // Deadlines at startTime + k/60 keep the average rate at 60 Hz although Qt
    // timers count whole milliseconds.
    ++cursorTicks_;
    const double due = startTime_ + static_cast<double>(cursorTicks_) / kCursorRate;
    const double wait = due - backend_.now();
    if (wait < -0.25) {
        // Far behind (the main thread was busy): skip the missed ticks.
        cursorTicks_ = static_cast<qint64>((backend_.now() - startTime_) * kCursorRate);
    }
    cursorTimer_.start(std::clamp(static_cast<int>(std::lround(wait * 1000)), 0, 1000));
}

void Recorder::sampleCursor() {
    const auto reading = backend_.input().readCursor();
    if (!reading) {
        return;
    }
    const QRectF& b = captureBounds_;
    if (b.width() <= 0 || b.height() <= 0) {
        return;
    }
    CursorSample s;
    s.t = backend_.now() - startTime_;
    s.x = (reading->position.x() - b.left()) / b.width();
    s.y = (reading->position.y() - b.top()) / b.height();
    s.pointer = reading->pointer;
    mutableCursorTrack().push_back(s);
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
        writeClicksJSON();
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
        const bool written = writer->finish().ok();
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
                writeClicksJSON();
                completeTake(written, d);
            },
            Qt::QueuedConnection);
    });
}

void Recorder::completeTake(bool written, std::optional<double> movieDuration) {
    finishing_ = false;
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
    setDuration(d);
    setTrimStart(0);
    setTrimEnd(duration());
    setMoments(samples_);
    regenerateZooms();
    clearUndo();
    setPhase(Phase::ready);
    if (const QString ended = endReason(streamEnd_); !ended.isEmpty()) {
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
    emit takeFinished(true);
}

void Recorder::joinFinisher() {
    if (finisher_.joinable()) {
        finisher_.join();
    }
}

void Recorder::writeClicksJSON() {
    const QString folder = backend_.outputFolder();
    if (folder.isEmpty()) {
        return;
    }
    const auto bytes = ClicksFile::encode(samples_);
    if (!bytes) {
        return;
    }
    // Written beside the target and renamed into place, so a crash mid-write
    // never leaves a truncated file under the real name. Errors are silent.
    QSaveFile file(QDir(folder).filePath(QString::fromLatin1(kClicksName)));
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    file.write(bytes->data(), static_cast<qint64>(bytes->size()));
    file.commit();
}

// --- Discard ------------------------------------------------------------------------------

void Recorder::discard() {
    // A take discarded while it still records is stopped first, so nothing keeps
    // writing into the file that is about to be deleted.
    stopClickTap();
    stopStream();
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
    job.smoothness = smoothness();
    job.motionBlur = motionBlur_;
    job.bgBlur = bgBlur_;
    job.padding = padding_;
    job.cornerRadius = cornerRadius_;
    job.background = background_;
    job.outputAspect = outputAspect(formatIndex_, videoW_, videoH_);
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
