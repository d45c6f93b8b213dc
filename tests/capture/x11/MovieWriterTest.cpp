// The movie writer on its own: synthetic BGRA frames in, real files out, read
// back with ffprobe and ffmpeg.
#include "MediaProbe.h"

#include "capture/HostClock.h"
#include "WriterTestSupport.h"
#include "capture/ffmpeg/MovieWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <ctime>
#include <vector>

using namespace orvane;
using orvane::test::createWriter;
using orvane::test::codecOfEncoder;
using orvane::test::decodeFrame;
using orvane::test::probeFrames;
using orvane::test::probeMovie;

namespace {

struct Bgra {
    std::uint8_t b, g, r;
};

// A frame buffer of one colour with a white bar whose position depends on `i`,
// so consecutive frames differ.
std::vector<std::uint8_t> makeFrame(int w, int h, Bgra c, int i) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h * 4);
    const int bar = (i * 4) % w;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = &px[(static_cast<std::size_t>(y) * w + x) * 4];
            const bool white = y < h / 8 && x >= bar && x < bar + 8;
            p[0] = white ? 255 : c.b;
            p[1] = white ? 255 : c.g;
            p[2] = white ? 255 : c.r;
            p[3] = 255;
        }
    }
    return px;
}

// Feeds `count` frames stamped at 60 per second from `start`. The writer only
// reads the stamps, so the frames need not arrive in real time.
void feed60(MovieWriter& writer, int w, int h, Bgra c, int count, double start) {
    for (int i = 0; i < count; ++i) {
        const auto px = makeFrame(w, h, c, i);
        writer.append(VideoFrame{px.data(), w, h, w * 4, start + i / 60.0});
    }
}

// Room in the ring for every frame of a short test take, so that none is
// dropped however busy the machine is.
MovieWriterOptions roomyRing() {
    MovieWriterOptions options;
    options.ringSlots = 130;
    return options;
}

class MovieWriterTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString moviePath() const { return dir.filePath("orvane-recording.mov"); }
};

TEST_F(MovieWriterTest, WritesMovieWithTheTakeSettings) {
    const double start = hostTime();
    auto writer = createWriter(moviePath(), 320, 200, start, roomyRing());
    ASSERT_TRUE(writer);
    feed60(*writer, 320, 200, {40, 80, 160}, 120, start);
    ASSERT_TRUE(writer->finish());

    const WriterCounts counts = writer->counts();
    EXPECT_EQ(counts.offered, 120);
    EXPECT_EQ(counts.written, 120);
    EXPECT_EQ(counts.dropped, 0);

    const auto movie = probeMovie(moviePath());
    ASSERT_TRUE(movie);
    EXPECT_TRUE(movie->formatName.contains("mov"));
    EXPECT_EQ(movie->codec, codecOfEncoder(writer->encoderName()));
    EXPECT_EQ(movie->width, 320);
    EXPECT_EQ(movie->height, 200);
    EXPECT_EQ(movie->frameRate, "60/1");
    EXPECT_EQ(movie->timeBase, "1/600");
    EXPECT_EQ(movie->primaries, "bt709");
    EXPECT_EQ(movie->transfer, "iec61966-2-1");
    EXPECT_EQ(movie->matrix, "bt709");
    // 120 frames from time 0 at 60 per second, the last lasting 1/60 s.
    EXPECT_NEAR(movie->duration, 2.0, 0.03);

    const auto frames = probeFrames(moviePath());
    ASSERT_EQ(static_cast<std::int64_t>(frames.size()), counts.written);
    EXPECT_NEAR(frames.front().time, 0.0, 0.01);
    // A key frame every 60 frames, and at most 60 frames apart.
    int sinceKey = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].key) {
            sinceKey = 0;
        } else {
            ++sinceKey;
        }
        EXPECT_LT(sinceKey, 60) << "frame " << i;
    }
    EXPECT_TRUE(frames[0].key);
    EXPECT_TRUE(frames[60].key);
}

