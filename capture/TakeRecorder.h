#pragma once

#include "CaptureBackend.h"
#include "CaptureContent.h"
#include "CursorSampler.h"
#include "SoundChoice.h"
#include "SoundSource.h"
#include "TakeClock.h"
#include "TakeJournalWriter.h"
#include "TakeResult.h"
#include "TakeSound.h"
#include "WriterFactory.h"

#include <QObject>
#include <QRectF>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace orvane {

// Records takes: from the content choice to a finished movie with its clicks,
// cursor track, sound and journal. It knows nothing of edits, looks or
// exports, and words nothing: what happened is reported as values
// (StartFailure, TakeResult) for the document above to turn into its status.
//
// Each take goes into a folder of its own, asked for when capture begins
// (setTakeFolders); without one, into the backend's output folder as every
// take did before there was a library.
//
// Lives on the main thread; every method is main-thread only, and every
// signal is emitted there. It reaches the platform only through a
// CaptureBackend and writes movies through a WriterFactory; it owns neither,
// and both must outlive it.
class TakeRecorder : public QObject {
    Q_OBJECT

public:
    // CountingDown: content is chosen and the countdown runs; nothing is
    // recorded yet and the last take is untouched.
    enum class State { Idle, CountingDown, Recording, Finishing };

    // File names of a take, in its folder.
    static constexpr const char* kMovieName = "orvane-recording.mov";
    static constexpr const char* kClicksName = "quilbo-clicks.json";
    static constexpr const char* kTrackName = "orvane-cursor.csv";
    // Kept beside the movie while a take records; see timeline/TakeJournal.h.
    static constexpr const char* kJournalName = "orvane-take.journal";
    // Longest side of a recording, in pixels.
    static constexpr double kMaxSide = 3840;
    // Cursor samples per second while recording.
    static constexpr int kCursorRate = 60;
    // A click recorded within this long of a press on one of our own windows is
    // that press seen by the global tap.
    static constexpr double kOwnPressWindow = 0.3; // seconds
    // Sound levels are refreshed this many times a second while a take records.
    static constexpr int kLevelRate = 15;

    // Makes the folder of a new take (called once per take, when capture
    // begins); an error fails the start as a writer that cannot be created.
    using FolderMaker = std::function<Result<QString>()>;

    TakeRecorder(CaptureBackend& backend, WriterFactory& writers, QObject* parent = nullptr);
    ~TakeRecorder() override;

    void setTakeFolders(FolderMaker maker) { folderMaker_ = std::move(maker); }

    // --- Flows ------------------------------------------------------------------
    // Opens the content picker when input can be observed (or the backend
    // records without clicks); false, with nothing opened, otherwise.
    bool openPicker();
    // Content chosen (connected to the picker, queued): begins the take, or
    // with a countdown set, counts down first. Ignored unless idle.
    void contentChosen(const CaptureContent& content);
    // Begins the take now. Ignored unless idle.
    void beginCapture(const CaptureContent& content);
    // A step between the choice of content and the countdown (the window's
    // region overlay): called with the chosen content, it calls `proceed`
    // once with what to record, or `cancel` (the choice is then cancelled as
    // the picker's would be). Nothing set: the content goes on as chosen.
    using ContentStep = std::function<void(const CaptureContent& content,
                                           std::function<void(const CaptureContent&)> proceed,
                                           std::function<void()> cancel)>;
    void setContentStep(ContentStep step) { contentStep_ = std::move(step); }
    // Seconds counted down between the choice of content and the take's
    // start (0: none, the default). The take's time 0 is the countdown's end.
    void setCountdown(int seconds) { countdown_ = std::max(0, seconds); }
    int countdown() const { return countdown_; }
    // Stops a running countdown: nothing is recorded and the state is idle
    // again. False when no countdown ran.
    bool cancelCountdown();
    // Seconds left in the running countdown (0 when none runs).
    int countdownLeft() const { return state_ == State::CountingDown ? countdownLeft_ : 0; }
    // Ends the take: stops clicks, cursor and stream, then finishes the movie
    // off the main thread; takeFinished follows. During a countdown, cancels
    // it. Nothing while idle or finishing.
    void stop();
    // Stops whatever runs, waits for a pending finish, removes the take's
    // journal and forgets the take, without reporting it. The files stay.
    void abandon();
    // A press landed on one of Orvane's own windows just now (see kOwnPressWindow).
    void noteOwnPress();
    // Pauses the take: until resume() no frame, click, cursor sample or sound
    // is kept, and the take's clock stands still, so the take goes on after
    // it with no gap. Only while recording; false when nothing changed.
    bool pause();
    bool resume();
    bool paused() const { return state_ == State::Recording && clock_ && clock_->paused(); }
    // Take seconds now (standing still while paused); 0 while idle.
    double takeTime() const;
    // Writes a take's clicks file and cursor track into `folder` (each
    // atomically); the first failure, naming the file, or nothing.
    static std::optional<Error> saveTakeFiles(const QString& folder,
                                              const std::vector<Moment>& clicks,
                                              const std::vector<CursorSample>& track);

