#pragma once

#include "ProjectFile.h"
#include "TakeFiles.h"

#include "editing/EditModel.h"
#include "ExportController.h"

#include "render/export/ExportJob.h"
#include "timeline/Look.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

namespace orvane {

// What the current status text reports, for a window that reacts to outcomes
// without reading the words.
enum class StatusKind {
    Plain,             // guidance and progress ("Recording… click around, then Stop")
    NeedsPermission,   // input access is missing
    StartFailed,       // the picker, the writer or the stream could not start
    TakeReady,         // a take finished normally ("Done — …")
    TakeWithoutClicks, // a take finished, but clicks could not be observed: it says why
    TakeEnded,         // the source went away mid-take; the take was finished with what it had
    NoFrames,          // the take ended without a usable movie
    ExportDone,
    ExportFailed,
    OpenFailed,        // a take of the library could not be opened, renamed or trashed
    OpenedWithNote,    // a take opened, with something to know (its damaged project was kept aside)
};

// The document: one take's files, its edit state (EditModel), its look and
// its export. The edits are saved into the take's project file within a
// second of each change (never in the middle of a drag: see
// EditModel::gestureActive()), and reopening the take gives them back as they
// were. The Recorder adds the recording session on top.
//
// Lives on the main thread; every method is main-thread only. Published
// properties emit *Changed on every change.
class Project : public EditModel {
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString videoURL READ videoURL NOTIFY videoURLChanged)
    Q_PROPERTY(double motionBlur READ motionBlur WRITE setMotionBlur NOTIFY motionBlurChanged)
    Q_PROPERTY(double bgBlur READ bgBlur WRITE setBgBlur NOTIFY bgBlurChanged)
    Q_PROPERTY(double padding READ padding WRITE setPadding NOTIFY paddingChanged)
    Q_PROPERTY(double cornerRadius READ cornerRadius WRITE setCornerRadius NOTIFY cornerRadiusChanged)
    Q_PROPERTY(int background READ background WRITE setBackground NOTIFY backgroundChanged)
    Q_PROPERTY(int formatIndex READ formatIndex WRITE setFormatIndex NOTIFY formatIndexChanged)
    Q_PROPERTY(bool exporting READ exporting NOTIFY exportingChanged)
    Q_PROPERTY(double exportProgress READ exportProgress NOTIFY exportProgressChanged)
    Q_PROPERTY(int videoW READ videoW NOTIFY videoWChanged)
    Q_PROPERTY(int videoH READ videoH NOTIFY videoHChanged)

public:
    // Edits are saved this long after the first unsaved one (milliseconds).
    static constexpr int kSaveDelayMs = 300;

    explicit Project(QObject* parent = nullptr);
    ~Project() override;

    // --- Status -----------------------------------------------------------------------
    QString status() const { return status_; }
    StatusKind statusKind() const { return statusKind_; }

    // --- The take ---------------------------------------------------------------------
    QString videoURL() const { return videoURL_; } // empty when there is no movie
    int videoW() const { return videoW_; }         // pixels
    int videoH() const { return videoH_; }
    // The folder of the open take; empty when its edits are not kept anywhere.
    QString takeFolder() const { return takeFolder_; }
    // The open take's name in the library.
    QString takeName() const { return QString::fromStdString(saved_.name); }
    // Renames the open take (its project file); false with the status saying why.
    bool renameTake(const QString& name);

    // --- Look ---------------------------------------------------------------------------
    double motionBlur() const { return look_.motionBlur; }
    double bgBlur() const { return look_.bgBlur; }
    double padding() const { return look_.padding; }           // fraction of the shorter output side
    double cornerRadius() const { return look_.cornerRadius; } // per 640 output pixels
    int background() const { return look_.background; }
    int formatIndex() const { return look_.formatIndex; }
    void setMotionBlur(double v);
    void setBgBlur(double v);
    void setPadding(double v);
    void setCornerRadius(double v);
    void setBackground(int index);
    void setFormatIndex(int index);
    // The whole look as the preview and the export draw it (the zoom level and
    // smoothness and the sound mix are the edit state's).
    Look look() const;
    // Sets every field of the look, the edit state's part included.
    void setLook(const Look& look);

    // --- Saving -------------------------------------------------------------------------
    // The project file's content for the edit state as it is now.
    ProjectState projectState() const;
    // Writes the project file now when the edit state differs from what was
    // last saved. Nothing without a take folder.
    Result<void> save();
    // The last save's failure; nothing once a save succeeds.
    std::optional<Error> saveError() const { return saveError_; }
    // How many times the project file was written (for tests of the saving).
    int saveCount() const { return saveCount_; }

    // --- Export -------------------------------------------------------------------------
    bool exporting() const { return exporting_; }
    double exportProgress() const { return exportProgress_; } // 0...1
    // Exports the take to `path` (an MP4 file), when there is a movie, the take
    // is ready and no export runs; otherwise does nothing. Snapshots the
    // timeline and the look, then runs the export on worker threads:
    // `exporting` is true and `exportProgress` rises until the result arrives,
    // which sets `status` to "Exported ✓  " and the file name (followed by
    // " (the recording ends early at 8.2 s)" when a damaged recording was
    // exported up to where it could be read), or to "Export failed: " and the
    // reason (status kinds ExportDone and ExportFailed). Returns at once.
    void exportTo(const QString& path);
    // The export job for the take as it is now: what exportTo() runs and what
    // orvane-render --project runs for the same project.
    ExportJob exportJob(const QString& path) const;

signals:
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
    // An export ended well: `path` is the file (the window shows it in the
    // file manager).
    void exported(const QString& path);
    // The open take changed (opened, recorded, closed).
    void takeChanged();
    // The project file was written.
    void saved();

protected:
    void setStatus(const QString& text, StatusKind kind = StatusKind::Plain);
    void setVideoURL(const QString& path);
    void setVideoSize(int w, int h);
    // Whether the take is ready for export (the Recorder's phase).
    virtual bool takeReady() const = 0;
    // Makes `take` the open take: its files, its edits (or zooms made afresh
    // from its clicks), nothing to undo. Edits are saved into its folder from
    // now on.
    void adoptTake(const OpenedTake& take);
    // Edits are no longer saved anywhere (a pending save is written first).
    void detachTake();
    // The project as last saved (or as read).
    const ProjectState& savedState() const { return saved_; }
    void setSavedState(const ProjectState& state) { saved_ = state; }

private:
    void scheduleSave();
    void saveWhenIdle();
    void exportProgressed(double fraction);
    void exportFinished(bool ok, const QString& path, const QString& detail);

    QString status_ = QStringLiteral("Ready");
    StatusKind statusKind_ = StatusKind::Plain;
    QString videoURL_;
    int videoW_ = 1920;
    int videoH_ = 1200;
    Look look_; // the composition panel's part; zoom, smoothness and the mix live in EditModel
    QString takeFolder_;
    ProjectState saved_;
    QTimer saveTimer_;
    std::optional<Error> saveError_;
    int saveCount_ = 0;
    bool exporting_ = false;
    double exportProgress_ = 0;
    // Declared last so it is destroyed first: its destructor cancels a running
    // export and joins its threads while the rest of the object still exists.
    ExportController export_;
};

} // namespace orvane
