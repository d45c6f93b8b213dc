#include "TakeRecorder.h"

#include "timeline/ClicksFile.h"
#include "timeline/AtomicFile.h"
#include "timeline/TrackCsv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvane {

namespace {

// Pixel size of a recording: the source's pixel size, longest side at most
// kMaxSide (aspect kept), each side truncated, rounded down to even, at least 2.
QSize recordingSize(QSizeF source) {
    double w = source.width();
    double h = source.height();
    const double longest = std::max(w, h);
    if (longest > TakeRecorder::kMaxSide) {
        w *= TakeRecorder::kMaxSide / longest;
        h *= TakeRecorder::kMaxSide / longest;
    }
    auto even = [](double v) {
        const auto n = static_cast<long long>(std::isfinite(v) && v > 0 ? v : 0);
        return static_cast<int>(std::max<long long>(n & ~1LL, 2));
    };
    return {even(w), even(h)};
}

} // namespace

TakeRecorder::TakeRecorder(CaptureBackend& backend, WriterFactory& writers, QObject* parent)
    : QObject(parent), backend_(backend), writers_(writers) {
    qRegisterMetaType<orvane::CaptureContent>("orvane::CaptureContent");
    qRegisterMetaType<orvane::StartFailure>("orvane::StartFailure");
    qRegisterMetaType<orvane::TakeResult>("orvane::TakeResult");
    qRegisterMetaType<orvane::CursorSample>("orvane::CursorSample");

    // The picker's answers arrive queued, so that they run as their own steps on
    // the main thread whatever thread the picker reports from.
    ContentPicker& picker = backend_.picker();
    connect(&picker, &ContentPicker::contentChosen, this, &TakeRecorder::contentChosen,
            Qt::QueuedConnection);
    connect(
        &picker, &ContentPicker::cancelled, this,
        [this] {
            backend_.picker().setActive(false);
            emit pickerCancelled();
        },
        Qt::QueuedConnection);
    connect(&picker, &ContentPicker::failed, this, &TakeRecorder::pickerFailed,
            Qt::QueuedConnection);

    countdownTimer_.setInterval(1000);
    countdownTimer_.setTimerType(Qt::PreciseTimer);
    connect(&countdownTimer_, &QTimer::timeout, this, [this] {
        if (--countdownLeft_ > 0) {
            emit countdownTick(countdownLeft_);
            return;
        }
        countdownTimer_.stop();
        state_ = State::Idle;
        emit countdownEnded(false);
        beginCapture(content_);
    });

    levelTimer_.setInterval(1000 / kLevelRate);
    connect(&levelTimer_, &QTimer::timeout, this, &TakeRecorder::refreshSoundLevels);
}

TakeRecorder::~TakeRecorder() {
    stopClickTap();
    stopStream();
    stopSound();
    joinFinisher();
    closeJournal();
}

WriterCounts TakeRecorder::writerCounts() const {
    return videoWriter_ ? videoWriter_->counts() : WriterCounts{};
}

QString TakeRecorder::journalPath() const {
    return folder_.isEmpty() ? QString() : QDir(folder_).filePath(QString::fromLatin1(kJournalName));
}

// --- Start ---------------------------------------------------------------------------------

bool TakeRecorder::openPicker() {
    PermissionChecks& checks = backend_.permissions();
    if (!checks.requestInputAccess() && !checks.recordsWithoutClicks()) {
        return false;
    }
    backend_.picker().setActive(true);
    backend_.picker().present();
    return true;
}

void TakeRecorder::contentChosen(const CaptureContent& content) {
    backend_.picker().setActive(false);
    if (state_ != State::Idle || stepping_ != 0) {
        return;
    }
    if (!contentStep_) {
        accept(content);
        return;
    }
    // The step answers once; an answer after abandon() or a later choice is
    // no answer.
    const quint64 ticket = ++stepTickets_;
    stepping_ = ticket;
    contentStep_(
        content,
        [this, ticket](const CaptureContent& chosen) {
            if (stepping_ == ticket) {
                stepping_ = 0;
                accept(chosen);
            }
        },
        [this, ticket] {
            if (stepping_ == ticket) {
                stepping_ = 0;
                emit pickerCancelled();
            }
        });
}

void TakeRecorder::accept(const CaptureContent& content) {
    if (state_ != State::Idle) {
        return;
    }
    if (countdown_ <= 0) {
        beginCapture(content);
        return;
    }
    state_ = State::CountingDown;
    content_ = content;
    countdownLeft_ = countdown_;
    countdownTimer_.start();
    emit countdownStarted(content);
    emit countdownTick(countdownLeft_);
}

