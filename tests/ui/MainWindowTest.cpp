// The application window: sizes, title-bar controls, what each phase shows, the
// take's actions, the keyboard shortcuts and the onboarding card, on test
// doubles of the platform with a real movie for the ready take. Screenshots of
// each phase are saved as test artefacts.
#include "FakeBackend.h"
#include "MovieFixtures.h"
#include "SmallFilesystem.h"

#include "app/Recorder.h"
#include "render/LookSettings.h"
#include "ui/AudioSection.h"
#include "ui/CompositionPanel.h"
#include "ui/TimelineBar.h"
#include "ui/InspectorRail.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/player/MoviePlayer.h"
#include "ui/preview/ZoomHostView.h"
#include "ui/window/EmptyState.h"
#include "ui/window/MainWindow.h"
#include "ui/window/PermissionsOnboarding.h"
#include "ui/window/TitleBar.h"
#include "ui/recording/CountdownOverlay.h"
#include "ui/recording/RecordingBar.h"
#include "ui/recording/RecordingControls.h"
#include "ui/recording/RecordingOptions.h"
#include "ui/recording/RegionSelector.h"
#include "app/RecordingSettings.h"
#include "ui/SectionPanel.h"
#include "ui/library/TakeListView.h"
#include "app/TakeFiles.h"
#include "app/TakeLibrary.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>
#include <QSystemTrayIcon>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace orvane;

namespace {

// Saves a picture of the widget under the build tree and checks that it shows
// something: a blank or single-colour window fails.
void saveShot(QWidget& w, const QString& name) {
    const QImage img = w.grab().toImage();
    QDir().mkpath(QStringLiteral(ORVANE_ARTEFACT_DIR));
    img.save(QStringLiteral(ORVANE_ARTEFACT_DIR) + QLatin1Char('/') + name + QStringLiteral(".png"));
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); y += 7) {
        for (int x = 0; x < img.width(); x += 7) {
            colours.insert(img.pixel(x, y));
        }
    }
    EXPECT_GT(colours.size(), 8) << name.toStdString() << " looks blank";
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The ready take plays a real movie: a copy, since discarding deletes it.
        const std::string movie = dir.file("take.mp4");
        test::IndexMovie m;
        m.frames = 60;
        m.fps = 30;
        ASSERT_TRUE(test::makeIndexMovie(movie, m));
        moviePath = QString::fromStdString(movie);
        backend.duration = 2.0;
    }
    // Start, then the user picks a 320 x 200 area: the take is recording.
    void startRecording(MainWindow& w) {
        w.recorder().start();
        CaptureContent c;
        c.area = QRectF(0, 0, 320, 200);
        emit backend.pickerFake.contentChosen(c);
        QCoreApplication::processEvents(); // the choice
        QCoreApplication::processEvents(); // the capture start
        ASSERT_EQ(w.recorder().phase(), Phase::recording);
    }
    // Start, then the user picks another window: the take records and the
    // window stays where it is.
    void startWindowTake(MainWindow& w) {
        w.recorder().start();
        CaptureContent c;
        c.kind = CaptureContent::Kind::Window;
        c.area = QRectF(10, 10, 320, 200);
        emit backend.pickerFake.contentChosen(c);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::recording; }, 3000));
    }
    void toReady(MainWindow& w) {
        backend.moviePath = moviePath;
        startRecording(w);
        backend.lastStream->deliver(1);
        backend.clock += 1;
        backend.click(QPointF(80, 50));
        w.recorder().stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::ready; }, 5000));
    }

    // Shown, active (so the window's keys reach it) and with a ready take.
    void toActiveReady(MainWindow& w) {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        toReady(w);
    }

    test::TempDir dir;
    QString moviePath;
    test::FakeBackend backend;
};

} // namespace

TEST_F(MainWindowTest, OpensAtItsDefaultSizeAndKeepsItsMinimum) {
    MainWindow w(backend, backend);
    w.show();
    EXPECT_EQ(w.size(), QSize(1400, 880));
    w.resize(500, 300);
    EXPECT_EQ(w.size(), QSize(980, 620));
    EXPECT_EQ(w.titleBar()->height(), 40);
}

TEST_F(MainWindowTest, WindowControlsStayPutThroughResizes) {
    MainWindow w(backend, backend);
    w.show();
    const QPoint close = w.titleBar()->closeButton()->mapTo(&w, QPoint(0, 0));
    const QPoint maximise = w.titleBar()->maximiseButton()->mapTo(&w, QPoint(0, 0));
    EXPECT_EQ(close.x(), 10);
    EXPECT_GE(close.y(), 5);
    for (QSize s : {QSize(1000, 700), QSize(1900, 1100), QSize(1200, 640), QSize(1400, 880)}) {
        w.resize(s);
        QCoreApplication::processEvents();
        EXPECT_EQ(w.titleBar()->closeButton()->mapTo(&w, QPoint(0, 0)), close);
        EXPECT_EQ(w.titleBar()->maximiseButton()->mapTo(&w, QPoint(0, 0)), maximise);
    }
}

TEST_F(MainWindowTest, TheEmptyStateSaysWhatThisDesktopCannotDoBeforeATake) {
    {
        MainWindow w(backend, backend);
        w.show();
        EXPECT_TRUE(w.emptyState()->note().isEmpty());
    }
    backend.note = QStringLiteral("On this desktop Orvane can't redraw or follow the cursor.");
    MainWindow w(backend, backend);
    w.show();
    EXPECT_EQ(w.emptyState()->note(), backend.note);
    auto* label = w.emptyState()->findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    bool shown = false;
    for (auto* l : w.emptyState()->findChildren<QLabel*>()) {
        shown = shown || (l->text() == backend.note && l->isVisible());
    }
    EXPECT_TRUE(shown);
}

