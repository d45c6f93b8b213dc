#include "MainWindow.h"

#include "EmptyState.h"
#include "ui/FileReveal.h"
#include "ui/library/TakeListView.h"
#include "ui/library/ThumbnailCache.h"
#include "PermissionsOnboarding.h"
#include "SoundControls.h"
#include "TitleBar.h"

#include "capture/Permissions.h"
#include "capture/SoundChoice.h"
#include "ui/TimelineBar.h"
#include "ui/window/WaveformLoader.h"
#include "render/OutputGeometry.h"
#include "ui/CompositionPanel.h"
#include "ui/InspectorRail.h"
#include "ui/ShortcutsSheet.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/TransportRules.h"
#include "ui/player/MoviePlayer.h"
#include "ui/recording/RecordingControls.h"
#include "ui/recording/RecordingOptions.h"
#include "ui/recording/RegionSelector.h"
#include "capture/ContentRegion.h"
#include "ui/preview/ZoomHostView.h"
#include "ui/update/Updater.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QPointer>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QWindow>

#include <cmath>

namespace orvane {

using ui::symbol;

namespace {
constexpr int kResizeBorder = 6; // points along the edges that resize the window
} // namespace

MainWindow::MainWindow(CaptureBackend& backend, WriterFactory& writers, QWidget* parent)
    : QWidget(parent), rec_(backend, writers) {
    setWindowTitle(QStringLiteral("Orvane"));
    setWindowFlag(Qt::FramelessWindowHint);
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);
    setMouseTracking(true);
    setAutoFillBackground(true);
    perms_ = std::make_unique<Permissions>(backend.permissions());

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    titleBar_ = new TitleBar(this);
    column->addWidget(titleBar_);
    body_ = new QStackedWidget(this);
    column->addWidget(body_, 1);

    empty_ = new EmptyState(body_);
    // Said before the take, not discovered after it.
    empty_->setNote(backend.captureNote());
    body_->addWidget(empty_);
    buildEditor();
    body_->addWidget(editor_);

    connect(titleBar_, &TitleBar::closeClicked, this, &QWidget::close);
    connect(titleBar_, &TitleBar::minimiseClicked, this, &QWidget::showMinimized);
    connect(titleBar_, &TitleBar::maximiseClicked, this,
            [this] { isMaximized() ? showNormal() : showMaximized(); });
    connect(titleBar_, &TitleBar::trashClicked, this, &MainWindow::confirmDiscard);
    connect(titleBar_, &TitleBar::exportClicked, this, &MainWindow::runExport);
    connect(titleBar_, &TitleBar::aboutRequested, this, [this] {
        QMessageBox::about(this, QStringLiteral("About Orvane"),
                           QStringLiteral("Orvane %1\nScreen recordings that zoom to every click.")
                               .arg(QStringLiteral(ORVANE_VERSION)));
    });
    // Without an update checker the menu item stays greyed.
    titleBar_->setCanCheckForUpdates(false);
    connect(titleBar_, &TitleBar::checkForUpdatesRequested, this, [this] {
        if (updater_ != nullptr) {
            updater_->checkForUpdates();
        }
    });
    connect(empty_, &EmptyState::startStopClicked, this, &MainWindow::startOrStop);
    // The sound sources chosen last time, remembered on every change; the
    // meters follow the Recorder's levels while a take records.
    rec_.setSoundChoice(loadSoundChoice());
    empty_->sound()->setChoice(rec_.soundChoice());
    connect(empty_->sound(), &SoundControls::choiceChanged, this, [this](const SoundChoice& c) {
        rec_.setSoundChoice(c);
        saveSoundChoice(c);
    });
    connect(&rec_, &Recorder::soundLevelsChanged, this, [this] {
        empty_->sound()->setLevels(rec_.microphoneLevel(), rec_.desktopLevel());
    });

    // The take's controls away from the window, and how the next take records.
    controls_ = std::make_unique<RecordingControls>(rec_, backend.globalShortcut());
    options_ = new RecordingOptions(empty_);
    empty_->setOptions(options_);
    const RecordingSettings recording = RecordingSettings::load();
    controls_->setSettings(recording);
    options_->setSettings(recording);
    options_->setShortcutProblem(controls_->shortcutProblem());
    options_->setBarOptional(controls_->hasStatusIcon());
    connect(options_, &RecordingOptions::settingsChanged, this, [this](const RecordingSettings& s) {
        controls_->setSettings(s);
        s.save();
        options_->setShortcutProblem(controls_->shortcutProblem());
    });
    connect(controls_.get(), &RecordingControls::startRequested, this, [this] {
        if (rec_.phase() != Phase::recording) {
            startOrStop();
        }
    });
    connect(controls_.get(), &RecordingControls::shortcutProblemChanged, this,
            [this] { options_->setShortcutProblem(controls_->shortcutProblem()); });
    connect(controls_.get(), &RecordingControls::discardRequested, this, &MainWindow::confirmDiscard);
    connect(controls_.get(), &RecordingControls::quitRequested, this, &QWidget::close);
    connect(controls_.get(), &RecordingControls::stoppedForDisk, this, [this] {
        titleBar_->flashStatus(QStringLiteral("The take was stopped: the disk is nearly full"));
    });
    // The region overlay is Orvane's own window over the screen: on X11 over
    // a picture of it, on Wayland over the live screen (the monitor the
    // portal shared; with several, the one this window is on).
    const bool regionHere = QGuiApplication::platformName() == QLatin1String("xcb") ||
                            QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    options_->setRegionAvailable(regionHere);
    if (regionHere) {
        regionSelector_ = std::make_unique<RegionSelector>();
        rec_.setContentStep([this](const CaptureContent& c, std::function<void(const CaptureContent&)> proceed,
                                   std::function<void()> cancel) {
            if (!controls_->settings().region || c.kind != CaptureContent::Kind::Display) {
                proceed(c);
                return;
            }
            chooseRegion(c, std::move(proceed), std::move(cancel));
        });
    }
    connect(&rec_, &Recorder::contentChosen, this, &MainWindow::stepAsideForTake);
    connect(&rec_, &Recorder::countdownEnded, this, [this](bool cancelled) {
        if (cancelled) {
            comeBackAfterTake();
        }
    });
    connect(&rec_, &Recorder::takeFinished, this, [this] {
        comeBackAfterTake();
        if (closeAfterTake_) {
            closeAfterTake_ = false;
            close();
        }
    });

