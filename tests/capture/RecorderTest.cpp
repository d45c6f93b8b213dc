// The Recorder's session flows, status texts and files, against test doubles of
// the platform.
#include "FakeBackend.h"

#include "app/Recorder.h"
#include "timeline/ClicksFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

namespace {

const QString kNoFrames =
    QStringLiteral("No frames were captured — check Screen Recording permission and try again");

CaptureContent display(QRectF area, double scale = 1) {
    CaptureContent c;
    c.area = area;
    c.pixelScale = scale;
    c.title = QStringLiteral("Fake display");
    return c;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class RecorderTest : public ::testing::Test {
protected:
    void choose(const CaptureContent& c) {
        emit backend.pickerFake.contentChosen(c);
        QCoreApplication::processEvents(); // beginCapture
        QCoreApplication::processEvents(); // startCapture
    }
    void startRecording(QRectF area = {0, 0, 1920, 1080}) {
        rec.start();
        choose(display(area));
        ASSERT_EQ(rec.phase(), Phase::recording);
    }
    void click(double x, double y) { backend.click(QPointF(x, y)); }
    bool stopAndWait() {
        rec.stop();
        return QTest::qWaitFor([&] { return rec.status() != QStringLiteral("Finishing…"); }, 5000);
    }

    FakeBackend backend;
    Recorder rec{backend, backend};
};

} // namespace

TEST_F(RecorderTest, InitialValues) {
    EXPECT_EQ(rec.phase(), Phase::idle);
    EXPECT_EQ(rec.clickCount(), 0);
    EXPECT_FALSE(rec.needsPermission());
    EXPECT_EQ(rec.status(), QStringLiteral("Ready"));
    EXPECT_TRUE(rec.videoURL().isEmpty());
    EXPECT_TRUE(rec.moments().empty());
    EXPECT_TRUE(rec.zooms().empty());
    EXPECT_EQ(rec.duration(), 0);
    EXPECT_EQ(rec.zoom(), 1.5);
    EXPECT_EQ(rec.smoothness(), 0.8);
    EXPECT_EQ(rec.zoomMerge(), 3.5);
    EXPECT_EQ(rec.motionBlur(), 0);
    EXPECT_EQ(rec.bgBlur(), 0);
    EXPECT_EQ(rec.padding(), 0.08);
    EXPECT_EQ(rec.cornerRadius(), 8.0);
    EXPECT_EQ(rec.background(), 0);
    EXPECT_EQ(rec.formatIndex(), 0);
    EXPECT_FALSE(rec.exporting());
    EXPECT_EQ(rec.exportProgress(), 0);
    EXPECT_FALSE(rec.selected().has_value());
    EXPECT_FALSE(rec.videoSelected());
    EXPECT_EQ(rec.trimStart(), 0);
    EXPECT_EQ(rec.trimEnd(), 0);
    EXPECT_TRUE(rec.undoStack().empty());
    EXPECT_EQ(rec.videoW(), 1920);
    EXPECT_EQ(rec.videoH(), 1200);
    EXPECT_TRUE(rec.samples().empty());
    EXPECT_TRUE(rec.cursorTrack().empty());
    EXPECT_EQ(rec.startTime(), 0);
    // Creating a recorder starts nothing.
    EXPECT_EQ(backend.pickerFake.presented, 0);
    EXPECT_FALSE(backend.inputFake.listening);
}

TEST_F(RecorderTest, StartWithoutInputAccessOpensNoPicker) {
    backend.checks.input = false;
    rec.start();
    EXPECT_TRUE(rec.needsPermission());
    EXPECT_EQ(rec.status(), QStringLiteral("Grant Accessibility, then Start again"));
    EXPECT_EQ(backend.pickerFake.presented, 0);
    EXPECT_EQ(rec.phase(), Phase::idle);
}

TEST_F(RecorderTest, StartOpensThePicker) {
    rec.start();
    EXPECT_FALSE(rec.needsPermission());
    EXPECT_EQ(rec.status(), QStringLiteral("Choose what to record…"));
    EXPECT_EQ(backend.pickerFake.presented, 1);
    EXPECT_TRUE(backend.pickerFake.active);
}

TEST_F(RecorderTest, PickerCancelledAndFailed) {
    rec.start();
    emit backend.pickerFake.cancelled();
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.status(), QString());
    EXPECT_FALSE(backend.pickerFake.active);

