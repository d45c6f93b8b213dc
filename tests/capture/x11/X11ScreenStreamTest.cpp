// The X11 screen stream against a real X server: displays through SHM (or
// GetImage when the server refuses MIT-SHM), windows through XComposite.
#include "MediaProbe.h"
#include "X11TestSupport.h"

#include "capture/HostClock.h"
#include "WriterTestSupport.h"
#include "capture/ffmpeg/MovieWriter.h"
#include "capture/x11/X11ScreenStream.h"
#include "capture/x11/X11Source.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>

#include <cstdlib>
#include <mutex>
#include <vector>

using namespace orvane;
using namespace orvane::test;

namespace {

constexpr std::uint32_t kRed = 0xd02020;
constexpr std::uint32_t kGreen = 0x20c040;
constexpr std::uint32_t kBlue = 0x2040e0;
constexpr std::uint32_t kYellow = 0xe0e020;

// Keeps what a stream delivered: the count, the stamps and the last frame.
struct FrameLog {
    std::mutex mutex;
    std::vector<double> stamps;
    std::vector<std::uint8_t> last;
    int width = 0, height = 0, stride = 0;

    FrameSink sink() {
        return [this](const VideoFrame& f) {
            std::lock_guard lock(mutex);
            stamps.push_back(f.hostTime);
            width = f.width;
            height = f.height;
            stride = f.width * 4;
            last.resize(static_cast<std::size_t>(f.width) * f.height * 4);
            for (int y = 0; y < f.height; ++y) {
                std::memcpy(&last[static_cast<std::size_t>(y) * stride], f.bgra + static_cast<std::ptrdiff_t>(y) * f.stride,
                            static_cast<std::size_t>(stride));
            }
        };
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return stamps.size();
    }
    std::uint32_t pixel(int x, int y) {
        std::lock_guard lock(mutex);
        return rgbAt(last.data(), stride, x, y);
    }
    void clear() {
        std::lock_guard lock(mutex);
        stamps.clear();
    }
};

CaptureContent displayArea(int x, int y, int w, int h) {
    CaptureContent c;
    c.kind = CaptureContent::Kind::Display;
    c.area = QRectF(x, y, w, h);
    c.source = X11Source::monitor(0);
    return c;
}

CaptureContent windowContent(const TestWindow& window, int w, int h) {
    CaptureContent c;
    c.kind = CaptureContent::Kind::Window;
    c.area = QRectF(0, 0, w, h);
    c.source = X11Source::window(window.id());
    return c;
}

bool shmExpected() {
    return std::getenv("ORVANE_EXPECT_NO_SHM") == nullptr;
}

TEST(X11ScreenStreamTest, RecordsADisplayRectangleAtUpTo60FramesPerSecond) {
    TestWindow red(100, 100, 200, 100, kRed);
    red.map();
    TestWindow green(400, 250, 100, 100, kGreen);
    green.map();

    FrameLog log;
    X11ScreenStream stream(displayArea(0, 0, 640, 400), QSize(640, 400));
    ASSERT_TRUE(stream.start(log.sink()));
    EXPECT_EQ(stream.usesShm(), shmExpected());
    QThread::msleep(1000);
    stream.stop();
    EXPECT_EQ(stream.end(), StreamEnd::Stopped);

    const std::size_t frames = log.count();
    // One second at 60 per second; a loaded machine may lose some, but the
    // stream never runs faster than its pace.
    EXPECT_GE(frames, 15u);
    EXPECT_LE(frames, 62u);
    const double span = log.stamps.back() - log.stamps.front();
    EXPECT_GE(span / static_cast<double>(frames - 1), 1.0 / 60 * 0.95);
    for (std::size_t i = 1; i < log.stamps.size(); ++i) {
        EXPECT_GT(log.stamps[i], log.stamps[i - 1]);
    }
    EXPECT_EQ(log.width, 640);
    EXPECT_EQ(log.height, 400);
    EXPECT_TRUE(near(log.pixel(150, 150), kRed)) << std::hex << log.pixel(150, 150);
    EXPECT_TRUE(near(log.pixel(450, 300), kGreen)) << std::hex << log.pixel(450, 300);

    // Nothing arrives after stop().
    const std::size_t after = log.count();
    QThread::msleep(100);
    EXPECT_EQ(log.count(), after);
}

TEST(X11ScreenStreamTest, FollowsChangesOnScreen) {
    TestWindow patch(20, 20, 60, 60, kBlue);
    patch.map();
    FrameLog log;
    X11ScreenStream stream(displayArea(0, 0, 320, 200), QSize(320, 200));
    ASSERT_TRUE(stream.start(log.sink()));
    ASSERT_TRUE(waitUntil([&] { return log.count() > 3 && near(log.pixel(50, 50), kBlue); }));
    patch.destroy();
    TestWindow other(20, 20, 60, 60, kYellow);
    other.map();
    EXPECT_TRUE(waitUntil([&] { return near(log.pixel(50, 50), kYellow); }, 2000));
    stream.stop();
}

TEST(X11ScreenStreamTest, ScalesALargeAreaIntoTheConfiguredSize) {
    // 1280 x 800 of the screen into 640 x 400: everything halves.
    TestWindow red(200, 200, 400, 200, kRed);
    red.map();
    FrameLog log;
    X11ScreenStream stream(displayArea(0, 0, 1280, 800), QSize(640, 400));
    ASSERT_TRUE(stream.start(log.sink()));
    ASSERT_TRUE(waitUntil([&] { return log.count() >= 3; }));
    stream.stop();
    EXPECT_EQ(log.width, 640);
    EXPECT_EQ(log.height, 400);
    EXPECT_TRUE(near(log.pixel(200, 150), kRed));  // (400, 300) on screen
    EXPECT_FALSE(near(log.pixel(320, 150), kRed)); // (640, 300): right of the window
}

TEST(X11ScreenStreamTest, AnAreaOffTheScreenFailsToStart) {
    FrameLog log;
    X11ScreenStream stream(displayArea(1800, 0, 640, 400), QSize(640, 400));
    const auto started = stream.start(log.sink());
    ASSERT_FALSE(started);
    EXPECT_FALSE(started.error().empty());
    EXPECT_EQ(log.count(), 0u);
}

TEST(X11ScreenStreamTest, ALostDisplayEndsTheStreamWithoutACrash) {
    PrivateXServer server(640, 400);
    ASSERT_TRUE(server.running());
    FrameLog log;
    X11ScreenStream::Options options;
    options.display = server.display();
    X11ScreenStream stream(displayArea(0, 0, 640, 400), QSize(640, 400), options);
    ASSERT_TRUE(stream.start(log.sink()));
    ASSERT_TRUE(waitUntil([&] { return log.count() >= 5; }));
    server.kill();
    EXPECT_TRUE(waitUntil([&] { return stream.end() == StreamEnd::DisplayLost; }, 3000));
    const std::size_t frames = log.count();
    QThread::msleep(100);
    EXPECT_EQ(log.count(), frames);
    stream.stop();
    EXPECT_EQ(stream.end(), StreamEnd::DisplayLost);
}

TEST(X11ScreenStreamTest, RecordsIntoAMovieThatPlaysBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("orvane-recording.mov");
    TestWindow moving(0, 100, 80, 80, kRed);
    moving.map();
    const double start = hostTime();
    auto writer = createWriter(path, 640, 400, start);
    ASSERT_TRUE(writer);
    X11ScreenStream stream(displayArea(0, 0, 640, 400), QSize(640, 400));
    MovieWriter* w = writer.get();
    ASSERT_TRUE(stream.start([w](const VideoFrame& f) { w->append(f); }));
    // Something changes on screen all the time.
    for (int i = 0; i < 40; ++i) {
        const std::uint32_t pos[] = {static_cast<std::uint32_t>(i * 12), 100};
        xcb_configure_window(testConnection(), moving.id(), XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, pos);
        syncX();
        QThread::msleep(50);
    }
    stream.stop();
    const double taken = hostTime() - start;
    ASSERT_TRUE(writer->finish());
    const WriterCounts counts = writer->counts();
    EXPECT_EQ(counts.offered, stream.framesDelivered());
    // The first grab is also written at time 0 (it came after the take began).
    EXPECT_EQ(counts.written + counts.dropped, counts.offered + 1);

    const auto movie = probeMovie(path);
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->codec, codecOfEncoder(writer->encoderName()));
    EXPECT_EQ(movie->width, 640);
    EXPECT_EQ(movie->height, 400);
    // Frames carry their grab times, so the rate is an average: at most 60.
    const double average = static_cast<double>(counts.written - 1) / movie->duration;
    EXPECT_LE(average, 61.0);
    EXPECT_GE(average, 40.0);
    // From the take's start to the last grab, plus that frame's 1/60 s.
    EXPECT_NEAR(movie->duration, taken, 0.06);
    const auto frames = probeFrames(path);
    EXPECT_EQ(static_cast<std::int64_t>(frames.size()), counts.written);
    // The end of the take shows the square where it was last moved to.
    const auto last = decodeFrame(path, movie->duration - 0.1, "bgra");
    ASSERT_TRUE(last);
    EXPECT_TRUE(near(rgbAt(reinterpret_cast<const std::uint8_t*>(last->constData()), 640 * 4,
                           39 * 12 + 40, 140),
                     kRed, 40));
}