    connect(&rec_, &Recorder::phaseChanged, this, &MainWindow::phaseChanged);
    connect(&rec_, &Recorder::statusChanged, this, [this] {
        // The window follows the phase; some outcomes would otherwise leave
        // the user without a word, so their status shows for a few seconds.
        // An export's outcome is one of them: the file manager may not come
        // forward, and a failure has its reason to tell.
        const StatusKind kind = rec_.statusKind();
        if (kind == StatusKind::StartFailed) {
            comeBackAfterTake(); // the take never started: the window says why
        }
        if (kind == StatusKind::NoFrames || kind == StatusKind::ExportFailed ||
            kind == StatusKind::StartFailed || kind == StatusKind::OpenFailed ||
            kind == StatusKind::OpenedWithNote ||
            kind == StatusKind::ExportDone ||
            kind == StatusKind::TakeEnded || kind == StatusKind::TakeWithoutClicks ||
            (kind == StatusKind::TakeReady && !rec_.soundNotes().isEmpty())) {
            titleBar_->flashStatus(rec_.status(), kind == StatusKind::ExportDone
                                                      ? TitleBar::Tone::Success
                                                      : TitleBar::Tone::Problem);
        }
    });
    connect(&rec_, &Recorder::exported, this, [](const QString& path) { revealInFileManager(path); });
    connect(&rec_, &Recorder::exportingChanged, this, &MainWindow::updateTitle);
    connect(&rec_, &Recorder::exportProgressChanged, this, &MainWindow::updateTitle);
    connect(&rec_, &Recorder::videoURLChanged, this, &MainWindow::updateTitle);
    for (auto signal : {&EditModel::zoomsChanged, &EditModel::momentsChanged,
                        &EditModel::durationChanged, &EditModel::zoomChanged,
                        &EditModel::smoothnessChanged, &EditModel::zoomMergeChanged,
                        &EditModel::soundMixChanged, &EditModel::sectionsChanged}) {
        connect(&rec_, signal, this, &MainWindow::pushPreviewSettings);
    }
    for (auto signal : {&Recorder::motionBlurChanged, &Recorder::bgBlurChanged,
                        &Recorder::paddingChanged, &Recorder::cornerRadiusChanged,
                        &Recorder::backgroundChanged, &Recorder::formatIndexChanged}) {
        connect(&rec_, signal, this, &MainWindow::pushPreviewSettings);
    }
    for (auto signal : {&EditModel::zoomsChanged, &EditModel::selectedChanged,
                        &EditModel::trimStartChanged, &EditModel::trimEndChanged,
                        &EditModel::videoSelectedChanged, &EditModel::durationChanged,
                        &EditModel::sectionsChanged, &EditModel::selectedSectionChanged}) {
        connect(&rec_, signal, this, &MainWindow::pushTimelineInputs);
    }
    connect(&rec_, &EditModel::trimStartChanged, this, &MainWindow::pushPreviewSettings);

    installShortcuts();
    phaseChanged();
    qApp->installEventFilter(this);
    QMetaObject::invokeMethod(this, &MainWindow::showOnboardingIfNeeded, Qt::QueuedConnection);
    // A take the last run could not finish (killed, power cut) opens as a
    // ready take: its movie and journal are still in the output folder.
    QMetaObject::invokeMethod(
        this, [this] { rec_.recoverInterruptedTake(); }, Qt::QueuedConnection);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    dropPlayer();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() &&
        rec_.phase() == Phase::recording) {
        // A press travels from the widget to its parents and is seen here at
        // each step; noting it again changes nothing.
        const auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton || press->button() == Qt::RightButton) {
            rec_.noteOwnPress();
        }
    }
    // A drag in the editor (a pill, a trim handle, a slider) is one change in
    // the making from press to release: the project is not saved half done.
    if (event->type() == QEvent::MouseButtonPress && !gestureHeld_ && watched->isWidgetType() &&
        editor_->isAncestorOf(static_cast<QWidget*>(watched))) {
        gestureHeld_ = true;
        rec_.beginGesture();
    } else if (event->type() == QEvent::MouseButtonRelease && gestureHeld_) {
        gestureHeld_ = false;
        rec_.endGesture();
    }
    return QWidget::eventFilter(watched, event);
}

