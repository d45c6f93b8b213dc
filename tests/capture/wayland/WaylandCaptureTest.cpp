// Takes through the Wayland backend in a real headless session: mutter as the
// compositor, PipeWire, the real xdg-desktop-portal frontend with Orvane's
// test backend, and a Qt client window to record (tests/support/wayland/).
// Movies are read back with ffprobe and ffmpeg.
#include "WaylandTestSupport.h"

#include "../x11/MediaProbe.h"

#include "capture/HostClock.h"
#include "app/Recorder.h"
#include "capture/ffmpeg/FfmpegWriterFactory.h"
#include "capture/wayland/ClickReader.h"
#include "capture/wayland/ScreenCastPortal.h"
#include "capture/wayland/WaylandCaptureBackend.h"
#include "capture/wayland/WaylandGlobalShortcut.h"
#include "media/MediaLog.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QJsonArray>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include "timeline/ZoomGeneration.h"

#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace orvane;
using namespace orvane::test;

namespace {

constexpr int kScreenW = 1280;
constexpr int kScreenH = 800;

// A Wayland backend writing into a folder of its own, and a Recorder over it.
class WaylandRecorderTest : public ::testing::Test {
protected:
    void open(WaylandCaptureBackend::Options options) {
        auto created = WaylandCaptureBackend::tryCreate(std::move(options));
        ASSERT_TRUE(created) << created.error();
        backend = std::move(created.value());
        backend->setOutputFolder(dir.path());
        rec = std::make_unique<Recorder>(*backend, writers);
    }
    void TearDown() override {
        rec.reset();
        backend.reset();
    }
    bool stopTake() { return stopAndWait(*rec); }

    QTemporaryDir dir;
    std::unique_ptr<WaylandCaptureBackend> backend;
    FfmpegWriterFactory writers;
    std::unique_ptr<Recorder> rec;
};

class WaylandTakeTest : public WaylandRecorderTest {
protected:
    void SetUp() override { open({}); }

    QString moviePath() const { return dir.filePath(QString::fromLatin1(Recorder::kMovieName)); }

    // Record Screen, as the window does: the portal chooses (no dialog here).
    void startDisplayTake() {
        rec->start();
        ASSERT_TRUE(waitFor([&] { return rec->phase() == Phase::recording; }, 15000))
            << rec->status().toStdString();
    }
    void startWindowTake() {
        ContentQuery query;
        query.windowTitle = QStringLiteral("any"); // the desktop's choice: the focused window
        backend->picker().choose(query);
        ASSERT_TRUE(waitFor([&] { return rec->phase() == Phase::recording; }, 15000))
            << rec->status().toStdString();
    }
    // Waits `ms` with the event loop running (the cursor is sampled on it).
    void pause(int ms) { waitFor([] { return false; }, ms); }

    // A decoded picture of the movie at `t`.
    QByteArray picture(double t, int w, int h) {
        auto raw = decodeFrame(moviePath(), t, QStringLiteral("bgra"));
        return raw && raw->size() >= w * h * 4 ? *raw : QByteArray();
    }
};

// Where the target window's content and its link are on the screen, from a
// short take of the display.
struct TargetPlace {
    QRect content;
    QRect link;
};

} // namespace

TEST_F(WaylandTakeTest, ADisplayTakeRecordsTheScreenAt60FramesASecond) {
    EXPECT_TRUE(backend->captureNote().isEmpty()); // this desktop sends the cursor apart
    startDisplayTake();
    pause(2500);
    const double take = hostTime() - rec->startTime(); // from the choice to Stop
    ASSERT_TRUE(stopTake());
    ASSERT_EQ(rec->phase(), Phase::ready) << rec->status().toStdString();
    EXPECT_TRUE(rec->status().startsWith(QStringLiteral("Done — "))) << rec->status().toStdString();
    EXPECT_EQ(rec->videoW(), kScreenW);
    EXPECT_EQ(rec->videoH(), kScreenH);

    const auto movie = probeMovie(moviePath());
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->width, kScreenW);
    EXPECT_EQ(movie->height, kScreenH);
    EXPECT_NEAR(movie->duration, rec->duration(), 0.05);
    EXPECT_NEAR(movie->duration, take, 0.25);
    // A still screen still fills the movie: about 60 frames a second, with
    // no holes.
    const auto frames = probeFrames(moviePath());
    // (Generous bounds: the sanitizer build on a busy two-core machine may
    // drop a few; the benchmark measures the rate on a quiet one.)
    EXPECT_GE(static_cast<double>(frames.size()), 0.8 * 60 * movie->duration);
    EXPECT_LE(static_cast<double>(frames.size()), 1.02 * 60 * movie->duration + 2);
    // (The first picture also stands at time 0, for the moments the stream
    // took to set up; after it the frames follow each other at 60 Hz.)
    double longestGap = 0;
    for (std::size_t i = 2; i < frames.size(); ++i) {
        longestGap = std::max(longestGap, frames[i].time - frames[i - 1].time);
    }
    EXPECT_LT(longestGap, 0.25);
    const WriterCounts counts = rec->writerCounts();
    EXPECT_LE(counts.dropped, counts.offered / 10 + 1);

    // The client's window is in the picture.
    const QByteArray px = picture(1.5, kScreenW, kScreenH);
    ASSERT_FALSE(px.isEmpty());
    const QRect orange = findColour(px, kScreenW, kScreenH, kOrangeB, kOrangeG, kOrangeR);
    EXPECT_GE(orange.width(), 590) << orange.width();
    EXPECT_GE(orange.height(), 390) << orange.height();
}