    emit backend.pickerFake.failed(QStringLiteral("the display went away"));
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.status(), QStringLiteral("Picker error: the display went away"));
    EXPECT_EQ(rec.phase(), Phase::idle);

    // Cancelling during a recording leaves the recording status.
    startRecording();
    emit backend.pickerFake.cancelled();
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.status(), QStringLiteral("Recording… click around, then Stop"));
    EXPECT_EQ(rec.phase(), Phase::recording);
}

TEST_F(RecorderTest, ContentChosenStartsRecordingAtTheRightSize) {
    rec.start();
    backend.clock = 5000;
    choose(display({0, 0, 1512, 982}, 2));
    EXPECT_EQ(rec.phase(), Phase::recording);
    EXPECT_EQ(rec.status(), QStringLiteral("Recording… click around, then Stop"));
    EXPECT_EQ(rec.videoW(), 3024);
    EXPECT_EQ(rec.videoH(), 1964);
    EXPECT_EQ(backend.writerSize, QSize(3024, 1964));
    EXPECT_EQ(backend.streamSize, QSize(3024, 1964));
    EXPECT_EQ(backend.writerStart, 5000);
    EXPECT_EQ(rec.startTime(), 5000);
    EXPECT_EQ(rec.videoURL(), backend.file("orvane-recording.mov"));
    EXPECT_TRUE(backend.inputFake.listening);
    EXPECT_FALSE(backend.pickerFake.active);
}

TEST_F(RecorderTest, RecordingSizeRules) {
    struct Case {
        QRectF area;
        double scale;
        QSize expected;
    };
    const Case cases[] = {
        {{0, 0, 2560, 1440}, 2, {3840, 2160}}, // longest side capped at 3840
        {{0, 0, 1001, 601}, 1, {1000, 600}},   // odd sides rounded down to even
        {{0, 0, 0.5, 1.0}, 1, {2, 2}},         // at least 2
        {{0, 0, 2001.6, 1000}, 1, {2000, 1000}},
    };
    for (const auto& c : cases) {
        FakeBackend b;
        Recorder r(b, b);
        r.start();
        emit b.pickerFake.contentChosen(display(c.area, c.scale));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_EQ(QSize(r.videoW(), r.videoH()), c.expected) << c.area.width();
    }
}

TEST_F(RecorderTest, WriterThatCannotBeCreated) {
    backend.writerCreatable = false;
    rec.start();
    choose(display({0, 0, 640, 400}));
    EXPECT_EQ(rec.status(), QStringLiteral("Couldn’t create video writer"));
    EXPECT_EQ(rec.phase(), Phase::idle);
    EXPECT_FALSE(backend.inputFake.listening); // tap and sampler stopped
}

TEST_F(RecorderTest, StreamThatCannotStart) {
    backend.streamError = QStringLiteral("BadMatch from GetImage");
    rec.start();
    choose(display({0, 0, 640, 400}));
    EXPECT_EQ(rec.status(), QStringLiteral("Screen capture failed: BadMatch from GetImage"));
    EXPECT_EQ(rec.phase(), Phase::idle);
    EXPECT_FALSE(backend.inputFake.listening);
    // The failed attempt's writer stays until the next choice or Discard.
    EXPECT_FALSE(rec.videoURL().isEmpty());
}

TEST_F(RecorderTest, ChoosingAgainWhileRecordingChangesNothing) {
    startRecording({0, 0, 640, 400});
    FakeStream* first = backend.lastStream;
    choose(display({0, 0, 1920, 1080}));
    EXPECT_EQ(backend.lastStream, first);
    EXPECT_EQ(rec.videoW(), 640);
    EXPECT_EQ(rec.phase(), Phase::recording);
}

