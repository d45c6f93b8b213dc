#pragma once

#include "Project.h"
#include "TakeLibrary.h"

#include "capture/CaptureBackend.h"
#include "capture/TakeRecorder.h"
#include "capture/WriterFactory.h"
#include "timeline/Moment.h"

#include <QObject>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

namespace orvane {

// The phases of a session.
enum class Phase { idle, recording, ready };

// The session model of the application: the recording phase and status over
// a TakeRecorder, and the open take as a Project (its files, edit state, look
// and export). With a library (setLibrary), every take goes into a folder of
// its own there, is saved as it is edited and can be opened again; the output
// folder (the Desktop) then shows the latest take's movie and clicks file.
// Without one, takes are written into the output folder as they always were.
//
// Lives on the main thread; all methods are main-thread only. It reaches the
// platform only through a CaptureBackend and writes movies through a
// WriterFactory; it owns neither, and both must outlive it.
class Recorder : public Project {
    Q_OBJECT
    Q_PROPERTY(orvane::Phase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(qint64 clickCount READ clickCount NOTIFY clickCountChanged)
    Q_PROPERTY(bool needsPermission READ needsPermission NOTIFY needsPermissionChanged)
    Q_PROPERTY(double microphoneLevel READ microphoneLevel NOTIFY soundLevelsChanged)
    Q_PROPERTY(double desktopLevel READ desktopLevel NOTIFY soundLevelsChanged)

public:
    static constexpr const char* kMovieName = TakeRecorder::kMovieName;
    static constexpr const char* kClicksName = TakeRecorder::kClicksName;
    static constexpr const char* kTrackName = TakeRecorder::kTrackName;
    static constexpr const char* kJournalName = TakeRecorder::kJournalName;
    static constexpr double kMaxSide = TakeRecorder::kMaxSide;
    static constexpr int kCursorRate = TakeRecorder::kCursorRate;
    static constexpr double kOwnPressWindow = TakeRecorder::kOwnPressWindow;
    static constexpr int kLevelRate = TakeRecorder::kLevelRate;

    Recorder(CaptureBackend& backend, WriterFactory& writers, QObject* parent = nullptr);
    ~Recorder() override;

    // --- Published session state ------------------------------------------------
    Phase phase() const { return phase_; }
    qint64 clickCount() const { return clickCount_; }
    bool needsPermission() const { return needsPermission_; }

    // --- The library ------------------------------------------------------------------
    // Where takes are kept (not owned; must outlive the Recorder). Null, the
    // default: takes go into the output folder, each replacing the last.
    void setLibrary(TakeLibrary* library) { library_ = library; }
    TakeLibrary* library() const { return library_; }
    // Opens the take in `folder` (of the library, or any take folder) with its
    // saved edits, as a ready take. False, with the status saying why and the
    // open take left as it was, when it cannot be opened or a take records.
    bool openTake(const QString& folder);
    // Moves `folder`'s take to the Trash; when it is the open take, the
    // session returns to idle. The Desktop's movie goes with it when it is
    // that take's.
    bool trashTake(const QString& folder);

    // --- Unpublished take state -------------------------------------------------
    const std::vector<Moment>& samples() const { return take_.samples(); } // clicks while recording
    double startTime() const { return take_.startTime(); } // host seconds at content choice
    QRectF captureBounds() const { return take_.captureBounds(); }
    QRectF areaNow() const { return take_.areaNow(); }
    WriterCounts writerCounts() const { return take_.writerCounts(); }
    StreamEnd streamEnd() const { return take_.streamEnd(); }
    std::optional<Error> writerFailure() const { return take_.writerFailure(); }
    // Where the Desktop's files go (empty when no folder can be formed).
    QString outputFolder() const;
    // The folder the current or last take was recorded into.
    QString recordingFolder() const { return take_.takeFolder(); }

    // --- Sound ------------------------------------------------------------------------
    void setSoundDevices(SoundDevices* devices) { take_.setSoundDevices(devices); }
    SoundDevices* soundDevices() const { return take_.soundDevices(); }
    SoundChoice soundChoice() const { return take_.soundChoice(); }
    void setSoundChoice(const SoundChoice& choice) { take_.setSoundChoice(choice); }
    double microphoneLevel() const { return take_.microphoneLevel(); }
    double desktopLevel() const { return take_.desktopLevel(); }
    bool recordsSound(SoundKind kind) const { return take_.recordsSound(kind); }
    QStringList soundNotes() const { return take_.soundNotes(); }

    // --- Session flows --------------------------------------------------------------
    // Checks input access and opens the content picker. The open take stays
    // as it is until content is chosen.
    void start();
    // Ends the take: stops clicks, cursor and stream, then finishes the movie
    // asynchronously; `phase` becomes ready (or idle without frames).
    void stop();
    // Throws the take away and returns to idle: with a library its folder goes
    // to the Trash; without one the movie is deleted and the clicks file kept.
    // The look settings stay.
    void discard();
    // Content chosen in the picker (connected to the picker's signal).
    void beginCapture(const CaptureContent& content);
    // Seconds counted down between the choice and the take (0: none).
    void setCountdown(int seconds) { take_.setCountdown(seconds); }
    int countdown() const { return take_.countdown(); }
    // Whether a countdown runs now, and how many seconds are left of it.
    bool countingDown() const { return take_.state() == TakeRecorder::State::CountingDown; }
    int countdownLeft() const { return take_.countdownLeft(); }
    // A step between the choice of content and the countdown (see
    // TakeRecorder::setContentStep).
    void setContentStep(TakeRecorder::ContentStep step) { take_.setContentStep(std::move(step)); }
    // Stops a running countdown; the open take stays as it was.
    void cancelCountdown();
    // Pauses or resumes the take that records (see TakeRecorder::pause).
    void pause();
    void resume();
    void togglePause() { paused() ? resume() : pause(); }
    bool paused() const { return take_.paused(); }
    // Take seconds so far (standing still while paused; 0 while idle).
    double takeTime() const { return take_.takeTime(); }
    // What the current take records (valid from contentChosen on).
    const CaptureContent& recordedContent() const { return recordedContent_; }
    // The first failure to write the last take's clicks file or track file.
    std::optional<Error> takeFilesError() const { return takeFilesError_; }
    void noteOwnPress() { take_.noteOwnPress(); }
    // Opens a take that was interrupted (the program was killed, the power
    // went) from its journal, as a ready take: the library's newest such take,
    // or without a library the one in the output folder. False when there is
    // none, or it cannot be opened (the status says why).
    bool recoverInterruptedTake();

signals:
    void phaseChanged();
    void clickCountChanged();
    void needsPermissionChanged();
    void soundChoiceChanged();
    void soundLevelsChanged();
    // The take finished (ready or idle). For callers that wait on a take.
    void takeFinished(bool ready);
    // Content was chosen: a countdown or the take follows (see recordedContent).
    void contentChosen();
    void countdownTick(int secondsLeft);
    void countdownEnded(bool cancelled);
    void pausedChanged(bool paused);

protected:
    bool takeReady() const override { return phase_ == Phase::ready; }

private:
    void setPhase(Phase p);
    void setNeedsPermission(bool v);
    void setClickCount(qint64 n);
    void captureBegun();
    void recordingStarted();
    void startFailed(const StartFailure& failure);
    void takeDone(const TakeResult& result);
    bool recoverFrom(const QString& folder);
    // Moves `folder` to the Trash (and the Desktop's movie with it when it is
    // that take's); false with the status saying why.
    bool moveFolderToTrash(const QString& folder);
    std::optional<MovieProbe> probeMovie(const QString& path) const;
    Result<QString> makeTakeFolder();
    void writePreliminaryProject();

    CaptureBackend& backend_;
    WriterFactory& writers_;
    TakeLibrary* library_ = nullptr;
    TakeRecorder take_;
    Phase phase_ = Phase::idle;
    qint64 clickCount_ = 0;
    bool needsPermission_ = false;
    std::optional<Error> takeFilesError_;
    QDateTime takeStartedAt_;
    CaptureContent recordedContent_;
    bool countedDown_ = false; // contentChosen was said at the countdown's start
};

} // namespace orvane

Q_DECLARE_METATYPE(orvane::Phase)