TEST_F(WaylandTakeTest, AWindowTakeRecordsJustTheWindow) {
    startWindowTake();
    pause(2000);
    ASSERT_TRUE(stopTake());
    ASSERT_EQ(rec->phase(), Phase::ready) << rec->status().toStdString();
    const auto movie = probeMovie(moviePath());
    ASSERT_TRUE(movie);
    // The window with its frame, not the screen.
    EXPECT_GE(movie->width, 600);
    EXPECT_LT(movie->width, 700);
    EXPECT_GE(movie->height, 400);
    EXPECT_LT(movie->height, 500);
    const QByteArray px = picture(1.0, movie->width, movie->height);
    ASSERT_FALSE(px.isEmpty());
    const QRect orange = findColour(px, movie->width, movie->height, kOrangeB, kOrangeG, kOrangeR);
    EXPECT_GE(orange.width(), 590);
    EXPECT_GE(orange.height(), 390);
    const QRect blue = findColour(px, movie->width, movie->height, kBlueB, kBlueG, kBlueR);
    EXPECT_NEAR(blue.left() - orange.left(), 400, 3);
    EXPECT_NEAR(blue.top() - orange.top(), 300, 3);
}

TEST_F(WaylandTakeTest, TheCursorTrackFollowsThePointerAndKnowsTheHand) {
    // First where the window and its link are.
    startDisplayTake();
    pause(800);
    ASSERT_TRUE(stopTake());
    const QByteArray px = picture(0.5, kScreenW, kScreenH);
    ASSERT_FALSE(px.isEmpty());
    const QRect link = findColour(px, kScreenW, kScreenH, kBlueB, kBlueG, kBlueR);
    ASSERT_GE(link.width(), 150);

    startDisplayTake();
    struct Move {
        QPoint to;
        bool hand;
        double at = 0; // take seconds
    };
    std::vector<Move> moves{{{100, 90}, false},
                            {link.center(), true},
                            {{kScreenW - 60, kScreenH - 50}, false},
                            {{link.left() + 10, link.top() + 10}, true},
                            {{640, 20}, false}};
    for (Move& m : moves) {
        m.at = hostTime() - rec->startTime();
        ASSERT_TRUE(portalControl(QStringLiteral("move %1 %2").arg(m.to.x()).arg(m.to.y())));
        pause(600);
    }
    ASSERT_TRUE(stopTake());
    ASSERT_EQ(rec->phase(), Phase::ready);

    const auto& track = rec->cursorTrack();
    ASSERT_FALSE(track.empty());
    for (std::size_t i = 0; i < moves.size(); ++i) {
        // Samples well after the move and before the next one.
        const double from = moves[i].at + 0.3;
        const double to = i + 1 < moves.size() ? moves[i + 1].at : moves[i].at + 0.55;
        // The shape is the app's to set once it sees the pointer come in: a
        // busy machine may delay that, so the hand flag must turn right by
        // then and stay right, for at least five samples.
        int seen = 0;
        int shaped = 0;
        for (const CursorSample& s : track) {
            if (s.t < from || s.t > to) {
                continue;
            }
            ++seen;
            EXPECT_NEAR(s.x * kScreenW, moves[i].to.x(), 2.0) << "move " << i << " at " << s.t;
            EXPECT_NEAR(s.y * kScreenH, moves[i].to.y(), 2.0) << "move " << i << " at " << s.t;
            if (shaped > 0) {
                EXPECT_EQ(s.pointer, moves[i].hand) << "move " << i << " at " << s.t << ": the shape went back";
            }
            shaped += s.pointer == moves[i].hand ? 1 : 0;
        }
        EXPECT_GE(seen, 5) << "move " << i;
        EXPECT_GE(shaped, 5) << "move " << i << ": the hand flag never turned " << (moves[i].hand ? "on" : "off");
    }
}

