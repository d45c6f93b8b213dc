// Exports of a take divided into sections: an index movie (every frame's grey
// level is its index) exported with cuts and speeds, and every frame of the
// MP4 checked against the source frame the output clock should show.
#include "ExportTestSupport.h"
#include "MovieFixtures.h"
#include "TimelineFixtures.h"

#include "render/export/RenderComposite.h"
#include "media/MovieReader.h"
#include "timeline/TimeMap.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace orvane;
using namespace orvane::test;

namespace {

constexpr int kFps = 12;
constexpr int kFrames = 72; // 6 s

std::string indexSource() {
    IndexMovie m;
    m.fps = kFps;
    m.frames = kFrames;
    m.gop = 12;
    return cachedFixture(indexMovieKey(m) + ".mp4",
                         [m](const std::string& path) { return makeIndexMovie(path, m); });
}

Section part(double a, double b, double speed = 1, bool cut = false) {
    return test::section(a, b, speed, cut);
}

struct OutFrame {
    double time = 0;
    int index = -1;
};

// Every frame of the export: its time and the source index it shows, read
// from a pixel well inside the video and away from any cursor.
std::vector<OutFrame> readIndices(const std::string& path) {
    std::vector<OutFrame> frames;
    media::MovieReader reader;
    auto info = reader.open(path);
    if (!info) {
        return frames;
    }
    QImage img(info->width, info->height, QImage::Format_RGB32);
    double t = 0;
    while (reader.readFrame({img.bits(), img.bytesPerLine()}, t)) {
        const QRgb c = img.pixel(img.width() / 3, img.height() / 3);
        frames.push_back({t, frameIndexOfGrey(static_cast<std::uint8_t>(qBlue(c)), static_cast<std::uint8_t>(qGreen(c)), static_cast<std::uint8_t>(qRed(c)))});
    }
    return frames;
}

ExportJob indexJob(const std::string& output, std::vector<Section> sections) {
    ExportJob job;
    job.source = indexSource();
    job.output = output;
    job.timeline.build({}, {}, kFrames / double(kFps), 1.5);
    job.timeline.cursorInPicture = true; // no cursor over the pixels read
    job.trimEnd = kFrames / double(kFps);
    job.sections = std::move(sections);
    return job;
}

} // namespace

TEST(SectionExport, EveryFrameIsTheOneTheOutputClockShows) {
    TempDir dir;
    // 0-1 kept, 1-2 cut, 2-3 at 2x, 3-3.5 at 0.5x, 3.5-6 kept.
    const std::vector<Section> sections{part(0, 1), part(1, 2, 1, true), part(2, 3, 2),
                                        part(3, 3.5, 0.5), part(3.5, 6)};
    const std::string out = dir.file("sections.mp4");
    auto done = renderComposite(indexJob(out, sections), {});
    ASSERT_TRUE(done.ok()) << done.error();
    const TimeMap map(sections);
    EXPECT_NEAR(done->duration, 5.0, 1e-3);

    const auto frames = readIndices(out);
    // 12 + 6 (every other at 2x) + 12 (each twice at 0.5x) + 30.
    ASSERT_EQ(frames.size(), 60U);
    EXPECT_EQ(done->frames, 60);
    double last = -1;
    for (const OutFrame& f : frames) {
        // The source frame on screen at the take time this instant shows.
        const double take = map.takeTime(f.time);
        const int expected = static_cast<int>(std::floor(take * kFps + 1e-3));
        EXPECT_EQ(f.index, expected) << "output " << f.time << " s, take " << take << " s";
        EXPECT_GT(f.time, last);
        // Outside the 1x parts the output keeps the take's frame rate.
        const double ticks = f.time * kFps;
        EXPECT_NEAR(ticks, std::round(ticks), 0.01) << f.time;
        last = f.time;
    }
    // Nothing from the cut is shown.
    for (const OutFrame& f : frames) {
        EXPECT_FALSE(f.index >= 12 && f.index < 24) << f.index;
    }
    auto p = probe(out);
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->duration, 5.0, 0.05);
}

TEST(SectionExport, TrimFirstThenSectionsAndFastEnds) {
    TempDir dir;
    // A 16x part and a 0.25x part inside a trim of 0.5 ... 5.5 s.
    const std::vector<Section> sections{part(0, 2), part(2, 4, 16), part(4, 4.5, 0.25),
                                        part(4.5, 6)};
    ExportJob job = indexJob(dir.file("ends.mp4"), sections);
    job.trimStart = 0.5;
    job.trimEnd = 5.5;
    auto done = renderComposite(job, {});
    ASSERT_TRUE(done.ok()) << done.error();
    const TimeMap map(sections);
    const double length = map.outputLength(0.5, 5.5); // 1.5 + 0.125 + 2 + 1
    EXPECT_NEAR(done->duration, length, 1.0 / kFps + 1e-3);
    const auto frames = readIndices(dir.file("ends.mp4"));
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front().index, 6) << "output 0 is the trim's start";
    for (const OutFrame& f : frames) {
        const double take = map.takeTime(f.time + map.outputTime(0.5));
        EXPECT_EQ(f.index, static_cast<int>(std::floor(take * kFps + 1e-3))) << f.time;
    }
    // The slowed half second shows each of its 6 frames four times.
    int slowed = 0;
    for (const OutFrame& f : frames) {
        slowed += f.index >= 48 && f.index < 54 ? 1 : 0;
    }
    EXPECT_EQ(slowed, 24);
}

TEST(SectionExport, ARangeThatIsAllCutIsRefused) {
    TempDir dir;
    ExportJob job = indexJob(dir.file("none.mp4"), {part(0, 3), part(3, 6, 1, true)});
    job.trimStart = 3.5;
    auto done = renderComposite(job, {});
    ASSERT_FALSE(done.ok());
    EXPECT_EQ(done.error(), "every part of the chosen range is cut");
    EXPECT_TRUE(strayFiles(dir.path(), {}).isEmpty());
}
