// Takes kept in the library and reopened with their edits, through the
// Recorder the window uses (on the capture test doubles, with a real movie
// per take), and their exports against orvane-render --project.
#include "FakeBackend.h"
#include "MovieFixtures.h"

#include "app/Recorder.h"
#include "app/TakeLibrary.h"
#include "capture/NullCaptureBackend.h"
#include "capture/TakeJournalWriter.h"
#include "timeline/TakeJournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace orvane;
using namespace orvane::test;

namespace {

ino_t inode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every frame's checksum, as ffmpeg's framemd5 muxer lists them.
QByteArray frameChecksums(const QString& movie) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                       QStringLiteral("error"), QStringLiteral("-i"), movie,
                                       QStringLiteral("-map"), QStringLiteral("0:v"),
                                       QStringLiteral("-f"), QStringLiteral("framemd5"),
                                       QStringLiteral("-")});
    p.waitForFinished(120000);
    QByteArray lines;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (!line.startsWith('#')) {
            lines += line + '\n';
        }
    }
    return lines;
}

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string movie = dir.file("source.mp4");
        IndexMovie m;
        m.frames = 60;
        ASSERT_TRUE(makeIndexMovie(movie, m));
        backend.copyMovieFrom = QString::fromStdString(movie);
        backend.duration = 2.0;
        backend.folder = QString::fromStdString(dir.file("Desktop"));
        QDir().mkpath(backend.folder);
        backend.setOutputFolder(backend.folder);
        rec = std::make_unique<Recorder>(backend, backend);
        rec->setLibrary(&library);
    }
    // Start, then the user picks the 320 x 200 area (the choice and the
    // capture start each run as a step of their own).
    void chooseArea() {
        rec->start();
        CaptureContent c;
        c.area = QRectF(0, 0, 320, 200);
        c.pixelScale = 1;
        emit backend.pickerFake.contentChosen(c);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    // One take of the 320 x 200 area with clicks at the given times.
    void recordTake(std::initializer_list<double> clicks) {
        chooseArea();
        ASSERT_EQ(rec->phase(), Phase::recording) << rec->status().toStdString();
        backend.lastStream->deliver(1);
        for (double t : clicks) {
            backend.clock = rec->startTime() + t;
            backend.click(QPointF(0.3 * 320, 0.6 * 200));
        }
        backend.clock = rec->startTime() + 1.9;
        rec->stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return rec->phase() == Phase::ready; }, 5000));
        // Two takes in one second get folders of their own either way.
    }
    bool exportTo(const QString& path) {
        rec->exportTo(path);
        return QTest::qWaitFor([&] { return !rec->exporting(); }, 120000) &&
               rec->statusKind() == StatusKind::ExportDone;
    }
    // Edits of every kind the project file keeps.
    void editEverything() {
        ASSERT_FALSE(rec->zooms().empty());
        rec->beginEdit();
        rec->setZoomLevel(0, 2.5);
        rec->setZoomSmooth(0, 0.3);
        rec->setZoomFocus(0, NormPoint{0.25, 0.75});
        rec->addZoom(1.2, 1.8);
        rec->setTrimStart(0.2);
        rec->setTrimEnd(1.7);
        rec->setPadding(0.2);
        rec->setCornerRadius(30);
        rec->setBackground(3);
        rec->setFormatIndex(2);
        rec->setBgBlur(0.5);
        rec->setSmoothness(0.4);
        rec->setSoundMix(SoundMix{0.5, 1.5, true, false});
        // A cut part and a sped-up part.
        rec->splitAt(0.6);
        rec->splitAt(0.9);
        rec->setSectionCut(1, true);
        rec->splitAt(1.3);
        rec->beginEdit();
        rec->setSectionSpeed(3, 2);
        ASSERT_EQ(rec->sections().size(), 4U);
    }

    TempDir dir;
    TakeLibrary library{QString::fromStdString(dir.file("Videos/Orvane"))};
    FakeBackend backend;
    std::unique_ptr<Recorder> rec;
};

} // namespace