TEST_F(WaylandTakeTest, ADialogTheUserCancelsIsTheCancelOfThePicker) {
    ASSERT_TRUE(portalControl(QStringLiteral("respond 1")));
    pause(200); // the backend reads its FIFO
    rec->start();
    EXPECT_EQ(rec->status(), QString::fromUtf8("Choose what to record…"));
    ASSERT_TRUE(waitFor([&] { return rec->status().isEmpty(); }, 10000)) << rec->status().toStdString();
    EXPECT_EQ(rec->phase(), Phase::idle);
    // Afterwards a take works as usual.
    startDisplayTake();
    ASSERT_TRUE(stopTake());
}

TEST_F(WaylandTakeTest, ASecondTakeReusesTheRestoreTokenWithoutADialog) {
    QSettings().remove(wayland::ScreenCastPortal::restoreTokenKey(3));
    const int before = portalDialogs();
    startDisplayTake();
    ASSERT_TRUE(stopTake());
    const QString first = QSettings().value(wayland::ScreenCastPortal::restoreTokenKey(3)).toString();
    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(portalDialogs(), before + 1);

    startDisplayTake();
    ASSERT_TRUE(stopTake());
    EXPECT_EQ(portalDialogs(), before + 1); // restored: no dialog the second time
    const QString second = QSettings().value(wayland::ScreenCastPortal::restoreTokenKey(3)).toString();
    EXPECT_FALSE(second.isEmpty()); // kept for the next take
    const auto calls = portalCalls();
    ASSERT_GE(calls.size(), 2u);
    bool restored = false;
    for (const QJsonObject& c : calls) {
        if (c[QStringLiteral("method")].toString() == QLatin1String("SelectSources")) {
            restored = c[QStringLiteral("restored")].toBool();
            const QJsonObject options = c[QStringLiteral("options")].toObject();
            EXPECT_EQ(options[QStringLiteral("cursor_mode")].toInt(), 4); // metadata
            EXPECT_EQ(options[QStringLiteral("persist_mode")].toInt(), 2);
        }
    }
    EXPECT_TRUE(restored); // the last SelectSources carried the token back
}

TEST_F(WaylandTakeTest, SharingStoppedFromTheDesktopEndsTheTakeAndKeepsIt) {
    startDisplayTake();
    pause(1500);
    ASSERT_TRUE(portalControl(QStringLiteral("close")));
    ASSERT_TRUE(waitFor([&] { return rec->phase() == Phase::ready; }, 10000)) << rec->status().toStdString();
    EXPECT_EQ(rec->streamEnd(), StreamEnd::SharingRevoked);
    EXPECT_EQ(rec->statusKind(), StatusKind::TakeEnded);
    EXPECT_TRUE(rec->status().startsWith(
        QString::fromUtf8("Recording stopped: screen sharing was stopped. Kept ")))
        << rec->status().toStdString();
    const auto movie = probeMovie(moviePath());
    ASSERT_TRUE(movie);
    EXPECT_NEAR(movie->duration, 1.5, 0.6);
}

