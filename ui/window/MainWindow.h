#pragma once

#include "app/Recorder.h"

#include <QFileSystemWatcher>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCloseEvent;
class QLabel;
class QStackedWidget;
class QPushButton;

namespace orvane {

namespace ui {
class MoviePlayer;
}
class CaptureBackend;
class EmptyState;
class InspectorRail;
class Permissions;
class PermissionsOnboarding;
class RecordingControls;
class RecordingOptions;
class RegionSelector;
class TakeListView;
class ThumbnailCache;
class TimelineBar;
class TitleBar;
class Updater;
class WaveformLoader;
class ZoomHostView;

// The one window of Orvane: a borderless dark window with its own title bar,
// the empty state while idle or recording and the editor once a take is ready
// (stage with the live preview, transport, time read-out and timeline bar; the
// inspector rail). It owns the Recorder and the player of the ready take and
// turns the user's actions into the Recorder's operations. Main thread only.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kDefaultSize{1400, 880};
    static constexpr QSize kMinimumSize{980, 620};

    MainWindow(CaptureBackend& backend, WriterFactory& writers, QWidget* parent = nullptr);
    ~MainWindow() override;

    Recorder& recorder() { return rec_; }
    // The sound server takes record from (not owned; must outlive the window;
    // null: none). Fills the microphone's device menu with its inputs.
    void setSoundDevices(SoundDevices* devices);
    QPushButton* splitButton() const { return splitButton_; }
    TitleBar* titleBar() const { return titleBar_; }
    EmptyState* emptyState() const { return empty_; }
    InspectorRail* rail() const { return rail_; }
    TimelineBar* timelineBar() const { return timelineBar_; }
    QLabel* timeReadout() const { return timeNow_; } // the current time, "0:00"
    QLabel* totalReadout() const { return timeTotal_; } // the output's length
    QPushButton* playButton() const { return playButton_; }
    ZoomHostView* preview() const { return preview_; }
    ui::MoviePlayer* player() const { return player_.get(); }
    bool isPlaying() const { return isPlaying_; }
    double currentTime() const { return currentTime_; }
    // Whether the editor (rather than the empty state) is showing.
    bool editorShown() const;

    // Actions of the window (buttons and shortcuts run these).
    void startOrStop();
    void discardRecording();
    void runExport();
    void exportTo(const QString& path);
    void togglePlay();
    void seekBy(double delta);
    void seekAndPause(double t);
    void addZoomAtPlayhead();
    void deleteSelection();
    // Splits the section under the playhead (key S).
    void splitAtPlayhead();

    void deselect();
    void showShortcuts();
    void confirmDiscard();
    void showOnboardingIfNeeded();
    // Where takes are kept (not owned; must outlive the window): the start
    // screen lists them, and every take is recorded into it.
    void setLibrary(TakeLibrary* library);
    TakeListView* takeList() const { return takeList_; }
    void refreshTakes();
    // Connects the update checker (none: the menu item stays greyed).
    void setUpdater(Updater* updater);
    // The last update-check answer shown, for tests.
    QString lastUpdateMessage() const { return updateMessage_; }
    // A take's controls away from the window (bar, status icon, shortcut).
    RecordingControls* recordingControls() const { return controls_.get(); }
    RecordingOptions* recordingOptions() const { return options_; }
    RegionSelector* regionSelector() const { return regionSelector_.get(); }
    // The question asked when the window is closed during a take; its
    // answers. Tests answer it through setCloseAnswer.
    enum class CloseAnswer { StopAndKeep, KeepRecording, Discard };
    static constexpr const char* kStopAndKeep = "Stop and keep the take";
    static constexpr const char* kKeepRecording = "Keep recording";
    static constexpr const char* kDiscard = "Discard";
    // Answers the next close-during-a-take question without showing it.
    void setCloseAnswer(CloseAnswer answer) { closeAnswer_ = answer; }

    // The file name shown for the take: the movie's file name, or "Recording".
    static QString takeName(const QString& moviePath);
    // The movie's size in decimal units ("12.3 MB"), or nothing when unknown.
    static QString fileSizeString(const QString& path);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Sees every press on the application's windows, so that a press on our
    // own window is not recorded as a click of the take.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Out of the shot: the window goes when a display take is chosen and
    // comes back, raised, when the take ends (or never starts).
    void stepAsideForTake();
    void comeBackAfterTake();
    CloseAnswer askAboutClosing();
    // With "Record a region" on, a chosen display is shown under the region
    // overlay, and the take records the rectangle dragged there.
    void chooseRegion(const CaptureContent& display, std::function<void(const CaptureContent&)> proceed,
                      std::function<void()> cancel);
    void buildEditor();
    void installShortcuts();
    void phaseChanged();
    void createPlayer();
    void dropPlayer();
    void pushPreviewSettings();
    void pushTimelineInputs();
    // The sound strip of the timeline bar, mixed at the current volumes.
    void pushWaveform();
    void updateTimeReadout();
    void updateTitle();
    void onPlayerTime(double t);
    // Sets the window's playing flag and the play/pause button that shows it.
    void setPlaying(bool playing);
    Qt::Edges edgesAt(QPoint pos) const;

    Recorder rec_;
    std::unique_ptr<Permissions> perms_;
    std::unique_ptr<ThumbnailCache> thumbnails_;
    TakeListView* takeList_ = nullptr;
    QFileSystemWatcher libraryWatch_; // the library's folder, for takes made elsewhere
    QTimer libraryRefresh_;
    bool gestureHeld_ = false; // a mouse button is down in the editor
    TitleBar* titleBar_;
    QStackedWidget* body_;
    EmptyState* empty_;
    QWidget* editor_;
    QWidget* stage_;
    QWidget* stagePlaceholder_;
    ZoomHostView* preview_ = nullptr; // child of stage_, made with the player
    QPushButton* playButton_ = nullptr;
    QPushButton* splitButton_ = nullptr;
    QLabel* timeNow_ = nullptr;
    QLabel* timeTotal_ = nullptr;
    TimelineBar* timelineBar_ = nullptr;
    WaveformLoader* waveform_ = nullptr; // the take's sound outline, made off the main thread
    InspectorRail* rail_ = nullptr;
    PermissionsOnboarding* onboarding_ = nullptr;
    std::unique_ptr<ui::MoviePlayer> player_;
    bool isPlaying_ = false;
    bool soundUnavailableSaid_ = false; // the title bar said the take's sound cannot be heard
    double currentTime_ = 0;
    QString lastStatus_;
    Updater* updater_ = nullptr;
    QString updateMessage_;
    std::unique_ptr<RecordingControls> controls_;
    RecordingOptions* options_ = nullptr;
    std::unique_ptr<RegionSelector> regionSelector_;
    bool steppedAside_ = false;   // hidden for the take that records
    bool closeAfterTake_ = false; // closing waits for the stopped take to finish
    std::optional<CloseAnswer> closeAnswer_;
};

} // namespace orvane