bool TakeRecorder::cancelCountdown() {
    if (state_ != State::CountingDown) {
        return false;
    }
    countdownTimer_.stop();
    state_ = State::Idle;
    emit countdownEnded(true);
    return true;
}

void TakeRecorder::beginCapture(const CaptureContent& content) {
    backend_.picker().setActive(false);
    if (state_ != State::Idle) {
        return;
    }
    ++generation_;
    samples_.clear();
    track_.clear();
    cursorInPicture_ = false;
    moviePath_.clear();
    videoWriter_.reset();
    streamEnd_ = StreamEnd::Running;
    writerFailure_.reset();
    takeSound_.reset();
    lastOwnPress_ = -1e300;
    journaledClicks_ = 0;
    folder_.clear();
    content_ = content;
    emit captureBegun();
    emit clickCountChanged();

    startTime_ = backend_.now();
    clock_ = std::make_shared<TakeClock>();
    clock_->reset(startTime_);
    captureBounds_ = content.area;
    clicksObserved_ = true;
    startClickTap();
    startCursorSampler();

    // Capture starts as its own main-thread step, after this one returns.
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, content, generation] {
            if (generation == generation_) {
                startCapture(content);
            }
        },
        Qt::QueuedConnection);
}

void TakeRecorder::startCapture(const CaptureContent& content) {
    captureBounds_ = content.area;
    // The stream says what its source delivers before the movie's size is
    // fixed (a portal stream knows it only after negotiating).
    auto created = backend_.createStream(content);
    if (!created) {
        failStart({StartFailure::Stage::Stream, QStringLiteral("the screen stream could not be set up")});
        return;
    }
    std::unique_ptr<ScreenStream> stream = std::move(created.value());
    auto format = stream->negotiate();
    if (!format) {
        failStart({StartFailure::Stage::Stream, QString::fromStdString(format.error())});
        return;
    }
    // Clicks and cursor samples normalise against what the stream really
    // shows (a portal knows a window's area only now).
    captureBounds_ = format->area;
    cursorInPicture_ = format->cursorInPicture;
    const QSize size = recordingSize(format->pixelSize);
    videoW_ = size.width();
    videoH_ = size.height();
    emit videoSizeChanged(videoW_, videoH_, cursorInPicture_);
    stream->setOutputSize(size);

    // The take's folder: a new one in the library, or the output folder.
    Result<QString> folder = Error{ErrorKind::NotFound, "no folder for the take's files"};
    if (folderMaker_) {
        folder = folderMaker_();
    } else if (const QString out = backend_.outputFolder(); !out.isEmpty()) {
        folder = out;
    }
    if (folder) {
        folder_ = folder.value();
    }

    // The sound sources open before the writer, which makes a track for each
    // source that did; the others are noted and left out.
    takeSound_.open(soundDevices_, soundChoice_);
    Result<std::unique_ptr<VideoWriter>> writer = folder ? Result<std::unique_ptr<VideoWriter>>(nullptr)
                                                         : folder.errorValue();
    if (folder) {
        writer = writers_.createWriter(WriterSpec{
            QDir(folder_).filePath(QString::fromLatin1(kMovieName)), videoW_, videoH_, startTime_,
            takeSound_.kinds()});
    }
    if (!writer) {
        // A folder that cannot be made says why; the writer's own failure is
        // the plain "cannot create" the user has always read.
        failStart({StartFailure::Stage::Writer,
                   folder ? QString() : QString::fromStdString(folder.error())});
        return;
    }
    videoWriter_ = std::move(writer.value());
    moviePath_ = videoWriter_->path();

    // The journal keeps clicks and cursor samples durable while the take
    // records. A take goes on without one (its files are still written at the
    // end), so a journal that cannot be made only costs crash safety.
    if (auto journal = TakeJournalWriter::create(journalPath())) {
        journal_ = std::move(journal.value());
        journal_->video(videoW_, videoH_, cursorInPicture_);
        journaledClicks_ = 0;
        for (const CursorSample& c : track_) {
            journal_->sample(c);
        }
    }

    // The sink runs on the capture thread. It holds its own reference to the
    // writer, which is finished only after the stream has stopped. The end
    // also arrives there and is posted to the main thread; the generation
    // tells a late end of an earlier take.
    std::shared_ptr<VideoWriter> writerRef = videoWriter_;
    const quint64 generation = generation_;
    auto onEnd = [this, generation](StreamEnd reason) {
        QMetaObject::invokeMethod(
            this, [this, generation, reason] { streamEnded(generation, reason); },
            Qt::QueuedConnection);
    };
    // A writer that fails mid-take (a full disk) stops the take at once: the
    // file keeps every fragment written before the failure.
    // Frames grabbed while paused are left out; the others go to the writer
    // on the take's clock (host seconds less the time paused).
    auto failureSeen = std::make_shared<bool>(false); // capture thread only
    auto skipped = std::make_shared<bool>(false);     // capture thread only
    std::shared_ptr<const TakeClock> clock = clock_;
    const double start = startTime_;
    auto sink = [this, writerRef, generation, failureSeen, skipped, clock, start](const VideoFrame& f) {
        const std::optional<double> at = clock->takeTimeOf(f.hostTime);
        if (!at) {
            *skipped = true;
            return;
        }
        VideoFrame taken = f;
        taken.hostTime = start + *at;
        // A repeat of a frame left out is not a repeat of the last one written.
        taken.repeat = f.repeat && !*skipped;
        *skipped = false;
        writerRef->append(taken);
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
        failStart({StartFailure::Stage::Stream, QString::fromStdString(started.error())});
        return;
    }
    stream_ = std::move(stream);
    startSound();
    state_ = State::Recording;
    emit recordingStarted();
}