TEST_F(ProjectTest, ThreeTakesAreAllKeptAndTheDesktopHasTheLatest) {
    recordTake({0.5});
    const QString first = rec->takeFolder();
    recordTake({0.4, 1.2});
    const QString second = rec->takeFolder();
    recordTake({});
    const QString third = rec->takeFolder();
    ASSERT_EQ(QSet<QString>({first, second, third}).size(), 3);
    const auto takes = library.list();
    ASSERT_EQ(takes.size(), 3u);
    for (const QString& folder : {first, second, third}) {
        SCOPED_TRACE(folder.toStdString());
        for (const char* name : {Recorder::kMovieName, Recorder::kClicksName, Recorder::kTrackName,
                                 ProjectState::kFileName}) {
            EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(name)))) << name;
        }
        EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(Recorder::kJournalName))));
    }
    // The Desktop's two files are the third take's, the movie stored once.
    const QString desktopMovie = QDir(backend.folder).filePath(QString::fromLatin1(Recorder::kMovieName));
    EXPECT_EQ(inode(desktopMovie), inode(QDir(third).filePath(QString::fromLatin1(Recorder::kMovieName))));
    EXPECT_EQ(readAll(QDir(backend.folder).filePath(QString::fromLatin1(Recorder::kClicksName))),
              readAll(QDir(third).filePath(QString::fromLatin1(Recorder::kClicksName))));
    EXPECT_NE(inode(QDir(first).filePath(QString::fromLatin1(Recorder::kMovieName))),
              inode(desktopMovie));
    // The second take's clicks are its own.
    EXPECT_EQ(readAll(QDir(second).filePath(QString::fromLatin1(Recorder::kClicksName))).count("\"t\""), 2);
}

TEST_F(ProjectTest, EditsAreSavedSoonAndReopenExactlyWithTheSameExport) {
    recordTake({0.5, 1.4});
    const QString folder = rec->takeFolder();
    editEverything();
    // Saved within a second of the edits, not at each one.
    const int before = rec->saveCount();
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec->saveCount() > before; }, 1000));
    std::printf("saved %lld ms after the last edit\n", static_cast<long long>(timer.elapsed()));
    EXPECT_EQ(rec->saveCount(), before + 1);
    const auto zooms = rec->zooms();
    const auto look = rec->look();
    const double trimStart = rec->trimStart();
    const double trimEnd = rec->trimEnd();
    const auto sections = rec->sections();
    const QString before1 = QString::fromStdString(dir.file("before.mp4"));
    ASSERT_TRUE(exportTo(before1)) << rec->status().toStdString();

    // Closed and opened again, as after a restart.
    rec.reset();
    rec = std::make_unique<Recorder>(backend, backend);
    rec->setLibrary(&library);
    ASSERT_TRUE(rec->openTake(folder)) << rec->status().toStdString();
    EXPECT_EQ(rec->phase(), Phase::ready);
    EXPECT_EQ(rec->zooms(), zooms);
    EXPECT_EQ(rec->look(), look);
    EXPECT_EQ(rec->trimStart(), trimStart);
    EXPECT_EQ(rec->trimEnd(), trimEnd);
    EXPECT_EQ(rec->sections(), sections);
    EXPECT_EQ(rec->moments().size(), 2u);
    EXPECT_TRUE(rec->undoStack().empty());
    const QString after = QString::fromStdString(dir.file("after.mp4"));
    ASSERT_TRUE(exportTo(after)) << rec->status().toStdString();
    const QByteArray sums = frameChecksums(before1);
    EXPECT_GT(sums.count('\n'), 10);
    EXPECT_EQ(frameChecksums(after), sums);

    // orvane-render --project writes the same frames as the window's Export.
    const QString cli = QString::fromStdString(dir.file("cli.mp4"));
    QProcess render;
    render.start(QStringLiteral(ORVANE_RENDER_COMMAND), {QStringLiteral("--project"), folder,
                                                         QStringLiteral("-o"), cli});
    ASSERT_TRUE(render.waitForFinished(120000));
    ASSERT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
    EXPECT_EQ(frameChecksums(cli), sums);
    // A look option beside it overrides the file's value.
    const QString padded = QString::fromStdString(dir.file("padded.mp4"));
    render.start(QStringLiteral(ORVANE_RENDER_COMMAND),
                 {QStringLiteral("--project"), takefiles::projectPath(folder),
                  QStringLiteral("--padding"), QStringLiteral("0"), QStringLiteral("-o"), padded});
    ASSERT_TRUE(render.waitForFinished(120000));
    ASSERT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
    EXPECT_NE(frameChecksums(padded), sums);
}