// Writes frames stamped `stamps` (host seconds) into a movie whose take began
// at `start`, each after the encoder took the one before, and returns the
// frame times read back.
std::vector<double> writeStamped(const QString& path, double start,
                                 const std::vector<double>& stamps) {
    auto writer = createWriter(path, 64, 64, start);
    if (!writer) {
        return {};
    }
    const auto px = makeFrame(64, 64, {0, 0, 0}, 0);
    for (double t : stamps) {
        writer->append(VideoFrame{px.data(), 64, 64, 64 * 4, t});
        QThread::msleep(40); // no frame finds the ring full
    }
    EXPECT_TRUE(writer->finish());
    EXPECT_EQ(writer->counts().dropped, 0);
    std::vector<double> times;
    for (const auto& f : probeFrames(path)) {
        times.push_back(f.time);
    }
    return times;
}

TEST_F(MovieWriterTest, TimestampsCountFromTheTakeStart) {
    const double start = 1000.0; // a synthetic host clock: the writer only subtracts
    const auto times = writeStamped(moviePath(), start, {start + 0.25, start + 0.5, start + 1.25});
    // The first grab came 0.25 s into the take: its picture also covers the
    // time before it, so the movie still begins at the take's start.
    ASSERT_EQ(times.size(), 4u);
    EXPECT_NEAR(times[0], 0.0, 1e-6);
    EXPECT_NEAR(times[1], 0.25, 1e-6);
    EXPECT_NEAR(times[2], 0.5, 1e-6);
    EXPECT_NEAR(times[3], 1.25, 1e-6);
    EXPECT_NEAR(probeMovie(moviePath())->duration, 1.25 + 1 / 60.0, 0.002);
}

TEST_F(MovieWriterTest, AFrameGrabbedBeforeTheStartIsWrittenAtZero) {
    const double start = 1000.0;
    const auto times = writeStamped(moviePath(), start, {start - 0.5, start + 0.5, start + 0.75});
    ASSERT_EQ(times.size(), 3u);
    EXPECT_NEAR(times[0], 0.0, 1e-6);
    EXPECT_NEAR(times[1], 0.5, 1e-6);
    EXPECT_NEAR(times[2], 0.75, 1e-6);
}

TEST_F(MovieWriterTest, ConvertsWithBt709Coefficients) {
    // Pure red: BT.709 limited range gives Y 63, Cb 102, Cr 240; BT.601 would
    // give Y 81, Cb 90.
    const double start = hostTime();
    auto writer = createWriter(moviePath(), 64, 64, start, roomyRing());
    ASSERT_TRUE(writer);
    std::vector<std::uint8_t> red(64 * 64 * 4);
    for (std::size_t i = 0; i < red.size(); i += 4) {
        red[i] = 0;
        red[i + 1] = 0;
        red[i + 2] = 255;
        red[i + 3] = 255;
    }
    for (int i = 0; i < 10; ++i) {
        writer->append(VideoFrame{red.data(), 64, 64, 64 * 4, start + i / 60.0});
        QThread::msleep(5);
    }
    ASSERT_TRUE(writer->finish());
    const auto yuv = decodeFrame(moviePath(), 0, "yuv420p");
    ASSERT_TRUE(yuv);
    ASSERT_EQ(yuv->size(), 64 * 64 * 3 / 2);
    const auto at = [&](int offset) { return static_cast<int>(static_cast<std::uint8_t>((*yuv)[offset])); };
    EXPECT_NEAR(at(32 * 64 + 32), 63, 3);              // Y
    EXPECT_NEAR(at(64 * 64 + 16 * 32 + 16), 102, 3);   // Cb
    EXPECT_NEAR(at(64 * 64 * 5 / 4 + 16 * 32 + 16), 240, 3); // Cr
}

TEST_F(MovieWriterTest, AFullRingDropsAndCountsInsteadOfWaiting) {
    const double start = hostTime();
    MovieWriterOptions options;
    options.ringSlots = 1;
    auto writer = createWriter(moviePath(), 1280, 800, start, options);
    ASSERT_TRUE(writer);
    const auto px = makeFrame(1280, 800, {10, 200, 30}, 0);
    for (int i = 0; i < 100; ++i) {
        writer->append(VideoFrame{px.data(), 1280, 800, 1280 * 4, start + i / 60.0});
    }
    ASSERT_TRUE(writer->finish());
    const WriterCounts counts = writer->counts();
    EXPECT_EQ(counts.offered, 100);
    EXPECT_GT(counts.dropped, 0);
    EXPECT_GT(counts.written, 0);
    EXPECT_EQ(counts.written + counts.dropped, 100);
    EXPECT_EQ(static_cast<std::int64_t>(probeFrames(moviePath()).size()), counts.written);
}

