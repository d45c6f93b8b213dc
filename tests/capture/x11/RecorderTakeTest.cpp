// Whole takes through the Recorder with the real X11 backend: the picker
// dialog, the screen stream, the movie writer, XInput clicks from xdotool and
// the 60 Hz cursor, from Start to a ready take with zoom segments.
#include "MediaProbe.h"
#include "X11TestSupport.h"

#include "app/Recorder.h"
#include "capture/SoundChoice.h"
#include "capture/pulse/PulseSoundDevices.h"
#include "capture/x11/PickerDialog.h"
#include "capture/ffmpeg/FfmpegWriterFactory.h"
#include "capture/x11/X11CaptureBackend.h"
#include "capture/x11/X11PickerDialogs.h"
#include "capture/x11/X11Source.h"
#include "tests/support/SmallFilesystem.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdlib>
#include <ctime>
#include <memory>

using namespace orvane;
using namespace orvane::test;

namespace {

constexpr int kHand2 = 60;

// The X11 backend writing into a temporary folder instead of the Desktop,
// with the window's picker dialog.
class TestBackend final : public X11CaptureBackend {
public:
    explicit TestBackend(const QString& folder) {
        setOutputFolder(folder);
        auto dialogs = std::make_unique<X11PickerDialogs>();
        dialogs_ = dialogs.get();
        x11Picker().setPresenter(std::move(dialogs));
    }
    PickerDialog* dialog() const { return dialogs_->dialog(); }

private:
    X11PickerDialogs* dialogs_ = nullptr;
};

class RecorderTakeTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TestBackend backend{dir.path()};
    FfmpegWriterFactory writers;
    Recorder recorder{backend, writers};

    QString moviePath() const { return dir.filePath("orvane-recording.mov"); }

    // Start, then choose the entry whose content satisfies `pick` in the dialog.
    template <typename Pick>
    void chooseInPicker(Pick pick) {
        recorder.start();
        ASSERT_EQ(recorder.status(), QString::fromUtf8("Choose what to record…"));
        PickerDialog* dialog = backend.dialog();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(waitUntil([&] { return dialog->isVisible(); }));
        int index = -1;
        for (std::size_t i = 0; i < dialog->entries().size(); ++i) {
            if (pick(dialog->entries()[i].content)) {
                index = static_cast<int>(i);
            }
        }
        ASSERT_GE(index, 0) << "the picker does not list the wanted content";
        dialog->selectEntry(index);
        dialog->accept();
        ASSERT_TRUE(waitUntil([&] { return recorder.phase() == Phase::recording; }, 5000))
            << recorder.status().toStdString();
        EXPECT_EQ(recorder.status(), QString::fromUtf8("Recording… click around, then Stop"));
    }

    void chooseWindow(xcb_window_t id) {
        chooseInPicker([id](const CaptureContent& c) {
            return c.kind == CaptureContent::Kind::Window && x11WindowId(c) == id;
        });
    }

    // Clicks at (x, y) and returns the take time at which it was pressed.
    double clickAt(int x, int y, int button = 1) {
        xdotool({"mousemove", QString::number(x), QString::number(y)});
        const qint64 before = recorder.clickCount();
        const double t = hostTimeNow() - recorder.startTime();
        xdotool({"click", QString::number(button)});
        waitUntil([&] { return recorder.clickCount() > before; }, 1000);
        return t;
    }

    static double hostTimeNow();

    bool stopAndWait() {
        recorder.stop();
        return waitUntil([&] { return recorder.phase() != Phase::recording &&
                                      !recorder.status().startsWith(QString::fromUtf8("Finishing")); },
                         20000);
    }
};

double RecorderTakeTest::hostTimeNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