TEST_F(MainWindowTest, EachPhaseShowsItsContent) {
    MainWindow w(backend, backend);
    w.show();
    EXPECT_FALSE(w.editorShown());
    EXPECT_EQ(w.emptyState()->title(), QStringLiteral("Record your screen"));
    EXPECT_EQ(w.emptyState()->startStopButton()->text(), QStringLiteral("Record Screen"));
    EXPECT_FALSE(w.titleBar()->exportButton()->isVisibleTo(&w));
    saveShot(w, QStringLiteral("phase-idle"));

    backend.moviePath = moviePath;
    w.emptyState()->startStopButton()->click();
    EXPECT_EQ(backend.pickerFake.presented, 1);
    CaptureContent c;
    c.area = QRectF(0, 0, 320, 200);
    emit backend.pickerFake.contentChosen(c);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.emptyState()->startStopButton()->text(), QStringLiteral("Stop"));
    EXPECT_EQ(w.emptyState()->title(), QStringLiteral("Recording your screen…"));
    saveShot(w, QStringLiteral("phase-recording"));

    backend.lastStream->deliver(1);
    w.emptyState()->startStopButton()->click(); // Stop
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.editorShown(); }, 5000));
    EXPECT_EQ(w.titleBar()->nameLabel()->text(), QStringLiteral("take.mp4"));
    EXPECT_TRUE(w.titleBar()->exportButton()->isVisibleTo(&w));
    EXPECT_EQ(w.rail()->startStopButton()->text(), QStringLiteral("Record Again"));
    ASSERT_NE(w.player(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.player()->status() == ui::MoviePlayer::Status::Ready; }, 5000));
    QTest::qWait(200);
    saveShot(w, QStringLiteral("phase-ready"));

    EXPECT_EQ(MainWindow::takeName(QString()), QStringLiteral("Recording"));
    EXPECT_TRUE(MainWindow::fileSizeString(QStringLiteral("/no/such/file")).isEmpty());
    EXPECT_TRUE(MainWindow::fileSizeString(moviePath).endsWith(QStringLiteral("kB")));
}

TEST_F(MainWindowTest, RecordAgainKeepsTheTakeAndOpensThePicker) {
    MainWindow w(backend, backend);
    w.show();
    toReady(w);
    const int presented = backend.pickerFake.presented;
    w.rail()->startStopButton()->click();
    EXPECT_EQ(backend.pickerFake.presented, presented + 1);
    // The take stays open, and a cancelled picker leaves it as it was.
    emit backend.pickerFake.cancelled();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.recorder().phase(), Phase::ready);
    EXPECT_TRUE(QFile::exists(moviePath));
    EXPECT_TRUE(w.editorShown());
}

TEST_F(MainWindowTest, TrashAsksAndCancelKeepsTheTake) {
    MainWindow w(backend, backend);
    w.show();
    toReady(w);
    QString asked;
    QString defaultButton;
    auto answer = [&](const QString& button) {
        QTimer::singleShot(50, [&, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            asked = box->text() + QLatin1Char('|') + box->informativeText();
            // Return in a hurry must not delete: Cancel is the default.
            defaultButton = box->defaultButton() != nullptr ? box->defaultButton()->text() : QString();
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == button) {
                    b->click();
                }
            }
        });
    };
    answer(QStringLiteral("Cancel"));
    w.titleBar()->trashButton()->click();
    EXPECT_EQ(asked, QStringLiteral("Delete this recording?|This removes the current take. "
                                    "You can't undo it."));
    EXPECT_EQ(defaultButton, QStringLiteral("Cancel"));
    EXPECT_EQ(w.recorder().phase(), Phase::ready);
    EXPECT_TRUE(QFile::exists(moviePath));

    answer(QStringLiteral("Delete Recording"));
    w.titleBar()->trashButton()->click();
    EXPECT_EQ(w.recorder().phase(), Phase::idle);
    EXPECT_FALSE(QFile::exists(moviePath));
}

TEST_F(MainWindowTest, ExportButtonReadsWholePercents) {
    MainWindow w(backend, backend);
    w.show();
    toReady(w);
    QStringList labels;
    QObject::connect(&w.recorder(), &Recorder::exportProgressChanged, [&] {
        QCoreApplication::processEvents();
        labels << w.titleBar()->exportButton()->text();
    });
    const QString out = QString::fromStdString(dir.file("out.mp4"));
    w.exportTo(out);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.recorder().exporting(); }, 60000));
    EXPECT_EQ(w.titleBar()->exportButton()->text(), QStringLiteral("Export"));
    ASSERT_FALSE(labels.isEmpty());
    // Whole percents only, never falling, several steps on the way.
    const QRegularExpression percent(QStringLiteral("^(\\d{1,3})%$"));
    int previous = -1;
    int steps = 0;
    for (const QString& l : labels) {
        const auto m = percent.match(l);
        if (l == QStringLiteral("Export")) {
            continue; // the finish: progress set to 1 after exporting ended
        }
        ASSERT_TRUE(m.hasMatch()) << l.toStdString();
        const int p = m.captured(1).toInt();
        EXPECT_GE(p, previous);
        EXPECT_LE(p, 100);
        previous = p;
        ++steps;
    }
    EXPECT_GE(steps, 10) << labels.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QFile::exists(out));
}