TEST_F(MovieWriterTest, FinishWithoutAnyFrameReportsFalse) {
    auto writer = createWriter(moviePath(), 320, 200, hostTime());
    ASSERT_TRUE(writer);
    EXPECT_FALSE(writer->finish());
    EXPECT_FALSE(writer->finish()); // asking again gives the same answer
}

TEST_F(MovieWriterTest, UnwritableLocationYieldsNoWriter) {
    QFile blocker(dir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString error;
    auto writer = createWriter(dir.filePath("not-a-folder/orvane-recording.mov"), 320,
                                      200, hostTime(), {}, &error);
    EXPECT_FALSE(writer);
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(MovieWriterTest, RejectsOddOrTinySizes) {
    EXPECT_FALSE(createWriter(moviePath(), 321, 200, hostTime()));
    EXPECT_FALSE(createWriter(moviePath(), 0, 200, hostTime()));
}

TEST_F(MovieWriterTest, FallsThroughEncodersThatDoNotExist) {
    MovieWriterOptions options;
    options.encoders = {"no_such_encoder", "libx264"};
    auto writer = createWriter(moviePath(), 320, 200, hostTime(), options);
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->encoderName(), "libx264");
    options.encoders = {"no_such_encoder"};
    QString error;
    EXPECT_FALSE(createWriter(dir.filePath("b.mov"), 320, 200, hostTime(), options, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(MovieWriterTest, ASecondTakeReplacesTheFirst) {
    double start = hostTime();
    {
        auto first = createWriter(moviePath(), 320, 200, start, roomyRing());
        ASSERT_TRUE(first);
        feed60(*first, 320, 200, {0, 0, 255}, 60, start);
        ASSERT_TRUE(first->finish());
    }
    ASSERT_NEAR(probeMovie(moviePath())->duration, 1.0, 0.03);
    start = hostTime();
    auto second = createWriter(moviePath(), 160, 100, start, roomyRing());
    ASSERT_TRUE(second);
    feed60(*second, 160, 100, {255, 0, 0}, 30, start);
    ASSERT_TRUE(second->finish());
    const auto movie = probeMovie(moviePath());
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->width, 160);
    EXPECT_NEAR(movie->duration, 0.5, 0.03);
    const auto px = decodeFrame(moviePath(), 0.2, "bgra");
    ASSERT_TRUE(px);
    const std::size_t mid = (50 * 160 + 80) * 4;
    EXPECT_GT(static_cast<std::uint8_t>((*px)[mid]), 200);     // blue
    EXPECT_LT(static_cast<std::uint8_t>((*px)[mid + 2]), 60);  // not red
}

TEST_F(MovieWriterTest, ASigkilledRecordingStillDecodesUpToItsLastFragment) {
    ASSERT_TRUE(test::recordThenKill(QStringLiteral(ORVANE_CAPTURE_PROBE), moviePath(), {}, 3500));
    const auto frames = probeFrames(moviePath());
    ASSERT_FALSE(frames.empty());
    // Fragments close at each key frame (every second): at most about two
    // seconds may be missing.
    EXPECT_GE(frames.back().time, 3.5 - 2.0);
}

TEST_F(MovieWriterTest, AFullDiskEndsTheTakeWithoutLosingWhatWasWritten) {
    // The process may grow files to 40 kB: writes beyond fail as on a full disk.
    QProcess probe;
    probe.start(ORVANE_CAPTURE_PROBE, {"synthetic", moviePath(), "--noise", "--seconds", "3",
                                       "--file-limit", "40000"});
    ASSERT_TRUE(probe.waitForStarted());
    ASSERT_TRUE(probe.waitForFinished(30000)) << "the writer hung on a full disk";
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    EXPECT_TRUE(out.contains("finish=false")) << out.toStdString();
    EXPECT_LE(QFileInfo(moviePath()).size(), 40000);
    EXPECT_FALSE(probeFrames(moviePath()).empty());
}

} // namespace