TEST_F(RecorderTakeTest, AWindowTakeFromStartToReadyWithZooms) {
    TestWindow target(200, 150, 640, 400, 0x30a050);
    target.setTitle("Orvane test target");
    target.addPatch(400, 250, 200, 100, 0xe0e0e0); // a "link" with the hand cursor
    target.map();
    // The patch shows the pointing hand (an unnamed font cursor, as toolkits
    // without a theme make it); the rest the arrow.
    {
        xcb_connection_t* c = testConnection();
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> q(
            xcb_query_tree_reply(c, xcb_query_tree(c, target.id()), nullptr), &std::free);
        ASSERT_TRUE(q);
        ASSERT_EQ(xcb_query_tree_children_length(q.get()), 1);
        const xcb_cursor_t hand = fontCursor(kHand2);
        xcb_change_window_attributes(c, xcb_query_tree_children(q.get())[0], XCB_CW_CURSOR, &hand);
        syncX();
    }

    chooseWindow(target.id());
    EXPECT_EQ(recorder.captureBounds(), QRectF(200, 150, 640, 400));
    EXPECT_EQ(recorder.videoW(), 640);
    EXPECT_EQ(recorder.videoH(), 400);

    QThread::msleep(300);
    const double t1 = clickAt(200 + 320, 150 + 200);   // the centre
    QThread::msleep(300);
    const double t2 = clickAt(200, 150, 3);             // the top-left corner, right button
    clickAt(100, 100);                                   // outside: not recorded
    clickAt(900, 700);                                   // outside: not recorded
    xdotool({"mousemove", "700", "450"});                // over the hand patch
    waitUntil([] { return false; }, 400);
    xdotool({"mousemove", "300", "200"});                // plain area
    waitUntil([] { return false; }, 1200);

    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(recorder.phase(), Phase::ready) << recorder.status().toStdString();

    // Clicks, normalised to the window.
    ASSERT_EQ(recorder.moments().size(), 2u);
    EXPECT_EQ(recorder.clickCount(), 2);
    EXPECT_NEAR(recorder.moments()[0].cx, 0.5, 1e-9);
    EXPECT_NEAR(recorder.moments()[0].cy, 0.5, 1e-9);
    EXPECT_NEAR(recorder.moments()[0].t, t1, 0.5);
    EXPECT_NEAR(recorder.moments()[1].cx, 0.0, 1e-9);
    EXPECT_NEAR(recorder.moments()[1].cy, 0.0, 1e-9);
    EXPECT_NEAR(recorder.moments()[1].t, t2, 0.5);
    EXPECT_FALSE(recorder.zooms().empty());
    EXPECT_EQ(recorder.status(),
              QString::asprintf("Done — %d zooms over %.1fs", static_cast<int>(recorder.zooms().size()),
                                recorder.duration()));

    // The movie.
    const auto movie = probeMovie(moviePath());
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->width, 640);
    EXPECT_EQ(movie->height, 400);
    EXPECT_TRUE(movie->codec == "h264" || movie->codec == "hevc");
    EXPECT_NEAR(movie->duration, recorder.duration(), 0.02);
    const auto frames = probeFrames(moviePath());
    EXPECT_GT(frames.size(), 60u);
    const auto px = decodeFrame(moviePath(), 1.0, "bgra");
    ASSERT_TRUE(px);
    EXPECT_TRUE(near(rgbAt(reinterpret_cast<const std::uint8_t*>(px->constData()), 640 * 4, 100, 100),
                     0x30a050, 30));
    EXPECT_TRUE(QFile::exists(dir.filePath("quilbo-clicks.json")));

    // The cursor track: about 60 samples a second, outside positions kept, and
    // the hand flag over the patch only.
    const auto& track = recorder.cursorTrack();
    ASSERT_FALSE(track.empty());
    const double rate = static_cast<double>(track.size()) / recorder.duration();
    EXPECT_GT(rate, 30.0);
    EXPECT_LT(rate, 62.0);
    bool sawOutside = false, sawHand = false, handOutsidePatch = false;
    for (const CursorSample& s : track) {
        if (s.x < 0 || s.y < 0 || s.x > 1 || s.y > 1) {
            sawOutside = true;
        }
        const bool overPatch = s.x >= 400.0 / 640 && s.x < 600.0 / 640 && s.y >= 250.0 / 400 &&
                               s.y < 350.0 / 400;
        if (s.pointer && overPatch) {
            sawHand = true;
        }
        if (s.pointer && !overPatch) {
            handOutsidePatch = true;
        }
    }
    EXPECT_TRUE(sawOutside);
    EXPECT_TRUE(sawHand);
    EXPECT_FALSE(handOutsidePatch);
    EXPECT_FALSE(track.back().pointer);
}