TEST(X11ScreenStreamTest, AKilledDisplayRecordingStillDecodes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("orvane-recording.mov");
    QProcess probe;
    probe.start(ORVANE_CAPTURE_PROBE, {"display", path});
    ASSERT_TRUE(probe.waitForStarted());
    ASSERT_TRUE(probe.waitForReadyRead(10000));
    ASSERT_TRUE(probe.readAllStandardOutput().contains("recording"));
    QThread::msleep(3500);
    probe.kill();
    probe.waitForFinished();
    const auto frames = probeFrames(path);
    ASSERT_FALSE(frames.empty());
    EXPECT_GE(frames.back().time, 3.5 - 2.0);
}

// Windows through XComposite.

TEST(X11WindowCaptureTest, ACoveredWindowStillRecordsItsOwnContents) {
    TestWindow target(300, 300, 320, 200, kGreen);
    target.addPatch(0, 0, 80, 50, kRed);
    target.map();
    FrameLog log;
    X11ScreenStream stream(windowContent(target, 320, 200), QSize(320, 200));
    ASSERT_TRUE(stream.start(log.sink()));
    ASSERT_TRUE(waitUntil([&] { return log.count() >= 3; }));
    // Cover it completely, then look at fresh frames only.
    TestWindow cover(250, 250, 500, 400, kBlue);
    cover.map();
    log.clear();
    ASSERT_TRUE(waitUntil([&] { return log.count() >= 10; }));
    stream.stop();
    EXPECT_TRUE(near(log.pixel(200, 120), kGreen)) << std::hex << log.pixel(200, 120);
    EXPECT_TRUE(near(log.pixel(20, 20), kRed)) << std::hex << log.pixel(20, 20);
    EXPECT_EQ(stream.end(), StreamEnd::Stopped);
}