TEST_F(RecorderTest, ClicksAreNormalisedToTheCapturedArea) {
    startRecording({0, 0, 1920, 1080});
    backend.clock = rec.startTime() + 1.25;
    click(0, 0);
    click(1919, 1079);
    click(1920, 500); // just outside on the right
    click(-1, 10);
    click(500, 1080);
    ASSERT_EQ(rec.samples().size(), 2u);
    EXPECT_EQ(rec.clickCount(), 2);
    EXPECT_EQ(rec.samples()[0].t, 1.25);
    EXPECT_EQ(rec.samples()[0].cx, 0);
    EXPECT_EQ(rec.samples()[0].cy, 0);
    EXPECT_NEAR(rec.samples()[1].cx, 0.99948, 1e-5);
    EXPECT_NEAR(rec.samples()[1].cy, 0.99907, 1e-5);
    EXPECT_EQ(rec.samples()[1].hold, 0.9);
    EXPECT_FALSE(rec.samples()[1].zoom.has_value());
}

TEST_F(RecorderTest, WindowClicksAndCursorOutsideTheArea) {
    startRecording({100, 200, 800, 600});
    click(500, 500);
    ASSERT_EQ(rec.samples().size(), 1u);
    EXPECT_DOUBLE_EQ(rec.samples()[0].cx, 0.5);
    EXPECT_DOUBLE_EQ(rec.samples()[0].cy, 0.5);
    // The cursor is sampled wherever it is.
    backend.inputFake.cursor = CursorReading{{20, 1400}, true};
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rec.cursorTrack().empty(); }, 1000));
    ASSERT_FALSE(rec.cursorTrack().empty());
    EXPECT_DOUBLE_EQ(rec.cursorTrack().back().x, -0.1);
    EXPECT_DOUBLE_EQ(rec.cursorTrack().back().y, 2.0);
    EXPECT_TRUE(rec.cursorTrack().back().pointer);
}

TEST_F(RecorderTest, CursorIsSampledAboutSixtyTimesASecond) {
    backend.useRealClock = true;
    startRecording();
    QTest::qWait(1000);
    const auto n = rec.cursorTrack().size();
    // Samples are due at start + k/60: about 60 over the time that passed
    // (which a busy machine stretches), never more than one per deadline.
    const double span = backend.now() - rec.startTime();
    EXPECT_GE(static_cast<double>(n), 0.8 * 60 * span) << span;
    EXPECT_LE(static_cast<double>(n), 60 * span + 1) << span;
    // Unreadable cursor: the sample is skipped (a reading taken just before
    // may still be on its way to the main thread).
    backend.inputFake.cursor.reset();
    QTest::qWait(50);
    const auto before = rec.cursorTrack().size();
    QTest::qWait(100);
    EXPECT_EQ(rec.cursorTrack().size(), before);
    EXPECT_GT(backend.inputFake.reads, static_cast<int>(n));
}

TEST_F(RecorderTest, InputThatCannotBeObservedRecordsWithoutClicks) {
    backend.inputFake.canListen = false;
    startRecording();
    EXPECT_TRUE(rec.needsPermission());
    click(10, 10);
    EXPECT_TRUE(rec.samples().empty());
    // Cursor samples still arrive.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rec.cursorTrack().empty(); }, 1000));
}

TEST_F(RecorderTest, FinishedTakeBecomesReady) {
    startRecording();
    backend.lastStream->deliver(3);
    backend.clock = rec.startTime() + 1.5;
    click(480, 540);
    backend.clock = rec.startTime() + 4.25;
    click(1440, 135);
    rec.beginEdit(); // edits of an earlier take do not survive the finish
    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.phase(), Phase::ready);
    EXPECT_EQ(rec.status(), QStringLiteral("Done — 1 zooms over 12.4s"));
    EXPECT_EQ(backend.streamStops, 1);
    EXPECT_FALSE(FakeStream::leakedRunning);
    EXPECT_EQ(rec.duration(), 12.43);
    EXPECT_EQ(rec.trimStart(), 0);
    EXPECT_EQ(rec.trimEnd(), 12.43);
    EXPECT_EQ(rec.moments(), rec.samples());
    ASSERT_EQ(rec.zooms().size(), 1u);
    EXPECT_DOUBLE_EQ(rec.zooms()[0].start, 1.0);
    EXPECT_DOUBLE_EQ(rec.zooms()[0].end, 5.7);
    EXPECT_TRUE(rec.undoStack().empty());
    EXPECT_FALSE(backend.inputFake.listening);
    EXPECT_EQ(readAll(backend.file("quilbo-clicks.json")),
              QByteArray(R"({"duration":4.25,"moments":[{"t":1.5,"x":0.25,"y":0.5},{"t":4.25,"x":0.75,"y":0.125}]})"));
    // Stop again once ready changes nothing (it would regenerate the zooms).
    rec.addZoom(8, 9.5);
    rec.stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.zooms().size(), 2u);
    EXPECT_EQ(rec.phase(), Phase::ready);
}