void TakeRecorder::failStart(StartFailure failure) {
    stopSound();
    stopClickTap();
    closeJournal();
    removeJournal();
    emit startFailed(failure);
}

void TakeRecorder::streamEnded(quint64 generation, StreamEnd reason) {
    // The stream is stopped (and joined) by the finish as usual; until then it
    // delivers nothing more. An end that arrives after Stop or abandon(), or
    // from an earlier take, changes nothing.
    if (generation != generation_ || state_ != State::Recording) {
        return;
    }
    streamEnd_ = reason;
    stop();
}

void TakeRecorder::writerFailed(quint64 generation, const Error& error) {
    if (generation != generation_ || state_ != State::Recording) {
        return;
    }
    writerFailure_ = error;
    stop();
}

// --- Sound ----------------------------------------------------------------------------------

void TakeRecorder::setSoundChoice(const SoundChoice& choice) {
    if (soundChoice_ == choice) {
        return;
    }
    soundChoice_ = choice;
    emit soundChoiceChanged();
}

void TakeRecorder::startSound() {
    // An end by itself arrives on the source's thread and is posted here; the
    // generation tells a late end of an earlier take.
    const quint64 generation = generation_;
    takeSound_.start(videoWriter_, clock_,
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

void TakeRecorder::stopSound() {
    levelTimer_.stop();
    takeSound_.stop();
    if (microphoneLevel_ != 0 || desktopLevel_ != 0) {
        microphoneLevel_ = 0;
        desktopLevel_ = 0;
        emit soundLevelsChanged();
    }
}

void TakeRecorder::soundEnded(quint64 generation, SoundKind kind, double atSeconds) {
    // The source stays stopped until the take ends; the take goes on without it.
    if (generation != generation_) {
        return;
    }
    takeSound_.noteEnded(kind, atSeconds);
}

void TakeRecorder::refreshSoundLevels() {
    const double mic = takeSound_.takePeak(SoundKind::Microphone);
    const double desktop = takeSound_.takePeak(SoundKind::Desktop);
    if (mic != microphoneLevel_ || desktop != desktopLevel_) {
        microphoneLevel_ = mic;
        desktopLevel_ = desktop;
        emit soundLevelsChanged();
    }
}

// --- Clicks and cursor -----------------------------------------------------------------

void TakeRecorder::startClickTap() {
    stopClickTap();
    clicksObserved_ = backend_.input().startClicks();
    if (!clicksObserved_) {
        emit clicksUnavailable();
        return;
    }
    clickConnection_ =
        connect(&backend_.input(), &InputMonitor::clicked, this, &TakeRecorder::recordClick);
    clicksConnected_ = true;
}

void TakeRecorder::stopClickTap() {
    cursorSampler_.stop();
    if (clicksConnected_) {
        // A monitor may still deliver presses it read before the stop (one
        // waiting for the cursor's position): they are the take's last clicks.
        backend_.input().stopClicks();
        disconnect(clickConnection_);
        clicksConnected_ = false;
    }
}

QRectF TakeRecorder::areaNow() const {
    // A window that moved or was resized since the choice: what the picture
    // shows now.
    if (stream_) {
        if (const QRectF moved = stream_->pictureArea(); !moved.isEmpty()) {
            return moved;
        }
    }
    return captureBounds_;
}

void TakeRecorder::recordClick(QPointF point, double hostTime) {
    // Half-open area: the pixel column at left + width lies outside it.
    const QRectF b = areaNow();
    if (!(point.x() >= b.left() && point.x() < b.left() + b.width() && point.y() >= b.top() &&
          point.y() < b.top() + b.height())) {
        return;
    }
    if (std::abs(hostTime - lastOwnPress_) < kOwnPressWindow) {
        return; // a press on our own window, seen by the global tap
    }
    const std::optional<double> at = clock_ ? clock_->takeTimeOf(hostTime) : std::nullopt;
    if (!at) {
        return; // pressed while paused
    }
    Moment m;
    m.t = *at;
    m.cx = (point.x() - b.left()) / b.width();
    m.cy = (point.y() - b.top()) / b.height();
    m.hold = kRecordedHold;
    samples_.push_back(m);
    emit clickCountChanged();
}

void TakeRecorder::startCursorSampler() {
    // The readings are taken and stamped on the sampler's thread; only the
    // bookkeeping comes back here.
    InputMonitor* input = &backend_.input();
    CaptureBackend* backend = &backend_;
    const quint64 generation = generation_;
    cursorSampler_.start([input] { return input->readCursor(); },
                         [backend] { return backend->now(); }, startTime_, kCursorRate,
                         [this, generation](const CursorReading& reading, double hostTime) {
                             // The sampler is joined before this object goes;
                             // calls still queued then are dropped with it.
                             QMetaObject::invokeMethod(
                                 this,
                                 [this, generation, reading, hostTime] {
                                     addCursorSample(generation, reading, hostTime);
                                 },
                                 Qt::QueuedConnection);
                         });
}

void TakeRecorder::addCursorSample(quint64 generation, const CursorReading& reading,
                                   double hostTime) {
    if (generation != generation_ || state_ == State::Finishing) {
        return;
    }
    const QRectF b = areaNow();
    if (b.width() <= 0 || b.height() <= 0) {
        return;
    }
    const std::optional<double> at = clock_ ? clock_->takeTimeOf(hostTime) : std::nullopt;
    if (!at) {
        return; // sampled while paused
    }
    CursorSample s;
    s.t = *at;
    s.x = (reading.position.x() - b.left()) / b.width();
    s.y = (reading.position.y() - b.top()) / b.height();
    s.pointer = reading.pointer;
    track_.push_back(s);
    if (journal_) {
        journal_->sample(s);
        journalClicks(s.t - kOwnPressWindow);
    }
    emit cursorSampled(s);
}

void TakeRecorder::journalClicks(double olderThan) {
    while (journal_ && journaledClicks_ < samples_.size() &&
           samples_[journaledClicks_].t < olderThan) {
        journal_->click(samples_[journaledClicks_++]);
    }
}

void TakeRecorder::noteOwnPress() {
    if (state_ != State::Recording) {
        return;
    }
    lastOwnPress_ = backend_.now();
    const double t = clock_ ? clock_->takeTimeAt(lastOwnPress_) : lastOwnPress_ - startTime_;
    // Clicks the global tap reported before this press arrived here; those
    // already in the journal are older than the window and are not touched.
    const auto first = samples_.begin() + static_cast<std::ptrdiff_t>(journaledClicks_);
    const auto kept = std::remove_if(first, samples_.end(), [t](const Moment& m) {
        return std::abs(m.t - t) < kOwnPressWindow;
    });
    if (kept != samples_.end()) {
        samples_.erase(kept, samples_.end());
        emit clickCountChanged();
    }
}

// --- Pause ---------------------------------------------------------------------------------

bool TakeRecorder::pause() {
    if (state_ != State::Recording || !clock_ || !clock_->pause(backend_.now())) {
        return false;
    }
    emit pausedChanged(true);
    return true;
}

bool TakeRecorder::resume() {
    if (state_ != State::Recording || !clock_ || !clock_->resume(backend_.now())) {
        return false;
    }
    emit pausedChanged(false);
    return true;
}

double TakeRecorder::takeTime() const {
    if (state_ == State::Idle || !clock_) {
        return 0.0;
    }
    return std::max(0.0, clock_->takeTimeAt(backend_.now()));
}

// --- Stop and finishing --------------------------------------------------------------------

void TakeRecorder::stop() {
    if (state_ == State::Finishing) {
        return; // a second Stop while finishing waits for the first
    }
    if (cancelCountdown()) {
        return; // nothing was recorded yet
    }
    stopClickTap();
    if (streamEnd_ == StreamEnd::Running) {
        streamEnd_ = StreamEnd::Stopped;
    }
    state_ = State::Finishing;
    emit finishingStarted();
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != generation_) {
                return; // abandoned meanwhile
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

void TakeRecorder::stopStream() {
    if (stream_) {
        std::unique_ptr<ScreenStream> stream = std::move(stream_);
        stream->stop();
    }
}

void TakeRecorder::finishWriting() {
    if (!videoWriter_) {
        report(false, std::nullopt);
        return;
    }
    // Flushing the encoder and reading the duration back can take a moment on a
    // long take: do both off the main thread and come back with the result.
    joinFinisher();
    std::shared_ptr<VideoWriter> writer = videoWriter_;
    WriterFactory* writers = &writers_;
    const QString path = moviePath_;
    const quint64 generation = generation_;
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
                if (generation != generation_) {
                    return;
                }
                report(written, d);
            },
            Qt::QueuedConnection);
    });
}