TEST(X11WindowCaptureTest, AResizedWindowKeepsRecordingLetterboxed) {
    TestWindow target(100, 100, 320, 200, kGreen);
    target.map();
    FrameLog log;
    X11ScreenStream stream(windowContent(target, 320, 200), QSize(320, 200));
    ASSERT_TRUE(stream.start(log.sink()));
    ASSERT_TRUE(waitUntil([&] { return log.count() >= 3 && near(log.pixel(5, 100), kGreen); }));
    // Square now: it fits 200 x 200 in the middle, black bars left and right.
    target.resize(200, 200);
    EXPECT_TRUE(waitUntil([&] { return near(log.pixel(5, 100), 0x000000, 8); }, 2000));
    EXPECT_TRUE(near(log.pixel(160, 100), kGreen));
    EXPECT_TRUE(near(log.pixel(314, 100), 0x000000, 8));
    EXPECT_EQ(log.width, 320);
    EXPECT_EQ(log.height, 200);
    stream.stop();
}

TEST(X11WindowCaptureTest, ClosingTheWindowEndsTheStreamCleanly) {
    auto target = std::make_unique<TestWindow>(100, 100, 320, 200, kGreen);
    target->map();
    FrameLog log;
    X11ScreenStream stream(windowContent(*target, 320, 200), QSize(320, 200));
    ASSERT_TRUE(stream.start(log.sink()));
    ASSERT_TRUE(waitUntil([&] { return log.count() >= 3; }));
    target.reset();
    EXPECT_TRUE(waitUntil([&] { return stream.end() == StreamEnd::SourceGone; }, 2000));
    const std::size_t frames = log.count();
    QThread::msleep(100);
    EXPECT_EQ(log.count(), frames);
    stream.stop();
    EXPECT_EQ(stream.end(), StreamEnd::SourceGone);
}

TEST(X11WindowCaptureTest, AnUnmappedWindowPausesAndResumes) {
    TestWindow target(100, 100, 320, 200, kGreen);
    target.map();
    FrameLog log;
    X11ScreenStream stream(windowContent(target, 320, 200), QSize(320, 200));
    ASSERT_TRUE(stream.start(log.sink()));
    ASSERT_TRUE(waitUntil([&] { return log.count() >= 3; }));
    target.unmap();
    QThread::msleep(100);
    log.clear();
    QThread::msleep(300);
    EXPECT_LE(log.count(), 1u);
    target.map();
    EXPECT_TRUE(waitUntil([&] { return log.count() >= 5; }));
    EXPECT_EQ(stream.end(), StreamEnd::Running);
    stream.stop();
}

TEST(X11WindowCaptureTest, AWindowThatDoesNotExistFailsToStart) {
    CaptureContent c;
    c.kind = CaptureContent::Kind::Window;
    c.area = QRectF(0, 0, 100, 100);
    c.source = X11Source::window(0x7ffffff0); // no such window
    X11ScreenStream stream(c, QSize(100, 100));
    FrameLog log;
    EXPECT_FALSE(stream.start(log.sink()));
}

} // namespace