TEST_F(RecorderTest, TakeWithoutFramesEndsIdleAndStillWritesClicks) {
    startRecording();
    click(10, 10);
    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.phase(), Phase::idle);
    EXPECT_EQ(rec.status(), kNoFrames);
    const auto file = ClicksFile::parse(readAll(backend.file("quilbo-clicks.json")).toStdString());
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file->moments.size(), 1u);
}

TEST_F(RecorderTest, WriterThatDoesNotCompleteEndsIdle) {
    backend.writerCompletes = false;
    startRecording();
    backend.lastStream->deliver(5);
    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.phase(), Phase::idle);
    EXPECT_EQ(rec.status(), kNoFrames);
}

TEST_F(RecorderTest, MovieWithoutDurationTakesTheLastClick) {
    backend.duration.reset();
    startRecording();
    backend.lastStream->deliver(1);
    backend.clock = rec.startTime() + 3.5;
    click(5, 5);
    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.duration(), 3.5);
    EXPECT_EQ(rec.trimEnd(), 3.5);
    EXPECT_EQ(rec.status(), QStringLiteral("Done — 1 zooms over 3.5s"));

    FakeBackend b;
    b.duration = -1; // not usable either
    Recorder r(b, b);
    r.start();
    emit b.pickerFake.contentChosen(display({0, 0, 100, 100}));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    b.lastStream->deliver(1);
    r.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.phase() == Phase::ready; }, 5000));
    EXPECT_EQ(r.duration(), 0);
    EXPECT_EQ(r.status(), QStringLiteral("Done — 0 zooms over 0.0s"));
}

TEST_F(RecorderTest, StopBeforeAnyWriterWritesClicksAndEndsIdle) {
    backend.writerCreatable = false;
    rec.start();
    choose(display({0, 0, 100, 100}));
    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.status(), kNoFrames);
    EXPECT_TRUE(QFile::exists(backend.file("quilbo-clicks.json")));
    EXPECT_EQ(readAll(backend.file("quilbo-clicks.json")), QByteArray(R"({"duration":0,"moments":[]})"));
}

TEST_F(RecorderTest, DiscardDeletesTheMovieKeepsClicksAndLook) {
    startRecording();
    backend.lastStream->deliver(2);
    click(100, 100);
    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(rec.phase(), Phase::ready);
    rec.setPadding(0.2);
    rec.setZoom(2.5);
    rec.setBackground(7);
    rec.setVideoSelected(true);
    const QString movie = rec.videoURL();
    ASSERT_TRUE(QFile::exists(movie));

    rec.discard();
    EXPECT_FALSE(QFile::exists(movie));
    EXPECT_TRUE(QFile::exists(backend.file("quilbo-clicks.json")));
    EXPECT_EQ(rec.phase(), Phase::idle);
    EXPECT_EQ(rec.status(), QString());
    EXPECT_TRUE(rec.videoURL().isEmpty());
    EXPECT_TRUE(rec.moments().empty());
    EXPECT_TRUE(rec.zooms().empty());
    EXPECT_TRUE(rec.samples().empty());
    EXPECT_TRUE(rec.cursorTrack().empty());
    EXPECT_EQ(rec.clickCount(), 0);
    EXPECT_EQ(rec.duration(), 0);
    EXPECT_EQ(rec.trimEnd(), 0);
    EXPECT_FALSE(rec.videoSelected());
    EXPECT_EQ(rec.padding(), 0.2);
    EXPECT_EQ(rec.zoom(), 2.5);
    EXPECT_EQ(rec.background(), 7);
    EXPECT_EQ(rec.videoW(), 1920);
    EXPECT_EQ(rec.videoH(), 1080);
}