// --- Out of the shot ----------------------------------------------------------------------

void MainWindow::stepAsideForTake() {
    // A window take of another window leaves this one where it is; a display
    // (or a region of one) would show it, cover what is recorded and take the
    // first click meant for it.
    if (rec_.recordedContent().kind != CaptureContent::Kind::Display || !isVisible()) {
        return; // a window take, or already out of the way (the region overlay)
    }
    steppedAside_ = true;
    hide();
}

void MainWindow::comeBackAfterTake() {
    if (!steppedAside_) {
        return;
    }
    steppedAside_ = false;
    show();
    raise();
    activateWindow();
}

void MainWindow::chooseRegion(const CaptureContent& display,
                              std::function<void(const CaptureContent&)> proceed,
                              std::function<void()> cancel) {
    // Out of the way first, so that the picture of the screen does not show
    // this window; the screen gets a moment to repaint without it.
    if (isVisible()) {
        steppedAside_ = true;
        hide();
    }
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    const QPointer<QScreen> here = screen(); // a screen unplugged meanwhile is null
    QTimer::singleShot(200, this, [this, display, proceed, cancel, x11, here] {
        // X11: the display's place is the desktop's own; Wayland: a portal
        // stream has no place, so the window's screen stands for it.
        QScreen* screen = x11 ? QGuiApplication::screenAt(display.area.center().toPoint()) : here.data();
        if (screen == nullptr) {
            screen = QGuiApplication::primaryScreen();
        }
        const QRect geometry = screen->geometry();
        const QImage picture = x11 ? screen->grabWindow(0).toImage() : QImage();
        // The region is in the display's pixels; the overlay covers the
        // screen, which begins where the display does.
        regionSelector_->disconnect(this);
        connect(regionSelector_.get(), &RegionSelector::chosen, this,
                [this, display, proceed, cancel, x11](const QRect& r) {
            regionSelector_->disconnect(this);
            if (!x11) {
                // Only the stream knows the shared monitor's pixels: it checks
                // the region when it starts.
                CaptureContent c = display;
                c.region = evenRegion(r);
                c.title += QStringLiteral(" (region at %1,%2)").arg(r.x()).arg(r.y());
                proceed(c);
                return;
            }
            Result<CaptureContent> narrowed = withRegion(display, r);
            if (!narrowed) {
                titleBar_->flashStatus(QString::fromStdString(narrowed.error()));
                comeBackAfterTake();
                cancel();
                return;
            }
            proceed(narrowed.value());
        });
        connect(regionSelector_.get(), &RegionSelector::cancelled, this, [this, cancel] {
            regionSelector_->disconnect(this);
            comeBackAfterTake();
            cancel();
        });
        regionSelector_->showOver(geometry, picture);
    });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    const bool takeRuns = rec_.phase() == Phase::recording || rec_.countingDown();
    if (!takeRuns) {
        QWidget::closeEvent(event);
        return;
    }
    switch (askAboutClosing()) {
    case CloseAnswer::KeepRecording:
        event->ignore();
        return;
    case CloseAnswer::Discard:
        discardRecording();
        QWidget::closeEvent(event);
        return;
    case CloseAnswer::StopAndKeep:
        if (rec_.countingDown()) {
            rec_.cancelCountdown(); // nothing was recorded yet
            QWidget::closeEvent(event);
            return;
        }
        // The window closes once the take is finished and kept.
        closeAfterTake_ = true;
        rec_.stop();
        event->ignore();
        return;
    }
}

MainWindow::CloseAnswer MainWindow::askAboutClosing() {
    if (closeAnswer_) {
        const CloseAnswer answer = *closeAnswer_;
        closeAnswer_.reset();
        return answer;
    }
    QMessageBox box(isVisible() ? this : nullptr);
    box.setWindowTitle(QStringLiteral("Orvane is recording"));
    box.setText(QStringLiteral("A take is recording. Stop it and keep it before Orvane closes?"));
    auto* stop = box.addButton(QString::fromUtf8(kStopAndKeep), QMessageBox::AcceptRole);
    auto* keep = box.addButton(QString::fromUtf8(kKeepRecording), QMessageBox::RejectRole);
    auto* discard = box.addButton(QString::fromUtf8(kDiscard), QMessageBox::DestructiveRole);
    box.setDefaultButton(stop);
    box.setEscapeButton(keep);
    box.exec();
    if (box.clickedButton() == discard) {
        return CloseAnswer::Discard;
    }
    return box.clickedButton() == stop ? CloseAnswer::StopAndKeep : CloseAnswer::KeepRecording;
}

// --- The library -------------------------------------------------------------------------