TEST_F(MainWindowTest, ShortcutsReachTheirActions) {
    MainWindow w(backend, backend);
    ASSERT_NO_FATAL_FAILURE(toActiveReady(w));
    Recorder& r = w.recorder();
    const auto zoomsBefore = r.zooms().size();
    w.seekAndPause(1.0);
    r.deleteZoom(0); // make room at the playhead
    ASSERT_TRUE(r.zooms().empty());
    QTest::keyClick(&w, Qt::Key_Z);
    ASSERT_EQ(r.zooms().size(), 1u);
    EXPECT_DOUBLE_EQ(r.zooms()[0].start, 0.75);
    EXPECT_EQ(r.selected(), 0);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(r.selected().has_value());
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier); // undo the add
    EXPECT_TRUE(r.zooms().empty());
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier); // undo the delete
    EXPECT_EQ(r.zooms().size(), zoomsBefore);
    // Delete and Backspace alike delete the selected zoom.
    r.setSelected(0);
    QTest::keyClick(&w, Qt::Key_Delete);
    EXPECT_TRUE(r.zooms().empty());
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
    r.setSelected(0);
    QTest::keyClick(&w, Qt::Key_Backspace);
    EXPECT_TRUE(r.zooms().empty());
    // Space plays and pauses; the arrows skip.
    QTest::keyClick(&w, Qt::Key_Space);
    EXPECT_TRUE(w.isPlaying());
    QTest::keyClick(&w, Qt::Key_Space);
    EXPECT_FALSE(w.isPlaying());
    w.seekAndPause(1.0);
    QTest::keyClick(&w, Qt::Key_Left);
    EXPECT_EQ(w.currentTime(), 0);
    QTest::keyClick(&w, Qt::Key_Right);
    EXPECT_EQ(w.currentTime(), 2.0); // clamped to the trim end
}

TEST_F(MainWindowTest, SplitCutRestoreAndRedoFromTheKeysAndPlayingSkipsTheCut) {
    MainWindow w(backend, backend);
    ASSERT_NO_FATAL_FAILURE(toActiveReady(w));
    Recorder& r = w.recorder();
    r.setSelected(std::nullopt);
    // S splits at the playhead (twice: 0.5 s and 1 s), the button too.
    w.seekAndPause(0.5);
    QTest::keyClick(&w, Qt::Key_S);
    w.seekAndPause(1.0);
    w.splitButton()->click();
    ASSERT_EQ(r.sections().size(), 3U);
    EXPECT_EQ(r.selectedSection(), 2) << "the part after the split";
    EXPECT_EQ(w.rail()->headerTitle(), QStringLiteral("Section"));
    // Delete cuts the selected section out; the transport counts output time.
    r.setSelectedSection(1);
    QTest::keyClick(&w, Qt::Key_Delete);
    ASSERT_TRUE(r.sections()[1].cut);
    EXPECT_DOUBLE_EQ(r.timeMap().outputTime(2), 1.5);
    EXPECT_EQ(w.totalReadout()->text(), QStringLiteral("0:02")) << "1.5 s rounds to 0:02";
    w.seekAndPause(1.8);
    EXPECT_EQ(w.timeReadout()->text(), QStringLiteral("0:01")) << "1.8 s of the take is 1.3 s out";
    // Undo, and both redo keys.
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(r.sections()[1].cut);
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(r.sections()[1].cut);
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&w, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(r.sections()[1].cut);
    // The section panel restores it, and cuts it again.
    SectionPanel* panel = w.rail()->sectionPanel();
    r.setSelectedSection(1);
    EXPECT_EQ(panel->cutButton()->text(), QStringLiteral("Restore Section"));
    panel->cutButton()->click();
    EXPECT_FALSE(r.sections()[1].cut);
    panel->cutButton()->click();
    ASSERT_TRUE(r.sections()[1].cut);

    // Playing from 0.2 s never shows the cut half second.
    std::vector<double> times;
    w.seekAndPause(0.2);
    QTest::keyClick(&w, Qt::Key_Space);
    ASSERT_TRUE(w.isPlaying());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            times.push_back(w.currentTime());
            return w.currentTime() > 1.2;
        },
        5000));
    QTest::keyClick(&w, Qt::Key_Space);
    for (double t : times) {
        EXPECT_FALSE(t > 0.6 && t < 0.95) << "played inside the cut at " << t;
    }
}

TEST_F(MainWindowTest, TheTimeReadOutSitsAboveAFullWidthTimelineBar) {
    MainWindow w(backend, backend);
    w.show();
    toReady(w);
    QCoreApplication::processEvents();
    const QWidget* bar = w.timelineBar();
    const QWidget* readout = w.timeReadout();
    ASSERT_TRUE(bar->isVisible());
    ASSERT_TRUE(readout->isVisible());
    const QRect barRect(bar->mapTo(&w, QPoint(0, 0)), bar->size());
    const QRect readoutRect(readout->mapTo(&w, QPoint(0, 0)), readout->size());
    // A row of its own above the bar: no overlap across, and left-aligned with it.
    EXPECT_LE(readoutRect.bottom(), barRect.top()) << "the read-out is beside the bar";
    EXPECT_EQ(readoutRect.left(), barRect.left());
    // The bar spans the stage column but for its 16-point margins.
    EXPECT_EQ(bar->width(), bar->parentWidget()->width() - 32);
}

TEST_F(MainWindowTest, ThePlayButtonShowsTheWindowsPlayingState) {
    MainWindow w(backend, backend);
    w.show();
    toReady(w);
    QPushButton* play = w.playButton();
    const auto shows = [&](const char* name) {
        return play->icon().pixmap(20, 20).toImage() ==
               ui::symbol(QString::fromLatin1(name)).pixmap(20, 20).toImage();
    };
    // Pressed at once, before the movie has finished opening: the window plays
    // (the player starts when it can) and the button says so straight away.
    ASSERT_NE(w.player()->status(), ui::MoviePlayer::Status::Failed);
    play->click();
    EXPECT_TRUE(w.isPlaying());
    EXPECT_TRUE(shows("pause.fill"));
    EXPECT_EQ(play->toolTip(), QStringLiteral("Pause"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.player()->isPlaying(); }, 5000));
    EXPECT_TRUE(shows("pause.fill"));

    play->click();
    EXPECT_FALSE(w.isPlaying());
    EXPECT_TRUE(shows("play.fill"));
    EXPECT_EQ(play->toolTip(), QStringLiteral("Play"));

    w.togglePlay(); // what Space runs
    EXPECT_TRUE(w.isPlaying());
    EXPECT_TRUE(shows("pause.fill"));
    w.seekAndPause(0.5); // a press on the timeline pauses
    EXPECT_FALSE(w.isPlaying());
    EXPECT_TRUE(shows("play.fill"));
}