TEST_F(RecorderTakeTest, ClosingTheCapturedWindowMidTakeStillFinishes) {
    auto target = std::make_unique<TestWindow>(100, 100, 320, 200, 0x2040e0);
    target->setTitle("Short-lived window");
    target->map();
    chooseWindow(target->id());
    QThread::msleep(200);
    clickAt(260, 200);
    QThread::msleep(600);
    const double closedAt = hostTimeNow() - recorder.startTime();
    target.reset();
    // The take finishes by itself with what it has, and says why.
    ASSERT_TRUE(waitUntil([&] { return recorder.phase() == Phase::ready; }, 5000))
        << recorder.status().toStdString();
    EXPECT_EQ(recorder.streamEnd(), StreamEnd::SourceGone);
    EXPECT_EQ(recorder.statusKind(), StatusKind::TakeEnded);
    EXPECT_TRUE(recorder.status().startsWith(
        QString::fromUtf8("Recording stopped: the window was closed. Kept ")))
        << recorder.status().toStdString();
    ASSERT_TRUE(stopAndWait()); // Stop on the finished take changes nothing
    ASSERT_EQ(recorder.phase(), Phase::ready) << recorder.status().toStdString();
    EXPECT_EQ(recorder.moments().size(), 1u);
    // The movie holds what was recorded until the window closed.
    EXPECT_NEAR(recorder.duration(), closedAt, 0.3);
    EXPECT_FALSE(probeFrames(moviePath()).empty());
}

TEST_F(RecorderTakeTest, ClicksFollowAWindowThatMovesAndResizesMidTake) {
    TestWindow target(100, 100, 400, 300, 0x3060c0);
    target.setTitle("Wandering window");
    target.map();
    chooseWindow(target.id());
    QThread::msleep(200);
    const QString id = QString::number(target.id());
    // Moved: a click at its new centre is still the middle of the picture.
    ASSERT_TRUE(xdotool({"windowmove", id, "700", "500"}));
    // The stream sees where it is at its next frame.
    ASSERT_TRUE(waitUntil([&] { return recorder.areaNow() == QRectF(700, 500, 400, 300); }))
        << "area " << recorder.areaNow().x() << "," << recorder.areaNow().y();
    clickAt(700 + 200, 500 + 150);
    // Resized to another shape: the picture fits it between black bars
    // (200 x 300 into 400 x 300 lands at x 100...300), and clicks land on what
    // the picture shows there.
    ASSERT_TRUE(xdotool({"windowsize", id, "200", "300"}));
    ASSERT_TRUE(waitUntil([&] { return recorder.areaNow() == QRectF(600, 500, 400, 300); }));
    clickAt(700 + 50, 500 + 75);
    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(recorder.phase(), Phase::ready) << recorder.status().toStdString();
    const auto& m = recorder.moments();
    ASSERT_EQ(m.size(), 2u) << recorder.status().toStdString();
    EXPECT_NEAR(m[0].cx, 0.5, 0.01);
    EXPECT_NEAR(m[0].cy, 0.5, 0.01);
    EXPECT_NEAR(m[1].cx, (100.0 + 50.0) / 400.0, 0.01);
    EXPECT_NEAR(m[1].cy, 75.0 / 300.0, 0.01);
    // The cursor track follows the window too: the last samples sit where the
    // second click was.
    ASSERT_FALSE(recorder.cursorTrack().empty());
    EXPECT_NEAR(recorder.cursorTrack().back().x, m[1].cx, 0.01);
    EXPECT_NEAR(recorder.cursorTrack().back().y, m[1].cy, 0.01);
}