void TakeRecorder::report(bool written, std::optional<double> movieDuration) {
    TakeResult r;
    r.filesError = writeTakeFiles();
    state_ = State::Idle;
    // A writer that failed before anything readable reached the file kept nothing.
    r.written = written && !(writerFailure_ && !movieDuration) && !moviePath_.isEmpty();
    r.folder = folder_;
    r.moviePath = moviePath_;
    r.movieDuration = movieDuration;
    r.startTime = startTime_;
    r.videoW = videoW_;
    r.videoH = videoH_;
    r.cursorInPicture = cursorInPicture_;
    r.clicks = samples_;
    r.track = track_;
    r.soundTracks = takeSound_.kinds();
    r.streamEnd = streamEnd_;
    r.writerFailure = writerFailure_;
    r.clicksObserved = clicksObserved_;
    r.soundNotes = takeSound_.notes();
    emit takeFinished(r);
}

std::optional<Error> TakeRecorder::saveTakeFiles(const QString& folder,
                                                 const std::vector<Moment>& clicks,
                                                 const std::vector<CursorSample>& track) {
    if (folder.isEmpty()) {
        return Error{ErrorKind::NotFound, "no folder for the take's files"};
    }
    const QDir dir(folder);
    auto path = [&](const char* name) {
        return QFile::encodeName(dir.filePath(QString::fromLatin1(name))).toStdString();
    };
    std::optional<Error> failure;
    if (const auto bytes = ClicksFile::encode(clicks); !bytes) {
        failure = Error{ErrorKind::Invalid, "the clicks hold a value JSON cannot write"};
    } else if (auto wrote = saveFileAtomically(path(kClicksName), *bytes); !wrote) {
        failure = wrote.errorValue();
    }
    if (auto wrote = saveFileAtomically(path(kTrackName), TrackCsv::encode(track));
        !wrote && !failure) {
        failure = wrote.errorValue();
    }
    return failure;
}

