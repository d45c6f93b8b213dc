// renderComposite end to end: real HEVC sources made by ffmpeg, the MP4 checked
// with ffprobe and by decoding its pixels.
#include "ExportTestSupport.h"
#include "MovieFixtures.h"

#include "render/BackgroundPresets.h"
#include "render/OutputGeometry.h"
#include "render/export/RenderComposite.h"
#include "media/MovieReader.h"
#include "timeline/ClicksFile.h"
#include "timeline/TextFile.h"
#include "timeline/ZoomGeneration.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <vector>

using namespace orvane;
using namespace orvane::test;

namespace {

// The job a finished take of the split source would export.
ExportJob splitJob(const std::string& output) {
    ExportJob job;
    job.source = splitSourceMovie();
    job.output = output;
    std::vector<Moment> clicks(1);
    clicks[0].t = kClickTime;
    clicks[0].cx = kClickX;
    clicks[0].cy = kClickY;
    job.timeline.build(zoomsFromClicks(clicks, {2.0, 1.5, 0.8, 3.5}), clicks, 2.0, 1.5);
    job.timeline.track = {{0, kClickX, kClickY, false}, {2, kClickX, kClickY, false}};
    job.trimEnd = 2.0;
    return job;
}

QImage decodeAt(const std::string& path, double t) {
    media::MovieReader reader;
    auto info = reader.open(path);
    if (!info) {
        return {};
    }
    QImage img(info->width, info->height, QImage::Format_RGB32);
    double time = 0;
    if (!reader.seek(t, true) || !reader.readFrame({img.bits(), img.bytesPerLine()}, time)) {
        return {};
    }
    return img;
}

bool near(QRgb c, double r, double g, double b, int tolerance) {
    return std::abs(qRed(c) - static_cast<int>(std::lround(r * 255))) <= tolerance &&
           std::abs(qGreen(c) - static_cast<int>(std::lround(g * 255))) <= tolerance &&
           std::abs(qBlue(c) - static_cast<int>(std::lround(b * 255))) <= tolerance;
}

// Where, as a fraction of the video rectangle's width, the yellow half turns
// blue along the row at `rowFraction` of the rectangle's height.
double boundaryFraction(const QImage& img, const QRectF& video, double rowFraction) {
    const int y = static_cast<int>(video.top() + rowFraction * video.height());
    for (int x = static_cast<int>(video.left()) + 3; x < static_cast<int>(video.right()) - 3; ++x) {
        if (qBlue(img.pixel(x, y)) > qRed(img.pixel(x, y))) {
            return (x - video.left()) / video.width();
        }
    }
    return -1;
}

class RenderCompositeTest : public ::testing::Test {
protected:
    std::string out(const char* name = "out.mp4") const { return dir.file(name); }
    TempDir dir;
};

} // namespace

TEST_F(RenderCompositeTest, WholeTakeIsH264WithEveryFrameAndTrueColourTags) {
    auto result = renderComposite(splitJob(out()), {});
    ASSERT_TRUE(result.ok()) << result.error();
    const auto p = probe(out());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->codec, "h264");
    EXPECT_EQ(p->videoStreams, 1);
    EXPECT_EQ(p->audioStreams, 0);
    EXPECT_EQ(p->frames, 60);
    EXPECT_NEAR(p->duration, 2.0, 0.05);
    EXPECT_EQ(p->primaries, "bt709");
    EXPECT_EQ(p->transfer, "iec61966-2-1");
    EXPECT_EQ(p->matrix, "bt709");
    EXPECT_EQ(p->range, "tv");
    EXPECT_EQ(result->frames, 60);
    EXPECT_EQ(strayFiles(dir.path(), {"out.mp4"}), QStringList());
}

