#include "RecordingControls.h"

#include "CountdownOverlay.h"
#include "RecordingBar.h"

#include "app/Recorder.h"
#include "capture/GlobalShortcut.h"
#include "ui/Symbols.h"
#include "ui/TransportRules.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QStorageInfo>
#include <QSystemTrayIcon>

#include <cmath>
#include <limits>

namespace orvane {

RecordingControls::RecordingControls(Recorder& recorder, GlobalShortcut* shortcut, QObject* parent)
    : QObject(parent), rec_(recorder), shortcut_(shortcut), bar_(std::make_unique<RecordingBar>()),
      overlay_(std::make_unique<CountdownOverlay>()), menu_(std::make_unique<QMenu>()) {
    // The desktop draws the status icon's menu: the press that chose an item
    // reached the take's click tap too, a moment ago.
    stopAction_ = menu_->addAction(QStringLiteral("Stop Recording"), this, [this] {
        rec_.noteOwnPress();
        rec_.stop();
    });
    pauseAction_ = menu_->addAction(QStringLiteral("Pause"), this, [this] {
        rec_.noteOwnPress();
        rec_.togglePause();
    });
    menu_->addAction(QStringLiteral("Discard…"), this, &RecordingControls::discardRequested);
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("Quit Orvane…"), this, &RecordingControls::quitRequested);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = std::make_unique<QSystemTrayIcon>(ui::symbol(QStringLiteral("record.circle")));
        tray_->setContextMenu(menu_.get());
        tray_->setToolTip(QStringLiteral("Orvane"));
        // A click on the icon itself stops the take, as the bar's Stop does.
        connect(tray_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger && rec_.phase() == Phase::recording) {
                        rec_.noteOwnPress();
                        rec_.stop();
                    }
                });
    }

    connect(bar_.get(), &RecordingBar::stopClicked, this, [this] { rec_.stop(); });
    connect(bar_.get(), &RecordingBar::pauseClicked, this, [this] { rec_.togglePause(); });
    connect(bar_.get(), &RecordingBar::hideClicked, this, [this] {
        barHiddenByUser_ = true;
        bar_->hide();
    });
    connect(overlay_.get(), &CountdownOverlay::cancelled, this, [this] { rec_.cancelCountdown(); });

    connect(&rec_, &Recorder::contentChosen, this, &RecordingControls::contentChosen);
    connect(&rec_, &Recorder::countdownTick, this, [this](int left) { overlay_->setSecondsLeft(left); });
    connect(&rec_, &Recorder::countdownEnded, this, [this](bool cancelled) {
        if (cancelled) {
            overlay_->hide();
        }
    });
    connect(&rec_, &Recorder::phaseChanged, this, &RecordingControls::phaseChanged);
    connect(&rec_, &Recorder::pausedChanged, this, &RecordingControls::refresh);
    tick_.setInterval(250);
    connect(&tick_, &QTimer::timeout, this, &RecordingControls::refresh);
    diskTimer_.setInterval(2000);
    connect(&diskTimer_, &QTimer::timeout, this, &RecordingControls::checkDisk);
    if (shortcut_ != nullptr) {
        connect(shortcut_, &GlobalShortcut::activated, this, &RecordingControls::shortcutPressed);
        connect(shortcut_, &GlobalShortcut::problemChanged, this, [this] {
            if (!settings_.shortcut.isEmpty()) {
                shortcutProblem_ = shortcut_->problem();
                emit shortcutProblemChanged();
            }
        });
    }
    setSettings(RecordingSettings{});
}

RecordingControls::~RecordingControls() = default;

bool RecordingControls::hasStatusIcon() const {
    return tray_ != nullptr;
}

void RecordingControls::setSettings(const RecordingSettings& settings) {
    const bool keysChanged = !keysApplied_ || settings.shortcut != settings_.shortcut;
    keysApplied_ = true;
    settings_ = settings;
    rec_.setCountdown(settings_.countdown);
    if (shortcut_ == nullptr) {
        shortcutProblem_ = QStringLiteral("This desktop offers Orvane no global shortcut: stop a "
                                          "take from the status icon or the recording bar");
    } else if (keysChanged) {
        shortcut_->setKeys(settings_.shortcut);
        // Where the desktop answers later, the problem says so until it has.
        shortcutProblem_ = shortcut_->problem();
    }
    if (rec_.phase() == Phase::recording) {
        showBar();
    }
}