TEST_F(MainWindowTest, AMovieThatStopsDecodingShowsItsErrorAndStopsPlaying) {
    // A movie cut off after 60 % of its bytes: the first part plays, then
    // decoding stops at the damage.
    const std::string whole = dir.file("whole.mp4");
    ASSERT_TRUE(test::runFfmpeg("-f lavfi -i testsrc2=size=320x200:rate=30 -frames:v 60 "
                                "-c:v libx264 -g 15 -movflags +faststart \"" + whole + "\""));
    const std::string cut = dir.file("cut.mp4");
    ASSERT_TRUE(test::writePrefix(whole, cut, test::fileSize(whole) * 6 / 10));
    moviePath = QString::fromStdString(cut);

    MainWindow w(backend, backend);
    w.show();
    toReady(w);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.player()->status() == ui::MoviePlayer::Status::Ready; }, 5000));
    w.togglePlay();
    ASSERT_TRUE(w.isPlaying());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.player()->status() == ui::MoviePlayer::Status::Failed; }, 8000));
    const QString error = w.player()->errorMessage();
    ASSERT_FALSE(error.isEmpty());
    // Not playing any more, and the window says why.
    EXPECT_FALSE(w.isPlaying());
    EXPECT_EQ(w.playButton()->toolTip(), error);
    EXPECT_FALSE(w.playButton()->isEnabled());
    EXPECT_TRUE(w.titleBar()->statusLabel()->isVisible());
    EXPECT_EQ(w.titleBar()->statusLabel()->text(), error);
    // Play (the Space key's action) does not pretend to play it again.
    w.togglePlay();
    EXPECT_FALSE(w.isPlaying());
    EXPECT_EQ(w.playButton()->toolTip(), error);
}

TEST_F(MainWindowTest, OnboardingCardFollowsThePermissions) {
    backend.checks.input = false;
    MainWindow w(backend, backend);
    w.show();
    QCoreApplication::processEvents();
    auto* card = w.findChild<PermissionsOnboarding*>();
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(card->isVisible());
    EXPECT_EQ(card->rowState(0), QStringLiteral("Enabled"));
    EXPECT_EQ(card->rowState(1), QStringLiteral("Enable"));
    EXPECT_EQ(card->doneButton()->text(), QStringLiteral("Continue Anyway"));
    saveShot(w, QStringLiteral("onboarding"));

    backend.checks.input = true; // granted while the card is open
    ASSERT_TRUE(QTest::qWaitFor([&] { return card->rowState(1) == QStringLiteral("Enabled"); },
                                1500));
    EXPECT_EQ(card->doneButton()->text(), QStringLiteral("Start Recording"));
    card->doneButton()->click();
    EXPECT_FALSE(card->isVisible());
}

TEST_F(MainWindowTest, TakeWithoutFramesSaysSoInTheTitleBar) {
    MainWindow w(backend, backend);
    w.show();
    startRecording(w);
    w.recorder().stop(); // no frame was delivered
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.titleBar()->statusLabel()->isVisible(); }, 5000));
    EXPECT_TRUE(w.titleBar()->statusLabel()->text().startsWith(QStringLiteral("No frames were captured")));
    EXPECT_FALSE(w.editorShown());
    EXPECT_EQ(w.emptyState()->startStopButton()->text(), QStringLiteral("Record Screen"));
}

TEST_F(MainWindowTest, ExportOutcomesShowInTheTitleBarWithTheirReason) {
    MainWindow w(backend, backend);
    w.show();
    toReady(w);
    // A failure says why.
    w.exportTo(moviePath);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.recorder().exporting(); }, 30000));
    const QString refused =
        QStringLiteral("Export failed: the export would replace the recording itself; "
                       "choose another name");
    EXPECT_EQ(w.recorder().status(), refused);
    EXPECT_TRUE(w.titleBar()->statusLabel()->isVisible());
    EXPECT_EQ(w.titleBar()->statusLabel()->text(), refused);
    EXPECT_EQ(w.titleBar()->statusTone(), TitleBar::Tone::Problem);
    w.exportTo(QStringLiteral("/proc/orvane-cannot-write-here.mp4"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.recorder().exporting(); }, 30000));
    EXPECT_TRUE(w.titleBar()->statusLabel()->text().startsWith(
        QStringLiteral("Export failed: cannot write in /proc: ")))
        << w.titleBar()->statusLabel()->text().toStdString();
    // A success flashes the file's name too.
    w.exportTo(QString::fromStdString(dir.file("done.mp4")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.recorder().exporting(); }, 60000));
    EXPECT_EQ(w.recorder().statusKind(), StatusKind::ExportDone);
    EXPECT_TRUE(w.titleBar()->statusLabel()->isVisible());
    EXPECT_EQ(w.titleBar()->statusLabel()->text(), QStringLiteral("Exported ✓  done.mp4"));
    // Good news does not look like an error.
    EXPECT_EQ(w.titleBar()->statusTone(), TitleBar::Tone::Success);
    EXPECT_NE(w.titleBar()->statusLabel()->palette().color(QPalette::WindowText),
              Theme::color(Theme::Color::danger));
}

TEST_F(MainWindowTest, NoCardWhenBothPermissionsAreThere) {
    MainWindow w(backend, backend);
    w.show();
    QCoreApplication::processEvents();
    auto* card = w.findChild<PermissionsOnboarding*>();
    EXPECT_TRUE(card == nullptr || !card->isVisible());
}