TEST_F(RecorderTest, DiscardWhileRecordingStopsTheStream) {
    startRecording();
    rec.discard();
    EXPECT_EQ(backend.streamStops, 1);
    EXPECT_FALSE(FakeStream::leakedRunning);
    EXPECT_EQ(rec.phase(), Phase::idle);
    EXPECT_FALSE(backend.inputFake.listening);
    // A new take can start afterwards.
    startRecording();
}

TEST_F(RecorderTest, SecondTakeReplacesTheFirst) {
    startRecording();
    backend.lastStream->deliver(1);
    click(10, 10);
    ASSERT_TRUE(stopAndWait());
    rec.start();
    choose(display({0, 0, 1920, 1080}));
    EXPECT_EQ(rec.phase(), Phase::recording);
    EXPECT_TRUE(rec.moments().empty());
    EXPECT_TRUE(rec.samples().empty());
    EXPECT_EQ(rec.clickCount(), 0);
    backend.lastStream->deliver(1);
    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.phase(), Phase::ready);
    EXPECT_EQ(readAll(backend.file("quilbo-clicks.json")), QByteArray(R"({"duration":0,"moments":[]})"));
}

TEST_F(RecorderTest, AClickCountsAtTheTimeItCarriesNotWhenItArrives) {
    startRecording();
    backend.lastStream->deliver(1);
    // The main thread gets to the click late: its own time counts.
    backend.clock = rec.startTime() + 3.0;
    emit backend.inputFake.clicked(QPointF(960, 540), rec.startTime() + 2.25);
    ASSERT_EQ(rec.samples().size(), 1u);
    EXPECT_DOUBLE_EQ(rec.samples()[0].t, 2.25);
    EXPECT_EQ(rec.statusKind(), StatusKind::Plain);
}

TEST_F(RecorderTest, AStreamThatEndsByItselfFinishesTheTakeAndSaysWhy) {
    startRecording();
    backend.lastStream->deliver(2);
    backend.clock = rec.startTime() + 1.0;
    click(480, 540);
    backend.lastStream->endBy(StreamEnd::SourceGone);
    EXPECT_EQ(rec.phase(), Phase::recording); // the end arrives queued
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.phase() == Phase::ready; }, 5000))
        << rec.status().toStdString();
    EXPECT_EQ(rec.streamEnd(), StreamEnd::SourceGone);
    EXPECT_EQ(rec.statusKind(), StatusKind::TakeEnded);
    EXPECT_EQ(rec.status(), QStringLiteral("Recording stopped: the window was closed. Kept 12.4 s."));
    EXPECT_EQ(rec.moments().size(), 1u); // what was recorded is kept
    EXPECT_FALSE(backend.inputFake.listening);
    EXPECT_EQ(backend.lastWriter->finishes, 1);

    // A lost display says so.
    rec.start();
    choose(display({0, 0, 640, 400}));
    backend.lastStream->deliver(1);
    backend.lastStream->endBy(StreamEnd::DisplayLost);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.phase() == Phase::ready; }, 5000));
    EXPECT_EQ(rec.status(),
              QStringLiteral("Recording stopped: the display connection was lost. Kept 12.4 s."));
}

TEST_F(RecorderTest, AnEndAfterStopOrFromAnEarlierTakeChangesNothing) {
    startRecording();
    backend.lastStream->deliver(1);
    FakeStream* first = backend.lastStream;
    rec.stop();
    // The stream reports its end while the take is finishing.
    first->endBy(StreamEnd::SourceGone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.phase() == Phase::ready; }, 5000));
    EXPECT_EQ(rec.streamEnd(), StreamEnd::Stopped);
    EXPECT_EQ(rec.statusKind(), StatusKind::TakeReady);
    EXPECT_TRUE(rec.status().startsWith(QStringLiteral("Done — ")));
}