// Runs in a session whose portal offers no cursor metadata
// (ORVANE_TEST_PORTAL_CURSOR_MODES=3), as on wlroots desktops.
TEST_F(WaylandTakeTest, WithoutCursorMetadataTheCursorStaysInThePicture) {
    // Said before the take.
    EXPECT_TRUE(backend->captureNote().contains(QStringLiteral("zooms start at your clicks only")))
        << backend->captureNote().toStdString();
    QSettings().remove(wayland::ScreenCastPortal::restoreTokenKey(3));
    startDisplayTake();
    ASSERT_TRUE(portalControl(QStringLiteral("move 200 150")));
    pause(800);
    ASSERT_TRUE(stopTake());
    ASSERT_EQ(rec->phase(), Phase::ready) << rec->status().toStdString();
    EXPECT_TRUE(rec->cursorInPicture());
    EXPECT_TRUE(rec->timeline().cursorInPicture);
    EXPECT_TRUE(rec->cursorTrack().empty());
    int embedded = 0;
    for (const QJsonObject& c : portalCalls()) {
        if (c[QStringLiteral("method")].toString() == QLatin1String("SelectSources")) {
            embedded = c[QStringLiteral("options")].toObject()[QStringLiteral("cursor_mode")].toInt();
        }
    }
    EXPECT_EQ(embedded, 2); // asked for the cursor in the picture
    // The cursor is in the recorded picture where the pointer was.
    const QByteArray px = picture(0.7, kScreenW, kScreenH);
    ASSERT_FALSE(px.isEmpty());
    const QRect around(200, 150, 12, 16); // the arrow's tip is its hot spot
    const QByteArray patch = [&] {
        QByteArray out;
        for (int y = around.top(); y <= around.bottom(); ++y) {
            out += px.mid((static_cast<qsizetype>(y) * kScreenW + around.left()) * 4, around.width() * 4);
        }
        return out;
    }();
    // The arrow is black with a white rim; the desktop behind it is neither.
    int white = 0;
    int black = 0;
    for (qsizetype i = 0; i + 3 < patch.size(); i += 4) {
        const auto b = static_cast<unsigned char>(patch[i]);
        const auto g = static_cast<unsigned char>(patch[i + 1]);
        const auto r = static_cast<unsigned char>(patch[i + 2]);
        white += (r > 200 && g > 200 && b > 200) ? 1 : 0;
        black += (r < 40 && g < 40 && b < 40) ? 1 : 0;
    }
    EXPECT_GT(white, 10) << "no cursor in the picture at 200,150 (" << black << " black)";
}

TEST(WaylandPortalTest, AMissingPortalIsThePickersFailureAndSaysWhatIsMissing) {
    WaylandCaptureBackend::Options options;
    options.portalService = QStringLiteral("org.freedesktop.portal.NoSuchPortal");
    auto created = WaylandCaptureBackend::tryCreate(options);
    ASSERT_FALSE(created);
    EXPECT_EQ(created.errorKind(), ErrorKind::NotFound);
    EXPECT_EQ(created.error(), "the desktop portal (xdg-desktop-portal) is not running");

    // A backend made anyway reports it through its picker and permissions.
    WaylandCaptureBackend backend(options);
    FfmpegWriterFactory writers;
    Recorder rec(backend, writers);
    rec.start();
    ASSERT_TRUE(waitFor([&] { return rec.status().startsWith(QStringLiteral("Picker error")); }));
    EXPECT_EQ(rec.status(),
              QStringLiteral("Picker error: the desktop portal (xdg-desktop-portal) is not running"));
    EXPECT_EQ(rec.statusKind(), StatusKind::StartFailed);
    EXPECT_FALSE(backend.permissions().screenCaptureAllowed());
    EXPECT_EQ(backend.permissions().screenProblem(),
              QStringLiteral("the desktop portal (xdg-desktop-portal) is not running"));
}

namespace {

// A take whose clicks come through a FIFO standing in for a mouse's device
// node (containers have no /dev/input), while the pointer moves through
// mutter's RemoteDesktop.
class WaylandClicksTest : public WaylandRecorderTest {
protected:
    void SetUp() override {
        const QByteArray path = dir.filePath(QStringLiteral("mouse-events")).toLocal8Bit();
        ASSERT_EQ(mkfifo(path.constData(), 0600), 0);
        const int readEnd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        mouse = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(readEnd, 0);
        ASSERT_GE(mouse, 0);
        WaylandCaptureBackend::Options options;
        options.rawInputSources = {readEnd};
        open(std::move(options));
    }
    void TearDown() override {
        WaylandRecorderTest::TearDown();
        unplug();
    }
    void unplug() {
        if (mouse >= 0) {
            ::close(mouse);
            mouse = -1;
        }
    }
    // A left press and release at host time `t`, as the kernel reports it.
    void press(double t) {
        std::vector<input_event> events;
        for (int value : {1, 0}) {
            const double when = t + (value == 0 ? 0.06 : 0);
            for (auto [type, code, v] : {std::tuple<int, int, int>{EV_KEY, BTN_LEFT, value},
                                         std::tuple<int, int, int>{EV_SYN, SYN_REPORT, 0}}) {
                input_event ev{};
                ev.input_event_sec = static_cast<decltype(ev.input_event_sec)>(std::floor(when));
                ev.input_event_usec = static_cast<decltype(ev.input_event_usec)>(
                    std::llround((when - std::floor(when)) * 1e6));
                ev.type = static_cast<std::uint16_t>(type);
                ev.code = static_cast<std::uint16_t>(code);
                ev.value = v;
                events.push_back(ev);
            }
        }
        const auto size = static_cast<ssize_t>(events.size() * sizeof(input_event));
        ASSERT_EQ(::write(mouse, events.data(), static_cast<std::size_t>(size)), size);
    }
    void pause(int ms) { waitFor([] { return false; }, ms); }