void RecordingControls::contentChosen() {
    const CaptureContent& c = rec_.recordedContent();
    // Where what is recorded is on the screen: the capture space is the
    // desktop's own on X11; elsewhere (a portal stream) the primary screen
    // stands for it.
    QRect area = c.area.toAlignedRect();
    if (c.kind == CaptureContent::Kind::Display && !c.region.isEmpty()) {
        area = QRect(area.topLeft() + c.region.topLeft(), c.region.size());
    }
    if (area.isEmpty() || QGuiApplication::screenAt(area.center()) == nullptr) {
        area = QGuiApplication::primaryScreen()->geometry();
    }
    if (rec_.countingDown()) {
        overlay_->showOver(area, rec_.countdownLeft());
    }
    bar_->placeAwayFrom(area);
}

void RecordingControls::showBar() {
    // Where there is no status icon the bar holds the only controls.
    const bool wanted = !hasStatusIcon() || (settings_.showBar && !barHiddenByUser_);
    bar_->setCanHide(hasStatusIcon());
    if (wanted) {
        bar_->show();
        bar_->raise();
    } else {
        bar_->hide();
    }
}

void RecordingControls::phaseChanged() {
    const bool recording = rec_.phase() == Phase::recording;
    if (recording) {
        barHiddenByUser_ = false;
        bar_->setDiskNote(QString());
        showBar();
        if (tray_) {
            tray_->show();
        }
        tick_.start();
        diskTimer_.start();
    } else {
        tick_.stop();
        diskTimer_.stop();
        bar_->hide();
        overlay_->hide();
        if (tray_) {
            tray_->hide();
        }
    }
    refresh();
}

void RecordingControls::refresh() {
    const bool paused = rec_.paused();
    const double t = rec_.takeTime();
    bar_->setElapsed(t);
    bar_->setPaused(paused);
    pauseAction_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    const bool recording = rec_.phase() == Phase::recording;
    pauseAction_->setEnabled(recording);
    stopAction_->setEnabled(recording);
    if (tray_) {
        tray_->setToolTip(QStringLiteral("Orvane — %1 %2")
                              .arg(paused ? QStringLiteral("Paused at") : QStringLiteral("Recording"),
                                   TransportRules::mmss(std::floor(t))));
    }
}

double RecordingControls::secondsLeft(qint64 available, qint64 written, double takeSeconds) {
    if (written <= 0 || !(takeSeconds > 0)) {
        return std::numeric_limits<double>::infinity();
    }
    const double rate = static_cast<double>(written) / takeSeconds; // bytes per second
    return static_cast<double>(std::max<qint64>(available, 0)) / rate;
}

QString RecordingControls::diskNote(double secondsLeft) {
    if (!(secondsLeft < kWarnSeconds)) {
        return {};
    }
    const int minutes = static_cast<int>(std::ceil(secondsLeft / 60));
    return minutes <= 1 ? QStringLiteral("Less than a minute left on the disk")
                        : QStringLiteral("About %1 min left on the disk").arg(minutes);
}

void RecordingControls::checkDisk() {
    if (rec_.phase() != Phase::recording) {
        return;
    }
    const QString movie = rec_.videoURL();
    const QFileInfo info(movie);
    QStorageInfo storage(info.absolutePath());
    if (!storage.isValid()) {
        return;
    }
    const qint64 available = storage.bytesAvailable();
    const double takeSeconds = rec_.takeTime();
    const double left = secondsLeft(available, info.size(), takeSeconds);
    bar_->setDiskNote(diskNote(left));
    const double rate = takeSeconds > 0 ? static_cast<double>(info.size()) / takeSeconds : 0.0;
    if (available < kStopBytes || (std::isfinite(left) && static_cast<double>(available) < rate * kStopSeconds)) {
        rec_.stop();
        emit stoppedForDisk();
    }
}

void RecordingControls::shortcutPressed() {
    if (rec_.phase() == Phase::recording) {
        rec_.stop();
    } else if (rec_.countingDown()) {
        rec_.cancelCountdown();
    } else {
        emit startRequested();
    }
}

} // namespace orvane