TEST_F(RecorderTest, AStreamWhosePicturesShowTheCursorDrawsNone) {
    backend.streamCursorInPicture = true;
    startRecording({0, 0, 640, 400});
    EXPECT_TRUE(rec.cursorInPicture());
    backend.lastStream->deliver(1);
    click(320, 200);
    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(rec.phase(), Phase::ready);
    EXPECT_TRUE(rec.timeline().cursorInPicture);
    EXPECT_EQ(rec.timeline().clicks.size(), 1u); // the click still zooms

    // The next take of a stream that sends the cursor apart draws it again.
    backend.streamCursorInPicture = false;
    rec.start();
    choose(display({0, 0, 640, 400}));
    EXPECT_FALSE(rec.cursorInPicture());
    backend.lastStream->deliver(1);
    ASSERT_TRUE(stopAndWait());
    EXPECT_FALSE(rec.timeline().cursorInPicture);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

TEST_F(RecorderTest, AWriterThatFailsStopsTheTakeAndKeepsIt) {
    startRecording();
    backend.lastStream->deliver(3);
    backend.clock = rec.startTime() + 1.0;
    click(480, 540);
    backend.lastWriter->fail(Error{ErrorKind::NoSpace, "cannot write the movie: No space left"});
    backend.lastStream->deliver(1); // the capture thread notices at its next frame
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.phase() == Phase::ready; }, 5000))
        << rec.status().toStdString();
    EXPECT_EQ(rec.statusKind(), StatusKind::TakeEnded);
    EXPECT_EQ(rec.status(), QStringLiteral("Recording stopped: the disk is full. Kept 12.4 s."));
    ASSERT_TRUE(rec.writerFailure());
    EXPECT_EQ(rec.writerFailure()->kind, ErrorKind::NoSpace);
    EXPECT_EQ(rec.moments().size(), 1u);
    EXPECT_FALSE(rec.videoURL().isEmpty());
    EXPECT_TRUE(QFile::exists(backend.file(Recorder::kClicksName)));

    // Another error says what it was; a movie with nothing readable in it is
    // not a take, and the text is not the permissions one.
    rec.start();
    choose(display({0, 0, 640, 400}));
    backend.lastStream->deliver(1);
    backend.duration.reset();
    backend.lastWriter->fail(Error{ErrorKind::Io, "the video encoder failed: Input/output error"});
    backend.lastStream->deliver(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.phase() != Phase::recording && !rec.status().startsWith(QStringLiteral("Finishing")); }, 5000));
    EXPECT_EQ(rec.phase(), Phase::idle);
    EXPECT_EQ(rec.statusKind(), StatusKind::NoFrames);
    EXPECT_EQ(rec.status(), QStringLiteral("Recording failed: the movie could not be written (the "
                                           "video encoder failed: Input/output error). Nothing "
                                           "could be kept."));
}

TEST_F(RecorderTest, AJournalKeepsTheTakeDurableUntilItsFilesAreWritten) {
    startRecording({0, 0, 1000, 500});
    const QString journal = backend.file(Recorder::kJournalName);
    ASSERT_TRUE(QFile::exists(journal));
    backend.clock = rec.startTime() + 1.0;
    click(250, 100);
    // The click joins the journal once it is older than a press on our own
    // window could be, at the next cursor samples; the writer syncs within
    // a quarter of a second.
    backend.clock = rec.startTime() + 2.0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QByteArray text = readAll(journal);
            return text.contains("\nc 1 0.25 0.2\n") && text.contains("\ns 2 ");
        },
        3000))
        << readAll(journal).toStdString();
    EXPECT_TRUE(readAll(journal).startsWith("orvane-take-journal 1\nvideo 1000 500 0\n"));
    backend.lastStream->deliver(1);
    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(rec.phase(), Phase::ready);
    EXPECT_FALSE(QFile::exists(journal)); // the clicks file holds it now
    EXPECT_TRUE(QFile::exists(backend.file(Recorder::kClicksName)));

    // A clicks file that cannot be written keeps the journal and says why.
    rec.start();
    choose(display({0, 0, 1000, 500}));
    QFile::remove(backend.file(Recorder::kClicksName));
    ASSERT_TRUE(QDir(backend.folder).mkdir(QString::fromLatin1(Recorder::kClicksName)));
    backend.lastStream->deliver(1);
    ASSERT_TRUE(stopAndWait());
    ASSERT_TRUE(rec.takeFilesError());
    EXPECT_NE(rec.takeFilesError()->message.find("quilbo-clicks.json: it is a folder"),
              std::string::npos);
    EXPECT_TRUE(rec.status().contains(QStringLiteral("it is a folder"))) << rec.status().toStdString();
    EXPECT_TRUE(QFile::exists(journal));
}