TEST_F(MainWindowTest, ThePressOnTheStopButtonIsNotAClickOfTheTake) {
    backend.moviePath = moviePath;
    MainWindow w(backend, backend);
    w.show();
    startRecording(w);
    backend.lastStream->deliver(1);
    backend.clock += 1;
    backend.click(QPointF(80, 50)); // a click in the recorded app
    backend.clock += 2;
    // The press on Stop, seen first by the global tap (the recorded display
    // shows our window), then by the window itself, which stops the take.
    backend.click(QPointF(300, 190));
    EXPECT_EQ(w.recorder().clickCount(), 2);
    QTest::mouseClick(w.emptyState()->startStopButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::ready; }, 5000));
    ASSERT_EQ(w.recorder().moments().size(), 1u);
    EXPECT_EQ(w.recorder().moments()[0].cx, 0.25);
}

TEST_F(MainWindowTest, AnInterruptedTakeOpensAtStart) {
    // What a killed take leaves in the output folder: its movie and journal.
    ASSERT_TRUE(QFile::copy(moviePath, backend.file(Recorder::kMovieName)));
    QFile journal(backend.file(Recorder::kJournalName));
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
    journal.write("orvane-take-journal 1\nvideo 320 200 0\nc 0.5 0.25 0.25\ns 0 0.5 0.5 0\n");
    journal.close();
    MainWindow w(backend, backend);
    w.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::ready; }, 3000));
    EXPECT_TRUE(w.editorShown());
    EXPECT_EQ(w.recorder().moments().size(), 1u);
    EXPECT_TRUE(w.recorder().status().startsWith(QStringLiteral("Recovered the interrupted take")));
}

TEST_F(MainWindowTest, ThePreviewIsHandedTheRecordersLookAsItIs) {
    MainWindow w(backend, backend);
    w.show();
    toReady(w);
    Recorder& rec = w.recorder();
    rec.setFormatIndex(2);
    rec.setBackground(3);
    rec.setPadding(0.12);
    rec.setCornerRadius(20);
    rec.setBgBlur(0.3);
    rec.setMotionBlur(0.7);
    rec.setSmoothness(0.55);
    const Look look = rec.look();
    EXPECT_EQ(look.formatIndex, 2);
    EXPECT_EQ(look.smoothness, 0.55);
    EXPECT_EQ(look.zoom, rec.zoom());
    ASSERT_NE(w.preview(), nullptr);
    EXPECT_EQ(w.preview()->settings().look, look);
    // The 1:1 format shapes the preview's canvas as it shapes the export.
    EXPECT_EQ(outputAspect(look, 320, 200), 1.0);
}

TEST_F(MainWindowTest, TheTimelineBarShowsTheTakesSoundOnlyWhenItHasSound) {
    // Without sound: no strip, and the bar keeps its height.
    {
        MainWindow w(backend, backend);
        w.show();
        toReady(w);
        auto* bar = w.timelineBar();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return w.player()->status() == ui::MoviePlayer::Status::Ready; }, 5000));
        QTest::qWait(300); // room for an outline that should not come
        EXPECT_FALSE(bar->hasWaveform());
        EXPECT_EQ(bar->height(), static_cast<int>(TimelineGeometry::kBarHeight));
    }
    // A take with a microphone track: the outline is read off the main
    // thread and then shows as the strip, loud where the tone is.
    const std::string movie = dir.file("sound.mov");
    ASSERT_TRUE(test::runFfmpeg(
        "-f lavfi -i color=c=gray:s=320x200:r=30:d=2 "
        "-f lavfi -i \"aevalsrc='0.8*sin(2*PI*440*t)*between(t,1,1.5)':s=48000:d=2\" "
        "-map 0:v -map 1:a -c:v libx264 -preset ultrafast -c:a aac -ac 2 "
        "-metadata:s:a:0 handler_name=\"Orvane microphone\" \"" + movie + "\""));
    moviePath = QString::fromStdString(movie);
    MainWindow w(backend, backend);
    w.show();
    toReady(w);
    auto* bar = w.timelineBar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->hasWaveform(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->height(), static_cast<int>(TimelineGeometry::kBarHeightWithSound));
    const QImage img = bar->grab().toImage();
    const QRectF strip = bar->waveRect();
    const auto litRows = [&](double t) {
        const int x = static_cast<int>(t / w.recorder().duration() * bar->width());
        const QRgb background = img.pixel(x, static_cast<int>(strip.top()) + 1);
        int lit = 0;
        for (int y = static_cast<int>(strip.top()) + 1; y < static_cast<int>(strip.bottom()); ++y) {
            const QRgb c = img.pixel(x, y);
            lit += std::abs(qRed(c) - qRed(background)) + std::abs(qGreen(c) - qGreen(background)) +
                           std::abs(qBlue(c) - qBlue(background)) > 60;
        }
        return lit;
    };
    EXPECT_GT(litRows(1.25), 8);
    EXPECT_EQ(litRows(0.5), 0);
    EXPECT_EQ(litRows(1.8), 0);
    saveShot(w, QStringLiteral("ready-with-sound"));
}

