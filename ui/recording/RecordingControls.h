#pragma once

#include "app/RecordingSettings.h"

#include <QObject>
#include <QTimer>

#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace orvane {

class CountdownOverlay;
class GlobalShortcut;
class RecordingBar;
class Recorder;

// A take's controls away from the main window: the countdown overlay, the
// floating bar, the status icon (a StatusNotifierItem where the desktop
// hosts them) and the global shortcut, all following the Recorder. It also
// watches the disk while a take records: the bar says how long the disk
// lasts at the take's rate when that falls under ten minutes, and the take is
// stopped cleanly before the disk is full.
//
// What needs the window (starting a take with its picker, a confirmed
// discard, quitting) is asked for by signal. Main thread only.
class RecordingControls : public QObject {
    Q_OBJECT

public:
    // Below this much time left on the disk the bar says so.
    static constexpr double kWarnSeconds = 10 * 60;
    // The take stops when less than this is left (bytes), or less than
    // kStopSeconds at its rate, whichever is more.
    static constexpr qint64 kStopBytes = 64LL * 1024 * 1024;
    static constexpr double kStopSeconds = 10;

    // `shortcut`: the desktop's global shortcut (not owned; null: none).
    RecordingControls(Recorder& recorder, GlobalShortcut* shortcut, QObject* parent = nullptr);
    ~RecordingControls() override;

    void setSettings(const RecordingSettings& settings);
    const RecordingSettings& settings() const { return settings_; }
    // Why the shortcut does not work here, for the settings; empty when it does.
    QString shortcutProblem() const { return shortcutProblem_; }
    // Whether the desktop shows status icons (else the bar always shows).
    bool hasStatusIcon() const;

    RecordingBar* bar() const { return bar_.get(); }
    CountdownOverlay* overlay() const { return overlay_.get(); }
    QSystemTrayIcon* statusIcon() const { return tray_.get(); }

    // Disk space as a take sees it: how long `available` bytes last when
    // the movie grew by `written` bytes over `takeSeconds` (infinite before
    // anything was written).
    static double secondsLeft(qint64 available, qint64 written, double takeSeconds);
    // The bar's line for that ("About 4 min left on the disk"); empty above
    // kWarnSeconds.
    static QString diskNote(double secondsLeft);

signals:
    // The shortcut was pressed with no take: start one as Record Screen does.
    void startRequested();
    void discardRequested();
    void quitRequested();
    // The take was stopped because the disk was about to be full.
    void stoppedForDisk();
    // The desktop answered about the shortcut later (see shortcutProblem).
    void shortcutProblemChanged();

private:
    void contentChosen();
    void phaseChanged();
    void refresh();
    void checkDisk();
    void shortcutPressed();
    void showBar();

    Recorder& rec_;
    GlobalShortcut* shortcut_;
    RecordingSettings settings_;
    QString shortcutProblem_;
    std::unique_ptr<RecordingBar> bar_;
    std::unique_ptr<CountdownOverlay> overlay_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QAction* stopAction_ = nullptr;
    QAction* pauseAction_ = nullptr;
    QTimer tick_; // the time shown, four times a second
    QTimer diskTimer_;
    bool barHiddenByUser_ = false;
    bool keysApplied_ = false; // the shortcut was handed to the desktop once
};

} // namespace orvane