void MainWindow::setLibrary(TakeLibrary* library) {
    rec_.setLibrary(library);
    if (library == nullptr) {
        return;
    }
    if (!takeList_) {
        thumbnails_ = std::make_unique<ThumbnailCache>();
        takeList_ = new TakeListView(*thumbnails_);
        empty_->setSidePanel(takeList_);
        connect(takeList_, &TakeListView::openRequested, this, [this](const QString& folder) {
            // A click and its activation come as two signals: open once.
            const bool open = rec_.phase() == Phase::ready &&
                              QDir(rec_.takeFolder()).absolutePath() == QDir(folder).absolutePath();
            if (rec_.phase() != Phase::recording && !open) {
                rec_.openTake(folder); // a failure flashes its status (OpenFailed)
            }
        });
        connect(takeList_, &TakeListView::renameRequested, this,
                [this](const QString& folder, const QString& name) {
                    // The open take is renamed through its project, which
                    // would otherwise write its old name back.
                    if (QDir(folder).absolutePath() == QDir(rec_.takeFolder()).absolutePath()) {
                        rec_.renameTake(name); // a failure flashes its status
                    } else if (auto renamed = TakeLibrary::rename(folder, name); !renamed) {
                        titleBar_->flashStatus(QString::fromStdString(renamed.error()));
                    }
                    refreshTakes();
                });
        connect(takeList_, &TakeListView::trashRequested, this, [this](const QString& folder) {
            rec_.trashTake(folder); // a failure flashes its status (OpenFailed)
            refreshTakes();
        });
        connect(&rec_, &Recorder::takeChanged, this, &MainWindow::refreshTakes);
        connect(&rec_, &Recorder::takeChanged, this, &MainWindow::updateTitle);
        // Takes that come and go from elsewhere (orvane-record, the file
        // manager's Trash) show up in the list a moment later.
        libraryRefresh_.setSingleShot(true);
        libraryRefresh_.setInterval(300);
        connect(&libraryRefresh_, &QTimer::timeout, this, &MainWindow::refreshTakes);
        connect(&libraryWatch_, &QFileSystemWatcher::directoryChanged, &libraryRefresh_,
                qOverload<>(&QTimer::start));
        connect(&rec_, &Recorder::saved, this, [this] {
            // A rename or a new duration shows the next time the list does.
            if (rec_.phase() == Phase::idle) {
                refreshTakes();
            }
        });
    }
    refreshTakes();
}

void MainWindow::refreshTakes() {
    if (takeList_ == nullptr || rec_.library() == nullptr) {
        return;
    }
    const QString root = rec_.library()->root();
    if (QDir().mkpath(root) && !libraryWatch_.directories().contains(root)) {
        libraryWatch_.addPath(root);
    }
    takeList_->setTakes(rec_.library()->list());
}

// --- Building ---------------------------------------------------------------------------