TEST_F(RecorderTest, APressOnOurOwnWindowIsNotAClick) {
    startRecording();
    backend.clock = rec.startTime() + 1.0;
    click(100, 100); // the global tap saw the press first...
    EXPECT_EQ(rec.clickCount(), 1);
    backend.clock += 0.05;
    rec.noteOwnPress(); // ...then the window: the same press, on the Stop button
    EXPECT_EQ(rec.clickCount(), 0);
    backend.clock += 0.05;
    click(100, 100); // the window saw it first this time
    EXPECT_EQ(rec.clickCount(), 0);
    backend.clock = rec.startTime() + 3.0;
    click(200, 200); // a real click, well apart from the press on our window
    EXPECT_EQ(rec.clickCount(), 1);
    backend.lastStream->deliver(1);
    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(rec.moments().size(), 1u);
    EXPECT_EQ(rec.moments()[0].t, 3.0);
}

TEST_F(RecorderTest, AnInterruptedTakeOpensFromItsJournal) {
    const QString journal = backend.file(Recorder::kJournalName);
    auto write = [](const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    // Nothing to recover: nothing happens.
    EXPECT_FALSE(rec.recoverInterruptedTake());
    EXPECT_EQ(rec.phase(), Phase::idle);

    // A journal that is not one is left alone and reported.
    write(backend.file(Recorder::kMovieName), "movie");
    write(journal, "garbage\n");
    EXPECT_FALSE(rec.recoverInterruptedTake());
    EXPECT_EQ(rec.phase(), Phase::idle);
    EXPECT_TRUE(rec.status().startsWith(QStringLiteral("An interrupted take was found, but it cannot be opened")));
    EXPECT_TRUE(QFile::exists(journal));

    // The journal of a killed take, its last line cut.
    write(journal, "orvane-take-journal 1\nvideo 1280 720 1\nc 1.5 0.25 0.75\nc 4 0.5 0.5\n"
                   "s 0 0.5 0.5 0\ns 0.016666666666666666 0.51 0.5 1\ns 0.03");
    ASSERT_TRUE(rec.recoverInterruptedTake()) << rec.status().toStdString();
    EXPECT_EQ(rec.phase(), Phase::ready);
    EXPECT_EQ(rec.statusKind(), StatusKind::TakeEnded);
    EXPECT_TRUE(rec.status().startsWith(QStringLiteral("Recovered the interrupted take — ")))
        << rec.status().toStdString();
    EXPECT_EQ(rec.videoURL(), backend.file(Recorder::kMovieName));
    EXPECT_EQ(rec.videoW(), 1280);
    EXPECT_EQ(rec.videoH(), 720);
    EXPECT_EQ(rec.duration(), 12.43);
    EXPECT_TRUE(rec.cursorInPicture());
    ASSERT_EQ(rec.moments().size(), 2u);
    EXPECT_EQ(rec.moments()[0].t, 1.5);
    EXPECT_EQ(rec.moments()[0].cy, 0.75);
    ASSERT_EQ(rec.cursorTrack().size(), 2u);
    EXPECT_TRUE(rec.cursorTrack()[1].pointer);
    EXPECT_FALSE(rec.zooms().empty());
    // It is now an ordinary finished take: its clicks file is written and
    // the journal is gone, so the next start does not offer it again.
    const auto clicks = ClicksFile::parse(readAll(backend.file(Recorder::kClicksName)).toStdString());
    ASSERT_TRUE(clicks) << clicks.error();
    EXPECT_EQ(clicks->moments.size(), 2u);
    EXPECT_FALSE(QFile::exists(journal));
    EXPECT_FALSE(rec.recoverInterruptedTake());
}
