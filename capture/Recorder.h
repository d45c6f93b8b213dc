#pragma once

#include "CaptureBackend.h"
#include "CaptureContent.h"
#include "CursorSampler.h"
#include "SoundChoice.h"
#include "SoundSource.h"
#include "TakeSound.h"
#include "TakeJournalWriter.h"
#include "WriterFactory.h"

#include "editing/EditModel.h"
#include "render/Look.h"
#include "render/export/ExportWorker.h"
#include "timeline/Moment.h"

#include <QObject>
#include <QRectF>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace orvane {

// The phases of a session.
enum class Phase { idle, recording, ready };

// What the current status text reports, for a window that reacts to outcomes
// without reading the words.
enum class StatusKind {
    Plain,           // guidance and progress ("Recording… click around, then Stop")
    NeedsPermission, // input access is missing
    StartFailed,     // the picker, the writer or the stream could not start
    TakeReady,       // a take finished normally ("Done — …")
    TakeWithoutClicks, // a take finished, but clicks could not be observed: it says why
    TakeEnded,       // the source went away mid-take; the take was finished with what it had
    NoFrames,        // the take ended without a usable movie
    ExportDone,
    ExportFailed,
};

// The session model of the application: the recording phase and status, the
// take (movie, clicks, cursor track, video size, duration), the edit state it
// inherits from EditModel and the look settings. Lives on the main thread; all
// methods are main-thread only. Published properties emit *Changed on every
// change. It reaches the platform only through a CaptureBackend and writes
// movies through a WriterFactory; it owns neither, and both must outlive it.
class Recorder : public EditModel {
    Q_OBJECT
    // Published properties, in declaration order.
    Q_PROPERTY(orvane::Phase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(qint64 clickCount READ clickCount NOTIFY clickCountChanged)
    Q_PROPERTY(bool needsPermission READ needsPermission NOTIFY needsPermissionChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString videoURL READ videoURL NOTIFY videoURLChanged)
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
    Q_PROPERTY(double zoom READ zoom WRITE setZoom NOTIFY zoomChanged)
    Q_PROPERTY(double smoothness READ smoothness WRITE setSmoothness NOTIFY smoothnessChanged)
    Q_PROPERTY(double zoomMerge READ zoomMerge WRITE setZoomMerge NOTIFY zoomMergeChanged)
    Q_PROPERTY(double motionBlur READ motionBlur WRITE setMotionBlur NOTIFY motionBlurChanged)
    Q_PROPERTY(double bgBlur READ bgBlur WRITE setBgBlur NOTIFY bgBlurChanged)
    Q_PROPERTY(double padding READ padding WRITE setPadding NOTIFY paddingChanged)
    Q_PROPERTY(double cornerRadius READ cornerRadius WRITE setCornerRadius NOTIFY cornerRadiusChanged)
    Q_PROPERTY(int background READ background WRITE setBackground NOTIFY backgroundChanged)
    Q_PROPERTY(int formatIndex READ formatIndex WRITE setFormatIndex NOTIFY formatIndexChanged)
    Q_PROPERTY(bool exporting READ exporting NOTIFY exportingChanged)
    Q_PROPERTY(double exportProgress READ exportProgress NOTIFY exportProgressChanged)
    Q_PROPERTY(bool videoSelected READ videoSelected WRITE setVideoSelected NOTIFY videoSelectedChanged)
    Q_PROPERTY(double trimStart READ trimStart WRITE setTrimStart NOTIFY trimStartChanged)
    Q_PROPERTY(double trimEnd READ trimEnd WRITE setTrimEnd NOTIFY trimEndChanged)
    Q_PROPERTY(int videoW READ videoW NOTIFY videoWChanged)
    Q_PROPERTY(int videoH READ videoH NOTIFY videoHChanged)
    Q_PROPERTY(double microphoneLevel READ microphoneLevel NOTIFY soundLevelsChanged)
    Q_PROPERTY(double desktopLevel READ desktopLevel NOTIFY soundLevelsChanged)

public:
    // File names of a take, in the output folder; each take replaces the last.
    static constexpr const char* kMovieName = "orvane-recording.mov";
    static constexpr const char* kClicksName = "quilbo-clicks.json";
    // Kept beside the movie while a take records; see timeline/TakeJournal.h.
    static constexpr const char* kJournalName = "orvane-take.journal";
    // Longest side of a recording, in pixels.
    static constexpr double kMaxSide = 3840;
    // Cursor samples per second while recording.
    static constexpr int kCursorRate = 60;

    Recorder(CaptureBackend& backend, WriterFactory& writers, QObject* parent = nullptr);
    ~Recorder() override;

    // --- Published session state ------------------------------------------------
    Phase phase() const { return phase_; }
    qint64 clickCount() const { return clickCount_; }
    bool needsPermission() const { return needsPermission_; }
    QString status() const { return status_; }
    // What the status reports; changes together with it (statusChanged).
    StatusKind statusKind() const { return statusKind_; }
    QString videoURL() const { return videoURL_; } // empty when there is no movie
    double motionBlur() const { return look_.motionBlur; }
    double bgBlur() const { return look_.bgBlur; }
    double padding() const { return look_.padding; }           // fraction of the shorter output side
    double cornerRadius() const { return look_.cornerRadius; } // per 640 output pixels
    int background() const { return look_.background; }
    int formatIndex() const { return look_.formatIndex; }
    // The whole look as the preview and the export draw it (the zoom level and
    // smoothness and the sound mix are the edit state's).
    Look look() const;
    bool exporting() const { return exporting_; }
    double exportProgress() const { return exportProgress_; } // 0...1
    int videoW() const { return videoW_; } // pixels
    int videoH() const { return videoH_; }

    void setMotionBlur(double v);
    void setBgBlur(double v);
    void setPadding(double v);
    void setCornerRadius(double v);
    void setBackground(int index);
    void setFormatIndex(int index);

    // --- Unpublished take state -------------------------------------------------
    const std::vector<Moment>& samples() const { return samples_; } // clicks while recording
    double startTime() const { return startTime_; }    // host seconds at content choice
    QRectF captureBounds() const { return captureBounds_; }
    // What the picture shows now, in capture coordinates: the chosen area, or
    // where a window that moved or was resized mid-take is now (with the
    // black bars a change of shape fits it into). Clicks and cursor samples
    // are normalised against it.
    QRectF areaNow() const;
    // Frames offered to, written by and dropped before the movie writer of the
    // current take (zero without a writer).
    WriterCounts writerCounts() const;
    // How the current or last take's stream ended (Running while it records,
    // Stopped after Stop; SourceGone or DisplayLost when it ended by itself).
    StreamEnd streamEnd() const { return streamEnd_; }
    // The write error that stopped the current or last take early (a full
    // disk, say); nothing when the movie was written to the end.
    std::optional<Error> writerFailure() const { return writerFailure_; }
    // Where the take's files go (empty when no folder can be formed).
    QString outputFolder() const;

    // --- Sound ------------------------------------------------------------------------
    // The sound server takes are recorded from (not owned; must outlive the
    // Recorder). Null, the default: no server is known, and a take that asks
    // for sound records without it and says so.
    void setSoundDevices(SoundDevices* devices) { soundDevices_ = devices; }
    SoundDevices* soundDevices() const { return soundDevices_; }
    // Which sources the next take records (both off by default). A take that
    // runs keeps the choice it started with.
    SoundChoice soundChoice() const { return soundChoice_; }
    void setSoundChoice(const SoundChoice& choice);
    // The loudest sample (0...1) of each source over the last moment, refreshed
    // kLevelRate times a second while a take records it; 0 otherwise.
    double microphoneLevel() const { return microphoneLevel_; }
    double desktopLevel() const { return desktopLevel_; }
    static constexpr int kLevelRate = 15; // per second
    // Whether the current take records `kind` now.
    bool recordsSound(SoundKind kind) const { return takeSound_.running(kind); }
    // What the current or last take could not record of its sound, as
    // sentences (also appended to the status after the take).
    QStringList soundNotes() const { return takeSound_.notes(); }

    // --- Session flows --------------------------------------------------------------
    // Checks input access and opens the content picker.
    void start();
    // Ends the take: stops clicks, cursor and stream, then finishes the movie
    // asynchronously; `phase` becomes ready (or idle without frames).
    void stop();
    // Throws the take away (the movie is deleted, the clicks file kept) and
    // returns to idle. The look settings stay.
    void discard();
    // Content chosen in the picker (connected to the picker's signal).
    void beginCapture(const CaptureContent& content);
    // Writes the clicks sidecar beside the movie, replacing the previous one
    // (written beside and renamed into place).
    Result<void> writeClicksJSON();
    // Where a finished take's cursor track is also written as CSV (t,x,y,pointer);
    // empty (the default) writes none.
    void setTrackFile(const QString& path) { trackFile_ = path; }
    // The first failure to write the last take's clicks file or track file,
    // naming the file; the take's journal is kept when there is one.
    std::optional<Error> takeFilesError() const { return takeFilesError_; }
    // A press landed on one of Orvane's own windows just now. A click recorded
    // within kOwnPressWindow of it is the same press seen globally (the Stop
    // button, say, while a display is recorded): it is not part of the take.
    void noteOwnPress();
    static constexpr double kOwnPressWindow = 0.3; // seconds
    // Opens a take that was interrupted (the program was killed, the power went)
    // from the journal and the movie it left in the output folder, as a ready
    // take. False when there is none, or it cannot be opened (the status says why).
    bool recoverInterruptedTake();

signals:
    void phaseChanged();
    void clickCountChanged();
    void needsPermissionChanged();
    void statusChanged();
    void videoURLChanged();
    void motionBlurChanged();
    void bgBlurChanged();
    void paddingChanged();
    void cornerRadiusChanged();
    void backgroundChanged();
    void formatIndexChanged();
    void exportingChanged();
    void exportProgressChanged();
    void videoWChanged();
    void videoHChanged();
    void soundChoiceChanged();
    void soundLevelsChanged();
    // The take finished (ready or idle). For callers that wait on a take.
    void takeFinished(bool ready);

protected:
    void setExporting(bool v);
    void setExportProgress(double v);
    void setStatus(const QString& text, StatusKind kind = StatusKind::Plain);

private:
    void setPhase(Phase p);
    void setClickCount(qint64 n);
    void setNeedsPermission(bool v);
    void setVideoURL(const QString& path);
    void setVideoSize(int w, int h);

    void pickerCancelled();
    void pickerFailed(const QString& description);
    void startCapture(const CaptureContent& content);
    void failStart(const QString& status);
    void streamEnded(quint64 generation, StreamEnd reason);
    void writerFailed(quint64 generation, const Error& error);
    void startClickTap();
    void stopClickTap();
    void recordClick(QPointF point, double hostTime);
    void startCursorSampler();
    void addCursorSample(quint64 generation, const CursorReading& reading, double hostTime);
    void finishWriting();
    void completeTake(bool written, std::optional<double> movieDuration);
    void openTake(double movieDuration);
    void stopStream();
    void startSound();
    void stopSound();
    void soundEnded(quint64 generation, SoundKind kind, double atSeconds);
    void refreshSoundLevels();
    void joinFinisher();
    void closeJournal();
    void journalClicks(double olderThan);
    void writeTakeFiles();
    QString journalPath() const;

    CaptureBackend& backend_;
    WriterFactory& writers_;

    Phase phase_ = Phase::idle;
    qint64 clickCount_ = 0;
    bool needsPermission_ = false;
    QString status_ = QStringLiteral("Ready");
    StatusKind statusKind_ = StatusKind::Plain;
    StreamEnd streamEnd_ = StreamEnd::Running;
    std::unique_ptr<TakeJournalWriter> journal_;
    // Clicks reach the journal once no press on our own window can take them
    // back: samples_[0, journaledClicks_) are in it.
    std::size_t journaledClicks_ = 0;
    double lastOwnPress_ = -1e300; // host seconds
    QString trackFile_;
    std::optional<Error> takeFilesError_;
    // The movie writer's error that stopped the current or last take.
    std::optional<Error> writerFailure_;
    QString videoURL_;
    Look look_; // the composition panel's part; zoom and smoothness live in EditModel
    bool exporting_ = false;
    double exportProgress_ = 0;
    int videoW_ = 1920;
    int videoH_ = 1200;
    std::vector<Moment> samples_;
    CursorSampler cursorSampler_;
    double startTime_ = 0;
    QRectF captureBounds_;
    bool clicksConnected_ = false;
    bool clicksObserved_ = true; // clicks could be observed during the current take
    QMetaObject::Connection clickConnection_;
    // The writer is shared with the capture thread's sink and the finishing
    // worker; the stream is stopped before the writer is finished or replaced.
    std::shared_ptr<VideoWriter> videoWriter_;
    std::unique_ptr<ScreenStream> stream_;
    // The take's sound sources; stopped before the writer is finished.
    SoundDevices* soundDevices_ = nullptr;
    SoundChoice soundChoice_;
    TakeSound takeSound_;
    QTimer levelTimer_;
    double microphoneLevel_ = 0;
    double desktopLevel_ = 0;
    // Finishing runs the writer's flush and the duration probe off the main thread.
    std::thread finisher_;
    bool finishing_ = false;
    // Bumped by every new take and by discard, so that a late result of an
    // abandoned take is ignored.
    quint64 takeGeneration_ = 0;

    // --- Export --------------------------------------------------------------------
    // Kept in one block: the export of the take to an MP4 file.
public:
    // Exports the take to `path` (an MP4 file), when there is a movie, the phase
    // is ready and no export runs; otherwise does nothing. Snapshots the
    // timeline and the look settings, then runs the export on worker threads:
    // `exporting` is true and `exportProgress` rises in whole-percent steps
    // until the result arrives, which sets `status` to "Exported ✓  " and the
    // file name (and shows the file in the file manager), followed by
    // " (the recording ends early at 8.2 s)" when a damaged recording was
    // exported up to where it could be read; or to "Export failed: " and the
    // reason (status kinds ExportDone and ExportFailed).
    // Returns at once. Main thread.
    void exportTo(const QString& path);

private:
    void exportProgressed(quint64 generation, double fraction);
    void exportFinished(quint64 generation, bool ok, const QString& path, const QString& detail);

    // Bumped by every export, so a report of an earlier one is never applied.
    quint64 exportGeneration_ = 0;
    // Declared last so it is destroyed first: its destructor cancels a running
    // export and joins its threads while the rest of the Recorder still exists.
    std::unique_ptr<ExportWorker> exportWorker_;
};

} // namespace orvane

Q_DECLARE_METATYPE(orvane::Phase)