void MainWindow::buildEditor() {
    editor_ = new QWidget(body_);
    auto* row = new QHBoxLayout(editor_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    auto* stageColumn = new QWidget(editor_);
    auto* column = new QVBoxLayout(stageColumn);
    column->setContentsMargins(0, 0, 0, 12);
    column->setSpacing(10);
    stage_ = new QWidget(stageColumn);
    auto* stageLayout = new QVBoxLayout(stage_);
    stageLayout->setContentsMargins(0, 0, 0, 0);
    stagePlaceholder_ = new QLabel(stage_);
    static_cast<QLabel*>(stagePlaceholder_)->setAlignment(Qt::AlignCenter);
    stageLayout->addWidget(stagePlaceholder_);
    column->addWidget(stage_, 1);

    // Transport: back 5 s, play/pause, forward 5 s.
    auto* transport = new QHBoxLayout;
    transport->setSpacing(14);
    transport->addStretch(1);
    auto* back = new QPushButton(stageColumn);
    back->setIcon(symbol(QStringLiteral("arrow.counterclockwise")));
    back->setToolTip(QStringLiteral("Back 5s"));
    Theme::setButtonStyle(back, Theme::ButtonStyle::transport);
    playButton_ = new QPushButton(stageColumn);
    playButton_->setIcon(symbol(QStringLiteral("play.fill")));
    playButton_->setIconSize(QSize(20, 20));
    playButton_->setToolTip(QStringLiteral("Play"));
    Theme::setButtonStyle(playButton_, Theme::ButtonStyle::transportProminent);
    auto* forward = new QPushButton(stageColumn);
    forward->setIcon(symbol(QStringLiteral("arrow.clockwise")));
    forward->setToolTip(QStringLiteral("Forward 5s"));
    Theme::setButtonStyle(forward, Theme::ButtonStyle::transport);
    splitButton_ = new QPushButton(stageColumn);
    splitButton_->setIcon(symbol(QStringLiteral("scissors")));
    splitButton_->setToolTip(QStringLiteral("Split at the playhead (S)"));
    Theme::setButtonStyle(splitButton_, Theme::ButtonStyle::transport);
    for (QPushButton* b : {back, playButton_, forward, splitButton_}) {
        b->setFocusPolicy(Qt::NoFocus);
        transport->addWidget(b);
    }
    transport->addStretch(1);
    connect(splitButton_, &QPushButton::clicked, this, &MainWindow::splitAtPlayhead);
    connect(back, &QPushButton::clicked, this, [this] { seekBy(-5); });
    connect(playButton_, &QPushButton::clicked, this, &MainWindow::togglePlay);
    connect(forward, &QPushButton::clicked, this, [this] { seekBy(5); });
    column->addLayout(transport);

    // The timeline area: the time read-out in a row of its own above the
    // timeline bar, so that the bar spans the whole column.
    auto* timeline = new QVBoxLayout;
    timeline->setContentsMargins(16, 0, 16, 0);
    timeline->setSpacing(10);
    QFont mono = Theme::font(Theme::Font::body);
    mono.setFamily(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    timeNow_ = new QLabel(QStringLiteral("0:00"), stageColumn);
    timeNow_->setFont(mono);
    auto* slash = new QLabel(QStringLiteral("/"), stageColumn);
    timeTotal_ = new QLabel(QStringLiteral("0:00"), stageColumn);
    timeTotal_->setFont(mono);
    for (QLabel* l : {slash, timeTotal_}) {
        l->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::secondaryText)));
    }
    auto* readout = new QHBoxLayout;
    readout->setSpacing(4);
    readout->addWidget(timeNow_);
    readout->addWidget(slash);
    readout->addWidget(timeTotal_);
    readout->addStretch(1);
    timeline->addLayout(readout);
    timelineBar_ = new TimelineBar(stageColumn);
    waveform_ = new WaveformLoader(this);
    connect(waveform_, &WaveformLoader::ready, this, &MainWindow::pushWaveform);
    timelineBar_->setColors(Theme::color(Theme::Color::accent), Theme::color(Theme::Color::videoTint));
    timeline->addWidget(timelineBar_);
    column->addLayout(timeline);

    timelineBar_->onSeek = [this](double t) { seekAndPause(t); };
    timelineBar_->onSelect = [this](int i) {
        rec_.setSelected(i);
        rec_.setVideoSelected(false);
        if (i >= 0 && static_cast<std::size_t>(i) < rec_.zooms().size()) {
            seekAndPause(rec_.zooms()[static_cast<std::size_t>(i)].start);
        }
    };
    timelineBar_->onSelectVideo = [this] {
        rec_.setVideoSelected(true);
        rec_.setSelected(std::nullopt);
    };
    timelineBar_->onTrim = [this](double a, double b) {
        rec_.setTrimStart(a);
        rec_.setTrimEnd(b);
    };
    timelineBar_->onBandTrim = [this](int i, bool s, double t) { rec_.setZoomEdge(i, s, t); };
    timelineBar_->onBandMove = [this](int i, double t) { rec_.moveZoom(i, t); };
    timelineBar_->onAddZoom = [this](double t) { rec_.addZoom(t - 0.25, t + 1.25); };
    timelineBar_->onEditBegin = [this] { rec_.beginEdit(); };
    timelineBar_->onSelectSection = [this](int i) { rec_.setSelectedSection(i); };
    timelineBar_->onSectionBoundary = [this](int i, double t) { rec_.moveSectionBoundary(i, t); };

    row->addWidget(stageColumn, 1);
    auto* divider = new QWidget(editor_);
    divider->setFixedWidth(1);
    divider->setStyleSheet(QStringLiteral("background: %1").arg(Theme::css(Theme::Color::stroke)));
    row->addWidget(divider);
    rail_ = new InspectorRail(rec_, editor_);
    row->addWidget(rail_);
    connect(rail_, &InspectorRail::startStopClicked, this, &MainWindow::startOrStop);
    connect(rail_, &InspectorRail::deselectClicked, this, &MainWindow::deselect);
    connect(rail_, &InspectorRail::shortcutsClicked, this, &MainWindow::showShortcuts);
}

void MainWindow::installShortcuts() {
    // Window-wide: they work whichever child has focus; a text field that is
    // being edited takes its own keys first (Qt's shortcut override).
    auto add = [this](const QKeySequence& keys, void (MainWindow::*action)()) {
        auto* s = new QShortcut(keys, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, action);
    };
    add(QKeySequence(Qt::Key_Space), &MainWindow::togglePlay);
    auto* undo = new QShortcut(QKeySequence::Undo, this);
    connect(undo, &QShortcut::activated, this, [this] { rec_.undo(); });
    // Both spellings of redo, whatever the platform's own is.
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                     QKeySequence(Qt::CTRL | Qt::Key_Y)}) {
        auto* redo = new QShortcut(keys, this);
        connect(redo, &QShortcut::activated, this, [this] { rec_.redo(); });
    }
    add(QKeySequence(Qt::Key_Backspace), &MainWindow::deleteSelection);
    add(QKeySequence(Qt::Key_Delete), &MainWindow::deleteSelection);
    add(QKeySequence(Qt::Key_S), &MainWindow::splitAtPlayhead);
    add(QKeySequence(Qt::Key_Z), &MainWindow::addZoomAtPlayhead);
    add(QKeySequence(Qt::CTRL | Qt::Key_E), &MainWindow::runExport);
    add(QKeySequence(Qt::Key_Escape), &MainWindow::deselect);
    auto* left = new QShortcut(QKeySequence(Qt::Key_Left), this);
    connect(left, &QShortcut::activated, this, [this] { seekBy(-5); });
    auto* right = new QShortcut(QKeySequence(Qt::Key_Right), this);
    connect(right, &QShortcut::activated, this, [this] { seekBy(5); });
}

void MainWindow::setSoundDevices(SoundDevices* devices) {
    rec_.setSoundDevices(devices);
    empty_->sound()->setDevices(devices != nullptr ? devices->inputs() : std::vector<SoundDevice>{});
}

// --- Phases -------------------------------------------------------------------------------