    int mouse = -1;
};

} // namespace

TEST_F(WaylandClicksTest, ClicksLandWhereTheCursorWasAtTheirOwnTimes) {
    EXPECT_TRUE(backend->permissions().inputObservable());
    EXPECT_EQ(backend->permissions().inputProblem(), QString());
    rec->start();
    ASSERT_TRUE(waitFor([&] { return rec->phase() == Phase::recording; }, 15000))
        << rec->status().toStdString();
    EXPECT_FALSE(rec->needsPermission());

    const QPoint points[] = {{320, 200}, {960, 600}, {1100, 120}};
    std::vector<double> pressedAt; // take seconds
    for (const QPoint& p : points) {
        ASSERT_TRUE(portalControl(QStringLiteral("move %1 %2").arg(p.x()).arg(p.y())));
        pause(400);
        // The press is stamped before it is written: its time is the kernel's,
        // not when anything read it.
        const double t = hostTime() - 0.05;
        press(t);
        pressedAt.push_back(t - rec->startTime());
        pause(4000); // farther apart than the merge distance: a zoom each
    }
    // The mouse goes away mid-take: the take goes on.
    unplug();
    pause(500);
    EXPECT_EQ(rec->phase(), Phase::recording);
    ASSERT_TRUE(stopTake());
    ASSERT_EQ(rec->phase(), Phase::ready) << rec->status().toStdString();
    EXPECT_EQ(rec->statusKind(), StatusKind::TakeReady);

    const auto& clicks = rec->samples();
    ASSERT_EQ(clicks.size(), 3u);
    std::vector<Moment> expected;
    for (std::size_t i = 0; i < clicks.size(); ++i) {
        EXPECT_NEAR(clicks[i].t, pressedAt[i], 0.005) << i;
        EXPECT_NEAR(clicks[i].cx * kScreenW, points[i].x(), 2.0) << i;
        EXPECT_NEAR(clicks[i].cy * kScreenH, points[i].y(), 2.0) << i;
        Moment m = clicks[i];
        m.t = pressedAt[i];
        m.cx = points[i].x() / static_cast<double>(kScreenW);
        m.cy = points[i].y() / static_cast<double>(kScreenH);
        expected.push_back(m);
    }
    // The zooms are the ones the same clicks make anywhere (as on X11).
    const auto zooms = rec->zooms();
    const auto same = zoomsFromClicks(expected, {rec->duration(), rec->zoom(), rec->smoothness(),
                                                 rec->zoomMerge()});
    ASSERT_EQ(zooms.size(), same.size());
    ASSERT_EQ(zooms.size(), 3u);
    for (std::size_t i = 0; i < zooms.size(); ++i) {
        EXPECT_NEAR(zooms[i].start, same[i].start, 0.006) << i;
        EXPECT_NEAR(zooms[i].end, same[i].end, 0.006) << i;
    }
}

TEST_F(WaylandClicksTest, APressWhileThePointerIsOutsideTheSharedWindowIsDropped) {
    ContentQuery query;
    query.windowTitle = QStringLiteral("any");
    backend->picker().choose(query);
    ASSERT_TRUE(waitFor([&] { return rec->phase() == Phase::recording; }, 15000))
        << rec->status().toStdString();
    // Inside the window (window coordinates), then far outside it.
    ASSERT_TRUE(portalControl(QStringLiteral("move 100 100")));
    pause(400);
    press(hostTime() - 0.02);
    pause(300);
    ASSERT_TRUE(portalControl(QStringLiteral("move 1000 700")));
    pause(400);
    press(hostTime() - 0.02);
    pause(300);
    ASSERT_TRUE(stopTake());
    ASSERT_EQ(rec->phase(), Phase::ready) << rec->status().toStdString();
    ASSERT_EQ(rec->samples().size(), 1u);
    EXPECT_NEAR(rec->samples()[0].cx * rec->videoW(), 100, 2.0);
    EXPECT_NEAR(rec->samples()[0].cy * rec->videoH(), 100, 2.0);
}