// A take with sound on a computer without a sound server: the picture plays,
// the title bar says the sound cannot be heard, and the Audio section offers
// the volume of the source the take has.
TEST_F(MainWindowTest, ATakeWithSoundButNoSoundServerSaysSoAndOffersItsVolume) {
    const std::string withSound = dir.file("sound.mov");
    ASSERT_TRUE(test::runFfmpeg(
        "-f lavfi -i testsrc2=size=320x200:rate=30 -f lavfi -i sine=frequency=440:sample_rate=48000 "
        "-t 2 -c:v libx264 -g 15 -c:a aac -ac 2 -metadata:s:a:0 handler_name=\"Orvane microphone\" \"" +
        withSound + "\""));
    moviePath = QString::fromStdString(withSound);
    const char* server = std::getenv("PULSE_SERVER");
    const std::string saved = server != nullptr ? server : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/orvane-no-server", 1);

    {
        MainWindow w(backend, backend);
        w.show();
        AudioSection* audio = w.rail()->compositionPanel()->audioSection();
        EXPECT_TRUE(audio->soundKinds().empty());
        toReady(w);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !audio->soundKinds().empty(); }, 5000));
        EXPECT_EQ(audio->soundKinds(), std::vector<SoundKind>{SoundKind::Microphone});
        EXPECT_FALSE(audio->isHidden());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return w.titleBar()->statusLabel()->isVisible() &&
                       w.titleBar()->statusLabel()->text().contains(QStringLiteral("without sound"));
            },
            5000));
        EXPECT_TRUE(w.titleBar()->statusLabel()->text().startsWith(QStringLiteral("No sound server")))
            << w.titleBar()->statusLabel()->text().toStdString();
        EXPECT_FALSE(w.titleBar()->statusLabel()->text().contains(QString::fromUtf8(". —")))
            << "one sentence: " << w.titleBar()->statusLabel()->text().toStdString();
        // The picture still plays.
        w.togglePlay();
        ASSERT_TRUE(w.isPlaying());
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.player()->currentTime() > 0.3; }, 3000));
        EXPECT_FALSE(w.player()->soundIsClock());
    }
    if (saved.empty()) {
        unsetenv("PULSE_SERVER");
    } else {
        setenv("PULSE_SERVER", saved.c_str(), 1);
    }
}

TEST_F(MainWindowTest, TheStartScreenListsTheLibraryAndOpensATakeWithItsEdits) {
    TakeLibrary library(QString::fromStdString(dir.file("Videos/Orvane")));
    backend.copyMovieFrom = moviePath;
    QString first;
    {
        MainWindow w(backend, backend);
        w.setLibrary(&library);
        w.show();
        toReady(w); // the movie is copied into the take's own folder
        first = w.recorder().takeFolder();
        // The title bar names the take, not its movie (every take's is
        // orvane-recording.mov).
        EXPECT_EQ(w.titleBar()->nameLabel()->text(), QFileInfo(first).fileName());
        w.recorder().setPadding(0.3);
        ASSERT_TRUE(w.recorder().renameTake(QStringLiteral("Checkout flow")));
    } // closed: the edit is saved with it

    MainWindow w(backend, backend);
    w.setLibrary(&library);
    w.resize(1400, 880);
    w.show();
    ASSERT_NE(w.takeList(), nullptr);
    ASSERT_TRUE(w.takeList()->isVisible());
    QListWidget* list = w.takeList()->list();
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->text().startsWith(QStringLiteral("Checkout flow\n")));
    // Beside the Record button, never over it.
    const QRect button(w.emptyState()->startStopButton()->mapTo(&w, QPoint(0, 0)),
                       w.emptyState()->startStopButton()->size());
    const QRect panel(w.takeList()->mapTo(&w, QPoint(0, 0)), w.takeList()->size());
    EXPECT_FALSE(button.intersects(panel));
    saveShot(w, QStringLiteral("library"));

    // A take recorded elsewhere (orvane-record) joins the list on its own.
    auto other = library.createTakeFolder(QDateTime::currentDateTime().addSecs(60));
    ASSERT_TRUE(other);
    ASSERT_TRUE(QFile::copy(moviePath, QDir(other.value()).filePath(QStringLiteral("orvane-recording.mov"))));
    ProjectState project;
    project.name = "From the command line";
    project.duration = 2;
    project.videoW = 320;
    project.videoH = 200;
    ASSERT_TRUE(takefiles::saveProject(other.value(), project));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 2; }, 5000));
    EXPECT_TRUE(list->item(0)->text().startsWith(QStringLiteral("From the command line\n")));
    // The take this test opens is the older one, now second.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.editorShown(); }, 5000));
    EXPECT_EQ(w.recorder().takeFolder(), first);
    EXPECT_EQ(w.recorder().padding(), 0.3);
    EXPECT_EQ(w.titleBar()->nameLabel()->text(), QStringLiteral("Checkout flow"));
    EXPECT_EQ(w.recorder().zooms().size(), 1u);
}

// --- Recording controls --------------------------------------------------------------------

TEST_F(MainWindowTest, ADisplayTakeTakesTheWindowOutOfTheShotAndTheBarHoldsItsControls) {
    MainWindow w(backend, backend);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    RecordingControls& controls = *w.recordingControls();
    backend.moviePath = moviePath;
    startRecording(w); // the whole display
    EXPECT_FALSE(w.isVisible()) << "the window is in the picture of a display take";
    RecordingBar& bar = *controls.bar();
    // The bar shows by default (and always where there is no status icon).
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    EXPECT_EQ(bar.windowTitle(), QString::fromUtf8("Orvane — Recording"));
    // One screen, and it is recorded: the bar sits in its lower right corner.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(screen.contains(bar.geometry()));
    EXPECT_GT(bar.geometry().left(), screen.center().x());
    EXPECT_GT(bar.geometry().top(), screen.center().y());

    // Pause and resume from the bar: the time stands still while paused.
    backend.clock += 2;
    bar.pauseButton()->click();
    EXPECT_TRUE(w.recorder().paused());
    EXPECT_EQ(bar.pauseButton()->text(), QStringLiteral("Resume"));
    backend.clock += 5;
    QTest::qWait(300);
    EXPECT_EQ(bar.elapsedText(), QStringLiteral("0:02"));
    bar.pauseButton()->click();
    EXPECT_FALSE(w.recorder().paused());
    backend.clock += 1;
    QTest::qWait(300);
    EXPECT_EQ(bar.elapsedText(), QStringLiteral("0:03"));

    // Stop from the bar: the take ends, the bar goes, the window is back.
    backend.lastStream->deliver(1);
    bar.stopButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::ready; }, 5000));
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(bar.isVisible());
    EXPECT_TRUE(w.editorShown());
}