bool MainWindow::editorShown() const {
    return body_->currentWidget() == editor_;
}

void MainWindow::phaseChanged() {
    const Phase phase = rec_.phase();
    empty_->setPhase(phase);
    empty_->sound()->setRecording(phase == Phase::recording,
                                  rec_.recordsSound(SoundKind::Microphone),
                                  rec_.recordsSound(SoundKind::Desktop));
    if (phase == Phase::idle) {
        refreshTakes();
    }
    if (phase == Phase::ready) {
        createPlayer();
        body_->setCurrentWidget(editor_);
    } else {
        // The movie of a take being recorded is not the one the player had.
        dropPlayer();
        body_->setCurrentWidget(empty_);
    }
    updateTitle();
    pushTimelineInputs();
}

void MainWindow::createPlayer() {
    dropPlayer();
    if (rec_.videoURL().isEmpty()) {
        static_cast<QLabel*>(stagePlaceholder_)->setPixmap(symbol(QStringLiteral("rectangle.dashed")).pixmap(56, 56));
        stagePlaceholder_->show();
        return;
    }
    player_ = std::make_unique<ui::MoviePlayer>();
    playButton_->setEnabled(true);
    connect(player_.get(), &ui::MoviePlayer::timeChanged, this, &MainWindow::onPlayerTime);
    // A movie that cannot be decoded stops playing and says why, rather than
    // leaving the window playing a picture that no longer moves.
    connect(player_.get(), &ui::MoviePlayer::statusChanged, this,
            [this](ui::MoviePlayer::Status status) {
                if (status == ui::MoviePlayer::Status::Failed && player_) {
                    setPlaying(false);
                    playButton_->setEnabled(false);
                    playButton_->setToolTip(player_->errorMessage());
                    titleBar_->flashStatus(player_->errorMessage());
                }
            });
    // The Audio section shows the sources the movie has sound for.
    connect(player_.get(), &ui::MoviePlayer::soundKindsChanged, this, [this] {
        rail_->compositionPanel()->setSoundKinds(player_->soundKinds());
    });
    // A take whose sound cannot be heard (no sound server) says so once, not
    // at every take or play.
    connect(player_.get(), &ui::MoviePlayer::soundUnavailable, this, [this](const QString& message) {
        if (!soundUnavailableSaid_) {
            soundUnavailableSaid_ = true;
            QString reason = message.trimmed();
            while (reason.endsWith(QLatin1Char('.'))) { // a sentence, now a clause
                reason.chop(1);
            }
            titleBar_->flashStatus(reason + QStringLiteral(" — playing without sound"));
        }
    });
    player_->setTimeMap(rec_.timeMap());
    player_->open(rec_.videoURL());
    waveform_->load(rec_.videoURL());
    ZoomPlayer settings;
    preview_ = new ZoomHostView(*player_, settings, stage_);
    stage_->layout()->addWidget(preview_);
    stagePlaceholder_->hide();
    pushPreviewSettings();
    currentTime_ = 0;
    updateTimeReadout();
}

void MainWindow::dropPlayer() {
    if (player_) {
        player_->pause();
        disconnect(player_.get(), nullptr, this, nullptr);
    }
    // The preview draws the player's frames: it goes first.
    delete preview_;
    preview_ = nullptr;
    player_.reset();
    if (rail_ != nullptr) {
        rail_->compositionPanel()->setSoundKinds({});
    }
    setPlaying(false);
    if (waveform_ != nullptr) {
        waveform_->clear();
        pushWaveform();
    }
}