TEST_F(RecorderTakeTest, AFullDiskStopsTheTakeAndKeepsWhatWasWritten) {
    SmallFilesystem disk(1536 * 1024);
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    }
    backend.setOutputFolder(disk.path());
    TestWindow target(0, 0, 640, 400, 0x808080);
    target.setTitle("Noisy window");
    target.map();
    target.paintNoise(1);
    chooseWindow(target.id());
    clickAt(320, 200);
    // Noise compresses badly: the small disk fills within a few seconds, and
    // the take stops by itself without a Stop.
    std::uint32_t seed = 2;
    ASSERT_TRUE(waitUntil(
        [&] {
            target.paintNoise(seed++);
            return recorder.phase() != Phase::recording &&
                   !recorder.status().startsWith(QString::fromUtf8("Finishing"));
        },
        30000))
        << recorder.status().toStdString();
    ASSERT_TRUE(recorder.writerFailure());
    EXPECT_EQ(recorder.writerFailure()->kind, ErrorKind::NoSpace);
    // The take is kept and opens like any other; the status names the disk.
    ASSERT_EQ(recorder.phase(), Phase::ready) << recorder.status().toStdString();
    EXPECT_EQ(recorder.statusKind(), StatusKind::TakeEnded);
    EXPECT_TRUE(recorder.status().startsWith(
        QString::fromUtf8("Recording stopped: the disk is full. Kept ")))
        << recorder.status().toStdString();
    EXPECT_GT(recorder.duration(), 0.2);
    EXPECT_EQ(recorder.moments().size(), 1u);
    const auto frames = probeFrames(disk.filePath("orvane-recording.mov"));
    EXPECT_GE(frames.size(), 10u);
}

TEST_F(RecorderTakeTest, ASecondTakeOfTheDisplayOverwritesTheFirst) {
    TestWindow target(0, 0, 320, 200, 0xc03030);
    target.setTitle("First take");
    target.map();
    chooseWindow(target.id());
    QThread::msleep(500);
    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(recorder.phase(), Phase::ready);
    ASSERT_EQ(probeMovie(moviePath())->width, 320);

    chooseInPicker([](const CaptureContent& c) { return c.kind == CaptureContent::Kind::Display; });
    EXPECT_EQ(recorder.captureBounds(), QRectF(0, 0, 1920, 1200));
    clickAt(960, 600);
    QThread::msleep(500);
    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(recorder.phase(), Phase::ready) << recorder.status().toStdString();
    const auto movie = probeMovie(moviePath());
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->width, 1920);
    EXPECT_EQ(movie->height, 1200);
    ASSERT_EQ(recorder.moments().size(), 1u);
    EXPECT_NEAR(recorder.moments()[0].cx, 0.5, 1e-9);
    EXPECT_NEAR(recorder.moments()[0].cy, 0.5, 1e-9);
}

TEST_F(RecorderTakeTest, CancellingThePickerClearsTheStatus) {
    recorder.start();
    PickerDialog* dialog = backend.dialog();
    ASSERT_NE(dialog, nullptr);
    // The picker lists the screen and the windows present now.
    ASSERT_FALSE(dialog->entries().empty());
    EXPECT_EQ(dialog->entries().front().content.kind, CaptureContent::Kind::Display);
    EXPECT_EQ(dialog->entries().front().content.pixelScale, 1.0);
    dialog->reject();
    EXPECT_TRUE(waitUntil([&] { return recorder.status().isEmpty(); }));
    EXPECT_EQ(recorder.phase(), Phase::idle);
}

TEST_F(RecorderTakeTest, ThePickerAnswersARealDoubleClick) {
    TestWindow target(1200, 800, 320, 200, 0x208080);
    target.setTitle("Double-click me");
    target.map();
    recorder.start();
    PickerDialog* dialog = backend.dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(waitUntil([&] { return dialog->isVisible(); }));
    int index = -1;
    for (std::size_t i = 0; i < dialog->entries().size(); ++i) {
        if (x11WindowId(dialog->entries()[i].content) == target.id() &&
            dialog->entries()[i].content.kind == CaptureContent::Kind::Window) {
            index = static_cast<int>(i);
        }
    }
    ASSERT_GE(index, 0);
    EXPECT_EQ(dialog->entries()[static_cast<std::size_t>(index)].content.title, "Double-click me");
    // Its picture arrives after the dialog has opened.
    EXPECT_TRUE(waitUntil([&] { return dialog->hasThumbnail(index); }, 5000));
    dialog->selectEntry(index); // scrolls it into view
    waitUntil([] { return false; }, 300);
    const QPoint p = dialog->entryRect(index).center();
    xdotool({"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "--repeat", "2",
             "--delay", "50", "1"});
    ASSERT_TRUE(waitUntil([&] { return recorder.phase() == Phase::recording; }, 5000))
        << recorder.status().toStdString();
    EXPECT_EQ(recorder.captureBounds(), QRectF(1200, 800, 320, 200));
    ASSERT_TRUE(stopAndWait());
}

} // namespace