TEST_F(MainWindowTest, AWindowTakeOfAnotherWindowLeavesTheWindowWhereItIs) {
    MainWindow w(backend, backend);
    w.show();
    ASSERT_NO_FATAL_FAILURE(startWindowTake(w));
    EXPECT_TRUE(w.isVisible());
    w.recorder().discard();
}

TEST_F(MainWindowTest, ACountdownShowsItsSecondsAndEscCancelsIt) {
    MainWindow w(backend, backend);
    w.show();
    QComboBox* countdown = w.recordingOptions()->countdownBox();
    const int three = countdown->findData(3);
    ASSERT_GE(three, 0);
    countdown->setCurrentIndex(three);
    emit countdown->activated(three);
    EXPECT_EQ(w.recorder().countdown(), 3);
    EXPECT_EQ(RecordingSettings::load().countdown, 3) << "the choice is remembered";

    w.recorder().start();
    CaptureContent display;
    display.area = QRectF(0, 0, 320, 200);
    emit backend.pickerFake.contentChosen(display);
    QCoreApplication::processEvents();
    ASSERT_TRUE(w.recorder().countingDown());
    EXPECT_FALSE(w.isVisible()) << "out of the shot before the countdown";
    CountdownOverlay& overlay = *w.recordingControls()->overlay();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&overlay));
    EXPECT_EQ(overlay.secondsLeft(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return overlay.secondsLeft() == 2; }, 2000));
    QTest::keyClick(&overlay, Qt::Key_Escape);
    EXPECT_FALSE(w.recorder().countingDown());
    EXPECT_FALSE(overlay.isVisible());
    EXPECT_TRUE(w.isVisible()) << "a cancelled countdown brings the window back";
    EXPECT_EQ(backend.lastStream, nullptr) << "nothing was recorded";
    EXPECT_EQ(w.recorder().phase(), Phase::idle);

    // Back to no countdown for the other tests.
    countdown->setCurrentIndex(countdown->findData(0));
    emit countdown->activated(countdown->findData(0));
}

TEST_F(MainWindowTest, ClosingDuringATakeAsksAndKeepsTheTake) {
    TakeLibrary library(QString::fromStdString(dir.file("library")));
    // The discarded take goes to a Trash of this test's own, never the
    // user's. Where Qt cannot tell the filesystem of the test folder it puts
    // the Trash in the working folder: that is the test folder here too.
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.file("data")));
    QDir().mkpath(QString::fromStdString(dir.file("data")));
    const QString workingFolder = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.path()));
    {
        // "Keep recording": nothing changes.
        MainWindow w(backend, backend);
        w.setLibrary(&library);
        w.show();
        ASSERT_NO_FATAL_FAILURE(startWindowTake(w));
        w.setCloseAnswer(MainWindow::CloseAnswer::KeepRecording);
        EXPECT_FALSE(w.close());
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(w.recorder().phase(), Phase::recording);

        // "Stop and keep the take": the window closes once the take is kept.
        backend.lastStream->deliver(2);
        w.setCloseAnswer(MainWindow::CloseAnswer::StopAndKeep);
        EXPECT_FALSE(w.close()) << "it waits for the take to finish";
        ASSERT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 5000));
        EXPECT_EQ(w.recorder().phase(), Phase::ready);
        const QString folder = w.recorder().recordingFolder();
        EXPECT_TRUE(QFileInfo(QDir(folder).filePath(QStringLiteral("orvane-project.json"))).isFile());
        EXPECT_TRUE(QFileInfo(QDir(folder).filePath(QStringLiteral("quilbo-clicks.json"))).isFile());
    }
    {
        // "Discard": the take goes, and the window closes.
        MainWindow w(backend, backend);
        w.setLibrary(&library);
        w.show();
        ASSERT_NO_FATAL_FAILURE(startWindowTake(w));
        const QString folder = w.recorder().recordingFolder();
        ASSERT_TRUE(QFileInfo(folder).isDir());
        w.setCloseAnswer(MainWindow::CloseAnswer::Discard);
        EXPECT_TRUE(w.close());
        EXPECT_EQ(w.recorder().phase(), Phase::idle);
        EXPECT_FALSE(QFileInfo(folder).exists()) << "the discarded take went to the Trash";
        const QString name = QFileInfo(folder).fileName();
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(dir.file("data/Trash/files/")) + name) ||
                    QFileInfo::exists(QString::fromStdString(dir.file("files/")) + name))
            << "in this test's own Trash";
    }
    qunsetenv("XDG_DATA_HOME");
    QDir::setCurrent(workingFolder);
}

TEST_F(MainWindowTest, WithRecordARegionTheDraggedRectangleIsWhatTheTakeRecords) {
    MainWindow w(backend, backend);
    w.show();
    ASSERT_NE(w.regionSelector(), nullptr) << "X11: the window offers its region overlay";
    QCheckBox* region = w.recordingOptions()->regionBox();
    region->setChecked(true);
    EXPECT_TRUE(RecordingSettings::load().region);

    w.recorder().start();
    CaptureContent display;
    display.area = QRectF(0, 0, 640, 400);
    display.title = QStringLiteral("Screen");
    emit backend.pickerFake.contentChosen(display);
    RegionSelector& selector = *w.regionSelector();
    ASSERT_TRUE(QTest::qWaitFor([&] { return selector.isVisible(); }, 3000));
    EXPECT_FALSE(w.isVisible()) << "the window is not in the picture the overlay shows";
    EXPECT_EQ(w.recorder().phase(), Phase::idle) << "nothing records while the region is chosen";
    // A click is not a drag: the overlay stays for another try.
    QTest::mouseClick(&selector, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_TRUE(selector.isVisible());
    QTest::mousePress(&selector, Qt::LeftButton, {}, QPoint(111, 61));
    QTest::mouseMove(&selector, QPoint(60, 30));
    QTest::mouseRelease(&selector, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::recording; }, 3000));
    EXPECT_EQ(w.recorder().recordedContent().region, QRect(10, 10, 100, 50)) << "snapped to even pixels";
    EXPECT_FALSE(selector.isVisible());
    backend.lastStream->deliver(1);
    w.recorder().stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::ready; }, 5000));
    EXPECT_TRUE(w.isVisible());

    // Esc on the overlay cancels the choice: the window is back, nothing recorded.
    w.recorder().start();
    emit backend.pickerFake.contentChosen(display);
    ASSERT_TRUE(QTest::qWaitFor([&] { return selector.isVisible(); }, 3000));
    QTest::keyClick(&selector, Qt::Key_Escape);
    EXPECT_FALSE(selector.isVisible());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.recorder().phase(), Phase::ready) << "the open take stays";
    region->setChecked(false);
}