TEST_F(ProjectTest, NoSaveHappensInTheMiddleOfADrag) {
    recordTake({0.5});
    QTest::qWait(Project::kSaveDelayMs + 100);
    const int before = rec->saveCount();
    rec->beginGesture();
    rec->beginEdit();
    rec->moveZoom(0, 0.8);
    QTest::qWait(Project::kSaveDelayMs * 2);
    EXPECT_EQ(rec->saveCount(), before); // half done
    rec->moveZoom(0, 0.9);
    rec->endGesture();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec->saveCount() > before; }, 1000));
    auto reread = takefiles::open(rec->takeFolder(), [](const QString&) { return std::nullopt; });
    ASSERT_TRUE(reread) << reread.error();
    ASSERT_EQ(reread->project.zooms.size(), 1u);
    EXPECT_DOUBLE_EQ(reread->project.zooms[0].start, rec->zooms()[0].start);
}

TEST_F(ProjectTest, RecordAgainCancelledLeavesTheTakeAndDiscardGoesToTheTrash) {
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    recordTake({0.5});
    const QString folder = rec->takeFolder();
    rec->setPadding(0.3);
    rec->start();
    emit backend.pickerFake.cancelled();
    QCoreApplication::processEvents();
    EXPECT_EQ(rec->phase(), Phase::ready);
    EXPECT_EQ(rec->padding(), 0.3);
    EXPECT_EQ(rec->zooms().size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(Recorder::kMovieName))));

    rec->discard();
    EXPECT_EQ(rec->phase(), Phase::idle);
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_TRUE(QFileInfo(QDir(data.path()).filePath(QStringLiteral("Trash/files/") +
                                                     QFileInfo(folder).fileName()))
                    .isDir());
    EXPECT_TRUE(library.list().empty());
    // The Desktop's movie was that take's, and went with it; the clicks stay.
    EXPECT_FALSE(QFileInfo::exists(QDir(backend.folder).filePath(QString::fromLatin1(Recorder::kMovieName))));
    EXPECT_TRUE(QFileInfo::exists(QDir(backend.folder).filePath(QString::fromLatin1(Recorder::kClicksName))));
    qunsetenv("XDG_DATA_HOME");
}

TEST_F(ProjectTest, AProjectFileThatCannotBeReadIsNeverOverwritten) {
    recordTake({0.5});
    const QString folder = rec->takeFolder();
    const QString project = takefiles::projectPath(folder);
    recordTake({}); // another take is open now
    const QByteArray damaged = "{\"version\":1,\"zooms\":[{\"start\":";
    {
        QFile f(project);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damaged);
    }
    ASSERT_TRUE(rec->openTake(folder)) << rec->status().toStdString();
    EXPECT_TRUE(rec->status().startsWith(QStringLiteral("The project file was damaged")))
        << rec->status().toStdString();
    EXPECT_EQ(rec->statusKind(), StatusKind::OpenedWithNote);
    EXPECT_EQ(readAll(QDir(folder).filePath(QStringLiteral("orvane-project.damaged.json"))), damaged);
    EXPECT_EQ(rec->zooms().size(), 1u); // made from its clicks again
    rec->setPadding(0.2);
    ASSERT_TRUE(rec->save());
    EXPECT_EQ(readAll(QDir(folder).filePath(QStringLiteral("orvane-project.damaged.json"))), damaged);

    // From a newer Orvane: refused, the open take and the file left alone.
    const QByteArray newer = "{\"version\":7,\"name\":\"future\"}";
    {
        QFile f(project);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(newer);
    }
    recordTake({});
    const QString open = rec->takeFolder();
    EXPECT_FALSE(rec->openTake(folder));
    EXPECT_EQ(rec->statusKind(), StatusKind::OpenFailed);
    EXPECT_TRUE(rec->status().contains(QStringLiteral("newer Orvane"))) << rec->status().toStdString();
    EXPECT_EQ(rec->takeFolder(), open);
    EXPECT_EQ(readAll(project), newer);

    // Its movie gone: refused with the reason.
    QFile::remove(project);
    QFile::remove(QDir(folder).filePath(QString::fromLatin1(Recorder::kMovieName)));
    EXPECT_FALSE(rec->openTake(folder));
    EXPECT_TRUE(rec->status().contains(QStringLiteral("is missing"))) << rec->status().toStdString();
    EXPECT_FALSE(rec->openTake(QString::fromStdString(dir.file("no-such-take"))));
    EXPECT_EQ(rec->phase(), Phase::ready);
}