// Takes with sound, beside the private sound server of with-sound.sh (the
// ctest entry capture.x11.RecorderTakeSound): the title bar's status says what
// became of the sound, and the picture is never lost for it.
namespace {

// The sound streams of a movie, "codec,handler name" each.
QStringList soundStreams(const QString& path) {
    const auto out = runTool(QStringLiteral("ffprobe"),
                             {"-v", "error", "-select_streams", "a", "-show_entries",
                              "stream=codec_name:stream_tags=handler_name", "-of", "csv=p=0", path});
    return out ? QString::fromUtf8(*out).trimmed().split('\n', Qt::SkipEmptyParts) : QStringList();
}

} // namespace

TEST_F(RecorderTakeTest, SoundTakeWhoseMicrophoneIsUnpluggedKeepsGoingAndSaysSo) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("ORVANE_TEST_MIC")) << "run inside with-sound.sh";
    PulseSoundDevices sound;
    recorder.setSoundDevices(&sound);
    SoundChoice choice;
    choice.microphone = true;
    choice.desktop = true;
    recorder.setSoundChoice(choice);

    TestWindow target(100, 100, 320, 240, 0x2050a0);
    target.setTitle("Narrated window");
    target.map();
    chooseWindow(target.id());
    EXPECT_TRUE(recorder.recordsSound(SoundKind::Microphone));
    EXPECT_TRUE(recorder.recordsSound(SoundKind::Desktop));
    QThread::msleep(800);
    // The microphone goes away: its module is unloaded from the server.
    const auto modules = runTool(QStringLiteral("pactl"), {"list", "short", "modules"});
    ASSERT_TRUE(modules);
    QString micModule;
    for (const QString& line : QString::fromUtf8(*modules).split('\n')) {
        if (line.contains(QStringLiteral("module-remap-source"))) {
            micModule = line.section('\t', 0, 0);
        }
    }
    ASSERT_FALSE(micModule.isEmpty());
    ASSERT_TRUE(runTool(QStringLiteral("pactl"), {"unload-module", micModule}));
    ASSERT_TRUE(waitUntil([&] { return !recorder.recordsSound(SoundKind::Microphone); }, 3000));
    EXPECT_EQ(recorder.phase(), Phase::recording); // the take goes on
    QThread::msleep(700);
    ASSERT_TRUE(stopAndWait());
    ASSERT_EQ(recorder.phase(), Phase::ready) << recorder.status().toStdString();
    EXPECT_TRUE(recorder.status().contains(QStringLiteral(
        "The microphone was disconnected at ")))
        << recorder.status().toStdString();
    EXPECT_TRUE(recorder.status().contains(QStringLiteral("the rest of the take has no microphone sound")));
    // Both tracks are in the movie (the microphone's up to the unplugging),
    // and the picture lasts the whole take.
    EXPECT_EQ(soundStreams(moviePath()),
              QStringList({QStringLiteral("aac,Orvane microphone"), QStringLiteral("aac,Orvane desktop sound")}));
    EXPECT_GT(recorder.duration(), 1.3);
    EXPECT_FALSE(probeFrames(moviePath()).empty());
}

TEST_F(RecorderTakeTest, SoundWithoutAServerRecordsThePictureAndSaysSo) {
    // A server address where nobody answers.
    const QByteArray saved = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", QFile::encodeName(QStringLiteral("unix:") + dir.filePath("nobody")));
    PulseSoundDevices sound;
    recorder.setSoundDevices(&sound);
    SoundChoice choice;
    choice.microphone = true;
    recorder.setSoundChoice(choice);

    TestWindow target(100, 100, 320, 240, 0x802020);
    target.setTitle("Silent window");
    target.map();
    chooseWindow(target.id());
    QThread::msleep(600);
    ASSERT_TRUE(stopAndWait());
    qputenv("PULSE_SERVER", saved);
    ASSERT_EQ(recorder.phase(), Phase::ready) << recorder.status().toStdString();
    EXPECT_TRUE(recorder.status().contains(QStringLiteral("No sound server answered")))
        << recorder.status().toStdString();
    EXPECT_TRUE(recorder.status().endsWith(QStringLiteral(": recorded without sound")));
    EXPECT_TRUE(soundStreams(moviePath()).isEmpty());
    EXPECT_FALSE(probeFrames(moviePath()).empty());
}