std::optional<Error> TakeRecorder::writeTakeFiles() {
    std::optional<Error> failure = saveTakeFiles(folder_, samples_, track_);
    // The journal has served its purpose once the take's own files hold what
    // it held; otherwise it stays, and the take can still be recovered from it.
    if (!failure) {
        removeJournal();
    }
    return failure;
}

void TakeRecorder::joinFinisher() {
    if (finisher_.joinable()) {
        finisher_.join();
    }
}

void TakeRecorder::closeJournal() {
    if (journal_) {
        journalClicks(std::numeric_limits<double>::infinity());
        journal_->close();
        journal_.reset();
    }
}

void TakeRecorder::removeJournal() {
    if (const QString journal = journalPath(); !journal.isEmpty()) {
        QFile::remove(journal);
    }
}

// --- Abandon ------------------------------------------------------------------------------

void TakeRecorder::abandon() {
    stepping_ = 0;
    cancelCountdown();
    // A take abandoned while it still records is stopped first, so nothing
    // keeps writing into files that are about to go.
    stopClickTap();
    stopStream();
    stopSound();
    closeJournal();
    removeJournal();
    ++generation_;
    // A pending finish is abandoned; wait for its writer.
    joinFinisher();
    videoWriter_.reset();
    samples_.clear();
    track_.clear();
    state_ = State::Idle;
    emit clickCountChanged();
}

} // namespace orvane