TEST_F(MainWindowTest, TheStatusIconRegistersWithTheDesktopAndItsStopEndsTheTake) {
    const QString log = qEnvironmentVariable("ORVANE_TEST_SNI_LOG");
    if (log.isEmpty()) {
        GTEST_SKIP() << "needs the tests' status icon host (status-icon-test.sh)";
    }
    MainWindow w(backend, backend);
    w.show();
    RecordingControls& controls = *w.recordingControls();
    ASSERT_TRUE(controls.hasStatusIcon()) << "the desktop hosts status icons";
    EXPECT_TRUE(w.recordingOptions()->findChild<QCheckBox*>()->isVisibleTo(w.recordingOptions()))
        << "with a status icon the bar may be hidden";
    backend.moviePath = moviePath;
    startRecording(w);
    backend.lastStream->deliver(2);
    // The host clicks "Stop Recording" in the icon's menu once it registered.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::ready; }, 15000));
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString events = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(events.contains(QStringLiteral("registered "))) << events.toStdString();
    EXPECT_TRUE(events.contains(QStringLiteral("menu Stop Recording|Pause|Discard…|Quit Orvane…")))
        << events.toStdString();
    EXPECT_TRUE(events.contains(QStringLiteral("clicked Stop Recording"))) << events.toStdString();
    EXPECT_TRUE(w.isVisible()) << "the window is back after the take";
    EXPECT_FALSE(controls.statusIcon()->isVisible()) << "the icon goes with the take";
}

TEST_F(MainWindowTest, OnWaylandTheRegionIsDraggedOverTheLiveScreen) {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        GTEST_SKIP() << "runs in the headless Wayland session (ui.windowWayland)";
    }
    MainWindow w(backend, backend);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_NE(w.regionSelector(), nullptr) << "Wayland: the window offers its region overlay";
    w.recordingOptions()->regionBox()->setChecked(true);
    w.recorder().start();
    CaptureContent shared;
    shared.area = QRectF(0, 0, 1280, 800); // a portal stream: no place on the desktop
    shared.title = QStringLiteral("Shared screen");
    emit backend.pickerFake.contentChosen(shared);
    RegionSelector& selector = *w.regionSelector();
    ASSERT_TRUE(QTest::qWaitFor([&] { return selector.isVisible(); }, 3000));
    EXPECT_TRUE(selector.testAttribute(Qt::WA_TranslucentBackground)) << "over the live screen";
    EXPECT_EQ(selector.size(), QGuiApplication::primaryScreen()->geometry().size()) << "it covers the screen";
    QTest::mousePress(&selector, Qt::LeftButton, {}, QPoint(200, 100));
    QTest::mouseMove(&selector, QPoint(400, 300));
    QTest::mouseRelease(&selector, Qt::LeftButton, {}, QPoint(521, 341));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::recording; }, 3000));
    // The stream checks it against the shared monitor's pixels; here it is
    // passed on as dragged, snapped to even pixels.
    EXPECT_EQ(w.recorder().recordedContent().region, QRect(200, 100, 320, 240));
    backend.lastStream->deliver(1);
    w.recorder().stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::ready; }, 5000));
    EXPECT_TRUE(w.isVisible());
    w.recordingOptions()->regionBox()->setChecked(false);
}

TEST_F(MainWindowTest, TheBarSaysHowLongTheDiskLastsAndTheTakeStopsBeforeItIsFull) {
    test::SmallFilesystem disk(200LL * 1000 * 1000);
    if (!disk.mounted()) {
        GTEST_SKIP() << "needs root to mount a small filesystem";
    }
    TakeLibrary library(disk.path());
    MainWindow w(backend, backend);
    w.setLibrary(&library);
    w.show();
    ASSERT_NO_FATAL_FAILURE(startWindowTake(w));
    RecordingBar& bar = *w.recordingControls()->bar();
    EXPECT_TRUE(bar.diskNote().isEmpty());

    // 20 MB in 10 s of take time, about 180 MB free: a minute and a half left.
    const QString movie = w.recorder().videoURL();
    {
        QFile f(movie);
        ASSERT_TRUE(f.open(QIODevice::Append));
        ASSERT_EQ(f.write(QByteArray(20 * 1000 * 1000, 'm')), 20 * 1000 * 1000);
    }
    backend.clock += 10;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar.diskNote().isEmpty(); }, 5000));
    EXPECT_EQ(bar.diskNote(), QStringLiteral("About 2 min left on the disk"));
    EXPECT_EQ(w.recorder().phase(), Phase::recording);

    // Something else fills the disk: the take stops cleanly and is kept.
    backend.lastStream->deliver(2);
    {
        QFile other(disk.filePath(QStringLiteral("other.bin")));
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
        ASSERT_EQ(other.write(QByteArray(135 * 1000 * 1000, 'x')), 135 * 1000 * 1000);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recorder().phase() == Phase::ready; }, 6000));
    EXPECT_EQ(w.titleBar()->statusLabel()->text(),
              QStringLiteral("The take was stopped: the disk is nearly full"));
}