TEST_F(ProjectTest, AnInterruptedTakeOfTheLibraryComesBackWithTheLookItWasRecordedWith) {
    // What a take killed mid-way leaves: its movie, its journal and the
    // project written when it started (with the look of that moment).
    rec->setPadding(0.33);
    rec->setBackground(6);
    recordTake({0.5});
    const QString folder = rec->takeFolder();
    rec.reset();
    ProjectState started;
    started.recording = true;
    started.look.padding = 0.33;
    started.look.background = 6;
    ASSERT_TRUE(takefiles::saveProject(folder, started));
    QFile::remove(QDir(folder).filePath(QString::fromLatin1(Recorder::kClicksName)));
    Moment click;
    click.t = 0.7;
    click.cx = 0.4;
    click.cy = 0.5;
    {
        QFile journal(QDir(folder).filePath(QString::fromLatin1(Recorder::kJournalName)));
        ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
        journal.write(QByteArray::fromStdString(takejournal::headerLine() +
                                                takejournal::videoLine(320, 200, false) +
                                                takejournal::sampleLine({0.1, 0.4, 0.5, false}) +
                                                takejournal::clickLine(click)));
    }
    ASSERT_TRUE(library.list().front().interrupted);

    rec = std::make_unique<Recorder>(backend, backend);
    rec->setLibrary(&library);
    ASSERT_TRUE(rec->recoverInterruptedTake()) << rec->status().toStdString();
    EXPECT_TRUE(rec->status().startsWith(QStringLiteral("Recovered the interrupted take — 1 zooms")))
        << rec->status().toStdString();
    EXPECT_EQ(rec->takeFolder(), folder);
    EXPECT_EQ(rec->padding(), 0.33);
    EXPECT_EQ(rec->background(), 6);
    ASSERT_EQ(rec->moments().size(), 1u);
    EXPECT_DOUBLE_EQ(rec->moments()[0].t, 0.7);
    // Its own files hold the journal's clicks now, and the journal is gone.
    EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(Recorder::kJournalName))));
    EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(Recorder::kClicksName))));
    auto saved = takefiles::readProject(folder);
    ASSERT_TRUE(saved) << saved.error();
    EXPECT_FALSE(saved->recording);
    EXPECT_EQ(saved->look.padding, 0.33);
    EXPECT_FALSE(library.list().front().interrupted);
    // Nothing left to recover.
    rec->discard();
    EXPECT_FALSE(rec->recoverInterruptedTake());
}