void MainWindow::setPlaying(bool playing) {
    isPlaying_ = playing;
    if (playButton_ == nullptr) {
        return; // still building the window
    }
    playButton_->setIcon(symbol(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill")));
    playButton_->setToolTip(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
}

void MainWindow::pushWaveform() {
    if (waveform_ == nullptr || timelineBar_ == nullptr) {
        return; // still building the window
    }
    const SoundMix mix = rec_.look().sound;
    timelineBar_->setWaveform(waveform_->waveform().mixed(mix.gain(SoundKind::Microphone),
                                                          mix.gain(SoundKind::Desktop)),
                              SoundWaveform::kBucketSeconds);
}

void MainWindow::pushPreviewSettings() {
    pushWaveform();
    if (player_ && !(player_->timeMap() == rec_.timeMap())) {
        player_->setTimeMap(rec_.timeMap());
    }
    if (!preview_) {
        return;
    }
    ZoomPlayer s;
    s.timeline = rec_.timeline();
    s.aspect = rec_.videoH() > 0 ? static_cast<double>(rec_.videoW()) / rec_.videoH() : 1.6;
    s.videoWidth = rec_.videoW();
    s.videoHeight = rec_.videoH();
    s.look = rec_.look();
    s.loopStart = rec_.trimStart();
    s.onBackgroundTap = [this] { deselect(); };
    preview_->update(s);
}

void MainWindow::pushTimelineInputs() {
    TimelineBar::Inputs in;
    in.duration = std::max(rec_.duration(), 0.001);
    in.zooms = rec_.zooms();
    in.current = currentTime_;
    in.selected = rec_.selected();
    in.trimStart = rec_.trimStart();
    in.trimEnd = rec_.trimEnd();
    in.videoSelected = rec_.videoSelected();
    in.sections = rec_.sections();
    in.selectedSection = rec_.selectedSection();
    timelineBar_->setInputs(std::move(in));
    updateTimeReadout();
}

void MainWindow::updateTimeReadout() {
    // Output time: cut parts take none, sped-up parts less.
    const TimeMap& map = rec_.timeMap();
    timeNow_->setText(TransportRules::mmss(map.outputTime(currentTime_)));
    timeTotal_->setText(TransportRules::mmss(map.outputTime(rec_.duration())));
}

void MainWindow::updateTitle() {
    const bool ready = rec_.phase() == Phase::ready;
    titleBar_->setTakeControlsVisible(ready);
    const QString size = fileSizeString(rec_.videoURL());
    // Every take of the library has a movie of the same file name: its own
    // name tells them apart.
    const bool named = rec_.library() != nullptr && !rec_.takeName().isEmpty();
    titleBar_->setTakeName(named ? rec_.takeName() : takeName(rec_.videoURL()), size);
    if (rec_.exporting()) {
        titleBar_->setExportLabel(
            QString::asprintf("%lld%%", static_cast<long long>(rec_.exportProgress() * 100)));
    } else {
        titleBar_->setExportLabel(QStringLiteral("Export"));
    }
}

QString MainWindow::takeName(const QString& moviePath) {
    if (moviePath.isEmpty()) {
        return QStringLiteral("Recording");
    }
    return QFileInfo(moviePath).fileName();
}

QString MainWindow::fileSizeString(const QString& path) {
    if (path.isEmpty()) {
        return {};
    }
    const QFileInfo info(path);
    if (!info.exists() || info.size() <= 0) {
        return {};
    }
    return QLocale::system().formattedDataSize(info.size(), 1, QLocale::DataSizeSIFormat);
}

// --- Actions ------------------------------------------------------------------------------

void MainWindow::startOrStop() {
    switch (rec_.phase()) {
    case Phase::idle:
        rec_.start();
        break;
    case Phase::recording:
        rec_.stop();
        break;
    case Phase::ready:
        // The open take stays as it is: it is kept, and a cancelled picker
        // leaves it open in the editor.
        rec_.start();
        break;
    }
}

void MainWindow::discardRecording() {
    dropPlayer();
    rec_.discard();
}

void MainWindow::confirmDiscard() {
    QMessageBox box(this);
    box.setWindowTitle(QStringLiteral("Delete this recording?"));
    box.setText(QStringLiteral("Delete this recording?"));
    // With a library the take goes to the Trash, from where it can be restored.
    box.setInformativeText(rec_.library() != nullptr
                               ? QStringLiteral("This moves the current take to the Trash.")
                               : QStringLiteral("This removes the current take. You can't undo it."));
    auto* del = box.addButton(QStringLiteral("Delete Recording"), QMessageBox::DestructiveRole);
    // Return in a hurry keeps the take.
    auto* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == del) {
        discardRecording();
    }
}

void MainWindow::runExport() {
    if (rec_.phase() != Phase::ready || rec_.exporting()) {
        return;
    }
    QFileDialog dialog(this, QStringLiteral("Export video"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setMimeTypeFilters({QStringLiteral("video/mp4")});
    dialog.setDefaultSuffix(QStringLiteral("mp4"));
    dialog.setDirectory(rec_.outputFolder());
    dialog.selectFile(QStringLiteral("quilbo-export.mp4"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    exportTo(dialog.selectedFiles().constFirst());
}

void MainWindow::exportTo(const QString& path) {
    rec_.exportTo(path);
}

void MainWindow::togglePlay() {
    if (rec_.phase() != Phase::ready || !player_) {
        return;
    }
    if (isPlaying_) {
        player_->pause();
    } else {
        if (player_->status() == ui::MoviePlayer::Status::Failed) {
            // Nothing would play: say so again instead of pretending to.
            titleBar_->flashStatus(player_->errorMessage());
            return;
        }
        const double t = player_->currentTime();
        if (TransportRules::playRestartsFromTrimStart(t, rec_.trimStart(), rec_.trimEnd())) {
            player_->seekExact(rec_.trimStart());
            currentTime_ = rec_.trimStart();
        }
        player_->play();
    }
    setPlaying(!isPlaying_);
}

void MainWindow::seekBy(double delta) {
    if (!player_) {
        return;
    }
    // Skips count output time: 5 s forward is 5 s of what is shown, however
    // much is cut or sped up in between.
    const TimeMap& map = rec_.timeMap();
    const double target = map.takeTime(TransportRules::seekByTarget(
        map.outputTime(currentTime_), delta, map.outputTime(rec_.trimStart()),
        map.outputTime(rec_.trimEnd()), map.outputTime(rec_.duration())));
    player_->seekExact(target);
    currentTime_ = target;
    pushTimelineInputs();
}

void MainWindow::seekAndPause(double t) {
    if (player_) {
        player_->pause();
    }
    setPlaying(false);
    if (player_) {
        player_->seekExact(t);
    }
    currentTime_ = t;
    pushTimelineInputs();
}

void MainWindow::onPlayerTime(double t) {
    currentTime_ = std::isfinite(t) ? t : 0;
    if (TransportRules::wrapsAtTrimEnd(isPlaying_, currentTime_, rec_.trimStart(), rec_.trimEnd())) {
        player_->seekExact(rec_.trimStart());
    }
    pushTimelineInputs();
}

void MainWindow::splitAtPlayhead() {
    if (rec_.phase() != Phase::ready) {
        return;
    }
    rec_.splitAt(currentTime_);
    rec_.setVideoSelected(true);
}

void MainWindow::addZoomAtPlayhead() {
    if (rec_.phase() != Phase::ready) {
        return;
    }
    rec_.addZoom(currentTime_ - 0.25, currentTime_ + 1.25);
}

void MainWindow::deleteSelection() {
    if (const auto sel = rec_.selected()) {
        rec_.deleteZoom(*sel);
    } else if (const auto section = rec_.selectedSection(); section && !rec_.sections().empty()) {
        // A section is cut out, not forgotten: it can be restored.
        rec_.setSectionCut(*section, true);
    }
}

void MainWindow::deselect() {
    rec_.setSelected(std::nullopt);
    rec_.setVideoSelected(false);
}

void MainWindow::showShortcuts() {
    ShortcutsSheet sheet(ShortcutsSheet::windowItems(), this);
    sheet.exec();
}

void MainWindow::showOnboardingIfNeeded() {
    perms_->refresh();
    if (perms_->screen() && perms_->accessibility()) {
        return;
    }
    if (onboarding_ == nullptr) {
        onboarding_ = new PermissionsOnboarding(*perms_, [this] { onboarding_->hide(); }, this);
    }
    onboarding_->setGeometry(rect());
    onboarding_->raise();
    onboarding_->show();
}

void MainWindow::setUpdater(Updater* updater) {
    updater_ = updater;
    if (updater_ == nullptr) {
        titleBar_->setCanCheckForUpdates(false);
        return;
    }
    titleBar_->setCanCheckForUpdates(updater_->canCheckForUpdates());
    connect(updater_, &Updater::canCheckForUpdatesChanged, this,
            [this] { titleBar_->setCanCheckForUpdates(updater_->canCheckForUpdates()); });
    auto show = [this](const QString& title, const QString& text, const QUrl& link) {
        updateMessage_ = text;
        auto* box = new QMessageBox(QMessageBox::Information, title, QString(), QMessageBox::NoButton, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        // The text carries words from the update feed: never read it as markup.
        box->setTextFormat(Qt::PlainText);
        box->setText(text);
        if (link.isValid()) {
            auto* download = box->addButton(QStringLiteral("Download"), QMessageBox::AcceptRole);
            connect(download, &QPushButton::clicked, this, [link] { QDesktopServices::openUrl(link); });
            box->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
        } else {
            box->addButton(QMessageBox::Ok);
        }
        box->open();
    };
    connect(updater_, &Updater::updateAvailable, this, [show](const AppcastItem& item) {
        QString text = QStringLiteral("Orvane %1 is available.").arg(item.version.toString());
        if (!item.notes.isEmpty()) {
            text += QStringLiteral("\n\n") + item.notes;
        }
        show(QStringLiteral("Update available"), text, item.downloadPage);
    });
    connect(updater_, &Updater::upToDate, this, [show](const QVersionNumber&) {
        show(QStringLiteral("Check for Updates"), QStringLiteral("Orvane is up to date."), QUrl());
    });
    connect(updater_, &Updater::checkFailed, this, [show](const QString& message) {
        show(QStringLiteral("Check for Updates"), message, QUrl());
    });
}

// --- Window edges ------------------------------------------------------------------------

Qt::Edges MainWindow::edgesAt(QPoint pos) const {
    Qt::Edges edges;
    if (isMaximized() || isFullScreen()) {
        return edges;
    }
    if (pos.x() < kResizeBorder) {
        edges |= Qt::LeftEdge;
    }
    if (pos.x() >= width() - kResizeBorder) {
        edges |= Qt::RightEdge;
    }
    if (pos.y() < kResizeBorder) {
        edges |= Qt::TopEdge;
    }
    if (pos.y() >= height() - kResizeBorder) {
        edges |= Qt::BottomEdge;
    }
    return edges;
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    const Qt::Edges edges = edgesAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && edges && windowHandle() != nullptr) {
        windowHandle()->startSystemResize(edges);
        return;
    }
    QWidget::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    const Qt::Edges e = edgesAt(event->position().toPoint());
    if ((e & Qt::LeftEdge && e & Qt::TopEdge) || (e & Qt::RightEdge && e & Qt::BottomEdge)) {
        setCursor(Qt::SizeFDiagCursor);
    } else if ((e & Qt::RightEdge && e & Qt::TopEdge) || (e & Qt::LeftEdge && e & Qt::BottomEdge)) {
        setCursor(Qt::SizeBDiagCursor);
    } else if (e & (Qt::LeftEdge | Qt::RightEdge)) {
        setCursor(Qt::SizeHorCursor);
    } else if (e & (Qt::TopEdge | Qt::BottomEdge)) {
        setCursor(Qt::SizeVerCursor);
    } else {
        unsetCursor();
    }
    QWidget::mouseMoveEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (onboarding_ != nullptr) {
        onboarding_->setGeometry(rect());
    }
}

} // namespace orvane