TEST_F(RenderCompositeTest, EveryFormatGetsItsEvenOutputSize) {
    for (int format = 0; format < 5; ++format) {
        SCOPED_TRACE(format);
        ExportJob job = splitJob(out());
        job.look.formatIndex = format;
        job.trimEnd = 0.2; // a few frames are enough for the size
        ASSERT_TRUE(renderComposite(job, {}).ok());
        const auto expected = outputSize(320, 200, outputAspect(format, 320, 200), job.look.padding);
        ASSERT_TRUE(expected);
        const auto p = probe(out());
        ASSERT_TRUE(p);
        EXPECT_EQ(p->width, expected->width);
        EXPECT_EQ(p->height, expected->height);
        EXPECT_EQ(p->width % 2, 0);
        EXPECT_EQ(p->height % 2, 0);
    }
}

TEST_F(RenderCompositeTest, TrimmedRangeStartsAtZeroWithItsOwnFrames) {
    ExportJob job = splitJob(out());
    job.trimStart = 0.5;
    job.trimEnd = 1.5;
    ASSERT_TRUE(renderComposite(job, {}).ok());
    const auto p = probe(out());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->frames, 30); // source frames at 0.5 ... 1.4667
    EXPECT_NEAR(p->duration, 1.0, 0.05);
    EXPECT_NEAR(p->firstTime, 0.0, 0.01);
}

TEST_F(RenderCompositeTest, TrimEndZeroOrPastTheEndExportsToTheEnd) {
    for (double trimEnd : {0.0, 7.5}) {
        SCOPED_TRACE(trimEnd);
        ExportJob job = splitJob(out());
        job.trimStart = 1.0;
        job.trimEnd = trimEnd;
        ASSERT_TRUE(renderComposite(job, {}).ok());
        const auto p = probe(out());
        ASSERT_TRUE(p);
        EXPECT_EQ(p->frames, 30);
        EXPECT_NEAR(p->duration, 1.0, 0.05);
    }
}

TEST_F(RenderCompositeTest, BackgroundGradientFillsTheCorners) {
    ASSERT_TRUE(renderComposite(splitJob(out()), {}).ok());
    const QImage img = decodeAt(out(), 0.2);
    ASSERT_FALSE(img.isNull());
    const GradientPreset g = bgPresets[0];
    EXPECT_TRUE(near(img.pixel(1, 1), g.first.r, g.first.g, g.first.b, 8))
        << std::hex << img.pixel(1, 1);
    EXPECT_TRUE(near(img.pixel(img.width() - 2, img.height() - 2), g.second.r, g.second.g,
                     g.second.b, 8))
        << std::hex << img.pixel(img.width() - 2, img.height() - 2);
    // The video itself is there too: yellow left of centre.
    const QRectF video = videoRect(img.width(), img.height(), 0.08, 320, 200);
    const QRgb left = img.pixel(static_cast<int>(video.left() + video.width() * 0.1),
                                static_cast<int>(video.center().y()));
    EXPECT_TRUE(near(left, 0xE0 / 255.0, 0xE0 / 255.0, 0x40 / 255.0, 12)) << std::hex << left;
}

TEST_F(RenderCompositeTest, ZoomShowsInTheFrameContent) {
    ASSERT_TRUE(renderComposite(splitJob(out()), {}).ok());
    const QImage before = decodeAt(out(), 0.1);
    const QImage zoomed = decodeAt(out(), 1.6);
    ASSERT_FALSE(before.isNull());
    ASSERT_FALSE(zoomed.isNull());
    const QRectF video = videoRect(before.width(), before.height(), 0.08, 320, 200);
    // Unzoomed, the halves meet in the middle. Zoomed 1.5x toward the click on
    // the yellow half, the camera (clamped inside the frame) shows at most
    // x 0...2/3 once it has arrived, so the boundary moves right, to 3/4 of the
    // width at full zoom.
    EXPECT_NEAR(boundaryFraction(before, video, 0.25), 0.5, 0.03);
    const double zoomedBoundary = boundaryFraction(zoomed, video, 0.25);
    EXPECT_GT(zoomedBoundary, 0.65);
    EXPECT_LT(zoomedBoundary, 0.78);
}