    // --- State of the current or last take ------------------------------------------
    State state() const { return state_; }
    qint64 clickCount() const { return static_cast<qint64>(samples_.size()); }
    const std::vector<Moment>& samples() const { return samples_; }
    const std::vector<CursorSample>& cursorTrack() const { return track_; }
    double startTime() const { return startTime_; } // host seconds at content choice
    QRectF captureBounds() const { return captureBounds_; }
    // What the current or last take records (or the countdown is for).
    const CaptureContent& content() const { return content_; }
    // What the picture shows now (a window that moved or was resized mid-take),
    // in capture coordinates; clicks and cursor samples normalise against it.
    QRectF areaNow() const;
    WriterCounts writerCounts() const;
    StreamEnd streamEnd() const { return streamEnd_; }
    std::optional<Error> writerFailure() const { return writerFailure_; }
    QString moviePath() const { return moviePath_; }
    QString takeFolder() const { return folder_; } // empty before the first take
    QString journalPath() const;

    // --- Sound ------------------------------------------------------------------------
    // The sound server (not owned; must outlive this). Null: no server is
    // known, and a take that asks for sound records without it and says so.
    void setSoundDevices(SoundDevices* devices) { soundDevices_ = devices; }
    SoundDevices* soundDevices() const { return soundDevices_; }
    SoundChoice soundChoice() const { return soundChoice_; }
    void setSoundChoice(const SoundChoice& choice);
    double microphoneLevel() const { return microphoneLevel_; } // 0...1
    double desktopLevel() const { return desktopLevel_; }
    bool recordsSound(SoundKind kind) const { return takeSound_.running(kind); }
    QStringList soundNotes() const { return takeSound_.notes(); }

signals:
    void pickerCancelled();
    void pickerFailed(const QString& description);
    // A countdown began for `content`; countdownTick follows at once with
    // the seconds left, then once a second down to 1.
    void countdownStarted(const orvane::CaptureContent& content);
    void countdownTick(int secondsLeft);
    // The countdown ran out (the take begins right after) or was cancelled.
    void countdownEnded(bool cancelled);
    // Capture begins for chosen content (the stream is being set up).
    void captureBegun();
    // Clicks cannot be observed for this take; it records without them.
    void clicksUnavailable();
    void startFailed(const orvane::StartFailure& failure);
    // The size of the recording is known (pixels); before recordingStarted.
    void videoSizeChanged(int width, int height, bool cursorInPicture);
    void recordingStarted();
    void pausedChanged(bool paused);
    void finishingStarted();
    void takeFinished(const orvane::TakeResult& result);
    void clickCountChanged();
    void cursorSampled(const orvane::CursorSample& sample);
    void soundChoiceChanged();
    void soundLevelsChanged();

private:
    void startCapture(const CaptureContent& content);
    void accept(const CaptureContent& content);
    void failStart(StartFailure failure);
    void streamEnded(quint64 generation, StreamEnd reason);
    void writerFailed(quint64 generation, const Error& error);
    void startClickTap();
    void stopClickTap();
    void recordClick(QPointF point, double hostTime);
    void startCursorSampler();
    void addCursorSample(quint64 generation, const CursorReading& reading, double hostTime);
    void journalClicks(double olderThan);
    void closeJournal();
    void removeJournal();
    void stopStream();
    void startSound();
    void stopSound();
    void soundEnded(quint64 generation, SoundKind kind, double atSeconds);
    void refreshSoundLevels();
    void finishWriting();
    void report(bool written, std::optional<double> movieDuration);
    std::optional<Error> writeTakeFiles();
    void joinFinisher();

    CaptureBackend& backend_;
    WriterFactory& writers_;
    FolderMaker folderMaker_;

    State state_ = State::Idle;
    QString folder_;
    QString moviePath_;
    int videoW_ = 0;
    int videoH_ = 0;
    bool cursorInPicture_ = false;
    StreamEnd streamEnd_ = StreamEnd::Running;
    std::optional<Error> writerFailure_;
    std::unique_ptr<TakeJournalWriter> journal_;
    // Clicks reach the journal once no press on our own window can take them
    // back: samples_[0, journaledClicks_) are in it.
    std::size_t journaledClicks_ = 0;
    double lastOwnPress_ = -1e300; // host seconds
    std::vector<Moment> samples_;
    std::vector<CursorSample> track_;
    CursorSampler cursorSampler_;
    ContentStep contentStep_;
    quint64 stepping_ = 0;    // the ticket of the content step that runs; 0: none
    quint64 stepTickets_ = 0; // tickets handed out
    int countdown_ = 0;
    int countdownLeft_ = 0;
    CaptureContent content_;
    QTimer countdownTimer_;
    double startTime_ = 0;
    // The take's clock, shared with the capture thread's sink and the sound
    // relays; a new one for every take.
    std::shared_ptr<TakeClock> clock_;
    QRectF captureBounds_;
    bool clicksConnected_ = false;
    bool clicksObserved_ = true;
    QMetaObject::Connection clickConnection_;
    // Shared with the capture thread's sink and the finishing worker; the
    // stream is stopped before the writer is finished or replaced.
    std::shared_ptr<VideoWriter> videoWriter_;
    std::unique_ptr<ScreenStream> stream_;
    SoundDevices* soundDevices_ = nullptr;
    SoundChoice soundChoice_;
    TakeSound takeSound_;
    QTimer levelTimer_;
    double microphoneLevel_ = 0;
    double desktopLevel_ = 0;
    // Finishing runs the writer's flush and the duration probe off the main thread.
    std::thread finisher_;
    // Bumped by every new take and by abandon(), so that a late result of an
    // abandoned take is ignored.
    quint64 generation_ = 0;
};

} // namespace orvane

Q_DECLARE_METATYPE(orvane::StartFailure)
Q_DECLARE_METATYPE(orvane::TakeResult)