TEST(WaylandNoClickAccessTest, ATakeStillRecordsAndSaysWhyItHasNoClicks) {
    if (wayland::ClickReader::readablePointingDevices() > 0) {
        GTEST_SKIP() << "this machine lets us read a pointing device";
    }
    QTemporaryDir dir;
    auto created = WaylandCaptureBackend::tryCreate({});
    ASSERT_TRUE(created) << created.error();
    WaylandCaptureBackend& backend = *created.value();
    backend.setOutputFolder(dir.path());
    // Before the take: the onboarding's row and how to allow it.
    EXPECT_FALSE(backend.permissions().inputObservable());
    EXPECT_EQ(backend.permissions().inputTitle(), QStringLiteral("Mouse Clicks"));
    const QString how = backend.permissions().inputProblem();
    EXPECT_TRUE(how.contains(QStringLiteral("sudo usermod -aG input $USER"))) << how.toStdString();
    EXPECT_TRUE(how.contains(QStringLiteral("mouse buttons only"))) << how.toStdString();

    FfmpegWriterFactory writers;
    Recorder rec(backend, writers);
    rec.start(); // the picture and the cursor are recorded anyway
    ASSERT_TRUE(waitFor([&] { return rec.phase() == Phase::recording; }, 15000))
        << rec.status().toStdString();
    ASSERT_TRUE(portalControl(QStringLiteral("move 640 400")));
    waitFor([] { return false; }, 800);
    ASSERT_TRUE(stopAndWait(rec));
    ASSERT_EQ(rec.phase(), Phase::ready) << rec.status().toStdString();
    EXPECT_EQ(rec.statusKind(), StatusKind::TakeWithoutClicks);
    EXPECT_TRUE(rec.status().contains(QStringLiteral("No clicks were recorded: To see your clicks")))
        << rec.status().toStdString();
    EXPECT_FALSE(rec.cursorTrack().empty());
    EXPECT_TRUE(rec.samples().empty());
}

int main(int argc, char** argv) {
    media::quietMediaLog();
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("OrvaneWaylandTests"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// --- The global shortcut through the portal --------------------------------------------------

TEST(WaylandGlobalShortcut, TheDesktopBindsTheProposedKeysAndItsPressReachesUs) {
    wayland::WaylandGlobalShortcut shortcut(QString::fromLatin1(wayland::ScreenCastPortal::kService));
    EXPECT_FALSE(shortcut.problem().isEmpty()) << "nothing is bound before the desktop answered";
    int presses = 0;
    QObject::connect(&shortcut, &GlobalShortcut::activated, [&] { ++presses; });
    EXPECT_EQ(shortcut.setKeys(QStringLiteral("Ctrl+Shift+R")).toStdString(), "");
    ASSERT_TRUE(waitFor([&] { return shortcut.problem().isEmpty(); }, 10000)) << shortcut.problem().toStdString();
    // The portal was asked for the keys as its triggers spell them.
    bool proposed = false;
    for (const QJsonObject& c : portalCalls()) {
        if (c[QStringLiteral("method")].toString() == QLatin1String("GlobalShortcuts.BindShortcuts")) {
            const QJsonArray bound = c[QStringLiteral("shortcuts")].toArray();
            proposed = bound.size() == 1 && bound[0].toArray()[0].toString() == QLatin1String("stop-or-record") &&
                       bound[0].toArray()[1].toString() == QLatin1String("CTRL+SHIFT+r");
        }
    }
    EXPECT_TRUE(proposed);
    ASSERT_TRUE(portalControl(QStringLiteral("shortcut")));
    ASSERT_TRUE(waitFor([&] { return presses == 1; }, 5000));

    // Other keys are proposed again on the same session; keys no trigger can
    // spell are refused at once.
    EXPECT_EQ(shortcut.setKeys(QStringLiteral("Ctrl+Alt+F5")).toStdString(), "");
    ASSERT_TRUE(waitFor([&] { return shortcut.problem().isEmpty(); }, 10000));
    EXPECT_TRUE(shortcut.setKeys(QStringLiteral("Shift+R")).contains(QStringLiteral("cannot be a shortcut")));
    EXPECT_EQ(wayland::WaylandGlobalShortcut::portalTrigger(QStringLiteral("Meta+F12")), QStringLiteral("LOGO+F12"));
    EXPECT_EQ(wayland::WaylandGlobalShortcut::portalTrigger(QStringLiteral("Ctrl+Space")), QString());
    // Given up: a press reaches nobody.
    EXPECT_EQ(shortcut.setKeys(QString()).toStdString(), "");
    portalControl(QStringLiteral("shortcut"));
    waitFor([] { return false; }, 300);
    EXPECT_EQ(presses, 1);
}