TEST_F(RenderCompositeTest, ExportingTwiceToOneNameOverwrites) {
    ExportJob job = splitJob(out());
    job.trimEnd = 0.5;
    ASSERT_TRUE(renderComposite(job, {}).ok());
    job.look.formatIndex = 2; // square: a different size shows the second file won
    job.trimEnd = 1.0;
    ASSERT_TRUE(renderComposite(job, {}).ok());
    const auto p = probe(out());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, p->height);
    EXPECT_EQ(p->frames, 30);
    EXPECT_EQ(strayFiles(dir.path(), {"out.mp4"}), QStringList());
}

TEST_F(RenderCompositeTest, ProgressRisesInWholePercentsToOne) {
    std::mutex m;
    std::vector<double> reports;
    ASSERT_TRUE(renderComposite(splitJob(out()), [&](double f) {
                    std::lock_guard lock(m);
                    reports.push_back(f);
                }).ok());
    ASSERT_GE(reports.size(), 30u); // 60 frames over 100 percent
    EXPECT_EQ(reports.front(), 0.0);
    EXPECT_EQ(reports.back(), 1.0);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_NEAR(reports[i] * 100, std::round(reports[i] * 100), 1e-9);
        if (i > 0) {
            EXPECT_GT(reports[i], reports[i - 1]);
        }
    }
}

TEST_F(RenderCompositeTest, BadSourcesFailAndLeaveNothing) {
    const std::string source = splitSourceMovie();
    const std::string truncated = dir.file("truncated.mov");
    ASSERT_TRUE(writePrefix(source, truncated, fileSize(source) / 2));
    const std::string garbage = dir.file("garbage.mov");
    ASSERT_TRUE(writeText(garbage, std::string(4096, 'x')));
    const std::string audioOnly = dir.file("audio.mov");
    ASSERT_TRUE(runFfmpeg("-f lavfi -i sine=d=1 -c:a aac '" + audioOnly + "'"));
    const std::string missing = dir.file("missing.mov");
    for (const std::string& bad : {truncated, garbage, audioOnly, missing}) {
        SCOPED_TRACE(bad);
        ExportJob job = splitJob(out());
        job.source = bad;
        auto result = renderComposite(job, {});
        EXPECT_FALSE(result.ok());
        EXPECT_FALSE(result.ok() ? true : result.error().empty());
        EXPECT_EQ(strayFiles(dir.path(), {"truncated.mov", "garbage.mov", "audio.mov"}),
                  QStringList());
    }
}

TEST_F(RenderCompositeTest, UnwritableTargetsFailAndLeaveNothing) {
    for (const std::string& target :
         {dir.file("no-such-folder/out.mp4"), dir.path(), std::string("/proc/orvane-out.mp4")}) {
        SCOPED_TRACE(target);
        auto result = renderComposite(splitJob(target), {});
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(strayFiles(dir.path(), {}), QStringList());
    }
}

TEST_F(RenderCompositeTest, WritingOverTheSourceIsRefused) {
    const std::string source = dir.file("take.mov");
    ASSERT_TRUE(writePrefix(splitSourceMovie(), source, fileSize(splitSourceMovie())));
    const long before = fileSize(source);
    ExportJob job = splitJob(source);
    job.source = source;
    EXPECT_FALSE(renderComposite(job, {}).ok());
    EXPECT_EQ(fileSize(source), before);
    // Another spelling of the same path is the same file.
    job.output = dir.path() + "/./take.mov";
    EXPECT_FALSE(renderComposite(job, {}).ok());
    EXPECT_EQ(fileSize(source), before);
    EXPECT_EQ(strayFiles(dir.path(), {"take.mov"}), QStringList());
}

TEST_F(RenderCompositeTest, CancelledExportLeavesNothingAndKeepsTheEarlierFile) {
    ASSERT_TRUE(writeText(out(), "earlier export"));
    std::atomic<bool> cancel{false};
    auto result = renderComposite(splitJob(out()), [&](double f) {
        if (f >= 0.1) {
            cancel = true;
        }
    }, &cancel);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(fileSize(out()), 14);
    EXPECT_EQ(strayFiles(dir.path(), {"out.mp4"}), QStringList());
}