TEST_F(ProjectTest, ALibraryThatCannotBeWrittenSaysWhyAndRecordsNothing) {
    // The Videos folder is a file: the library cannot be made there.
    const QString blocked = QString::fromStdString(dir.file("blocked"));
    {
        QFile f(blocked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    TakeLibrary nowhere(QDir(blocked).filePath(QStringLiteral("Orvane")));
    rec->setLibrary(&nowhere);
    chooseArea();
    EXPECT_EQ(rec->phase(), Phase::idle);
    EXPECT_EQ(rec->statusKind(), StatusKind::StartFailed);
    EXPECT_TRUE(rec->status().startsWith(QStringLiteral("Couldn’t create video writer: cannot create "
                                                        "the library folder")))
        << rec->status().toStdString();
    EXPECT_FALSE(backend.inputFake.listening);
}

TEST_F(ProjectTest, RenderProjectRefusesWhatItCannotUseWithAReason) {
    recordTake({0.5});
    const QString folder = rec->takeFolder();
    auto run = [](const QStringList& args, QString* err) {
        QProcess p;
        p.start(QStringLiteral(ORVANE_RENDER_COMMAND), args);
        p.waitForFinished(60000);
        *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    };
    const QString out = QString::fromStdString(dir.file("out.mp4"));
    QString err;
    EXPECT_EQ(run({QStringLiteral("--project"), QString::fromStdString(dir.file("none")),
                   QStringLiteral("-o"), out}, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("there is no take at"))) << err.toStdString();
    EXPECT_EQ(run({QStringLiteral("--project"), folder, QStringLiteral("--clicks"),
                   QStringLiteral("x.json"), QStringLiteral("-o"), out}, &err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("--project holds the clicks"))) << err.toStdString();
    EXPECT_EQ(run({QStringLiteral("--project"), folder, QStringLiteral("-o"),
                   QDir(folder).filePath(QString::fromLatin1(Recorder::kMovieName))}, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("would replace the take's movie"))) << err.toStdString();
    {
        QFile f(takefiles::projectPath(folder));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{\"version\":3}");
    }
    EXPECT_EQ(run({QStringLiteral("--project"), folder, QStringLiteral("-o"), out}, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("newer Orvane"))) << err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(ProjectTest, WithoutACaptureBackendTakesStillOpenAndExportAndRecordingSaysWhy) {
    recordTake({0.5});
    const QString folder = rec->takeFolder();
    rec.reset();
    NullCaptureBackend none(QStringLiteral("Cannot connect to the X display :42."));
    EXPECT_EQ(none.captureNote(), QStringLiteral("Recording is unavailable: Cannot connect to the X "
                                                 "display :42. Your recordings can still be "
                                                 "opened, edited and exported."));
    Recorder noCapture(none, backend);
    noCapture.setLibrary(&library);
    noCapture.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return noCapture.statusKind() == StatusKind::StartFailed; }, 2000));
    EXPECT_EQ(noCapture.status(),
              QStringLiteral("Picker error: Recording is unavailable: Cannot connect to the X display :42"));
    EXPECT_EQ(noCapture.phase(), Phase::idle);
    EXPECT_FALSE(none.permissions().screenCaptureAllowed());

    ASSERT_TRUE(noCapture.openTake(folder)) << noCapture.status().toStdString();
    const QString out = QString::fromStdString(dir.file("offline.mp4"));
    noCapture.exportTo(out);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !noCapture.exporting(); }, 120000));
    EXPECT_EQ(noCapture.statusKind(), StatusKind::ExportDone) << noCapture.status().toStdString();
    EXPECT_TRUE(QFileInfo(out).size() > 0);
}

TEST_F(ProjectTest, ATakeWithoutAProjectFileOpensFromItsClicksAndGetsOne) {
    recordTake({0.5, 1.5});
    const QString folder = rec->takeFolder();
    recordTake({}); // another take is open now
    ASSERT_TRUE(QFile::remove(takefiles::projectPath(folder)));
    ASSERT_TRUE(rec->openTake(folder)) << rec->status().toStdString();
    EXPECT_EQ(rec->moments().size(), 2u);
    EXPECT_FALSE(rec->zooms().empty()); // made from its clicks
    EXPECT_EQ(rec->trimEnd(), rec->duration());
    EXPECT_EQ(rec->videoW(), 320); // read from the movie itself
    // The file is back, with every field.
    auto written = takefiles::readProject(folder);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(written->zooms, rec->zooms());
    EXPECT_EQ(written->videoH, 200);
    EXPECT_DOUBLE_EQ(written->duration, rec->duration());
}

TEST_F(ProjectTest, ATakeAnotherProgramRecordsIsNeitherRecoveredNorOpened) {
    recordTake({0.5});
    const QString folder = rec->takeFolder();
    rec.reset();
    // orvane-record (or another window) records into it now.
    auto journal = TakeJournalWriter::create(QDir(folder).filePath(QString::fromLatin1(Recorder::kJournalName)));
    ASSERT_TRUE(journal);
    rec = std::make_unique<Recorder>(backend, backend);
    rec->setLibrary(&library);
    EXPECT_FALSE(rec->recoverInterruptedTake());
    EXPECT_EQ(rec->phase(), Phase::idle);
    EXPECT_FALSE(rec->openTake(folder));
    EXPECT_EQ(rec->statusKind(), StatusKind::OpenFailed);
    EXPECT_TRUE(rec->status().endsWith(QStringLiteral("it is still being recorded")))
        << rec->status().toStdString();
    EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(Recorder::kJournalName))));
    journal.value()->close();
}
