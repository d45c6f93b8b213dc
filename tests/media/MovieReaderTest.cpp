#include "media/MovieReader.h"

#include "tests/support/MovieFixtures.h"
#include "media/YuvImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using orvane::media::BgraTarget;
using orvane::media::MovieReader;
using namespace orvane::test;

struct Fixture {
    std::string name;
    IndexMovie movie;
};

// Movies shared by all tests of this file, made once.
class Movies {
public:
    static Movies& get() {
        static Movies m;
        return m;
    }
    std::string path(const std::string& name) const { return paths.at(name); }
    std::map<std::string, std::string> paths;
    bool ok = true;

private:
    Movies() {
        for (const Fixture& f : fixtures()) {
            const IndexMovie m = f.movie;
            const std::string p = cachedFixture(
                indexMovieKey(m) + std::filesystem::path(f.name).extension().string(), [&](const std::string& out) { return makeIndexMovie(out, m); });
            ok = ok && !p.empty();
            paths[f.name] = p;
        }
    }

public:
    static const std::vector<Fixture>& fixtures() {
        static const std::vector<Fixture> list = [] {
            IndexMovie h264;
            IndexMovie hevc;
            hevc.codec = "hevc";
            IndexMovie hevc60 = hevc;
            hevc60.fps = 60;
            hevc60.frames = 70;
            hevc60.gop = 32;
            IndexMovie intra;
            intra.gop = 1;
            intra.bFrames = false;
            intra.frames = 12;
            return std::vector<Fixture>{{"h264.mp4", h264},
                                        {"hevc.mov", hevc},
                                        {"hevc60.mov", hevc60},
                                        {"intra.mp4", intra}};
        }();
        return list;
    }
};

// One BGRA picture of the movie's size, reused for every frame.
struct Picture {
    Picture(int w, int h, int padding = 0)
        : width(w), height(h), stride(static_cast<std::ptrdiff_t>(w) * 4 + padding),
          bytes(static_cast<size_t>(stride * h), 0xCD) {}
    BgraTarget target() { return {bytes.data(), stride}; }
    const std::uint8_t* at(int x, int y) const { return bytes.data() + y * stride + x * 4; }
    // The frame index the picture shows; -1 when its pixels disagree.
    int index() const {
        const int points[5][2] = {{0, 0}, {width - 1, 0}, {width / 2, height / 2},
                                  {0, height - 1}, {width - 1, height - 1}};
        int found = -2;
        for (const auto& p : points) {
            const std::uint8_t* px = at(p[0], p[1]);
            const int k = frameIndexOfGrey(px[0], px[1], px[2]);
            if (px[3] != 255 || k < 0 || (found != -2 && k != found)) {
                return -1;
            }
            found = k;
        }
        return found;
    }
    int width, height;
    std::ptrdiff_t stride;
    std::vector<std::uint8_t> bytes;
};

class ReaderOnMovie : public ::testing::TestWithParam<Fixture> {
protected:
    void SetUp() override {
        ASSERT_TRUE(Movies::get().ok) << "ffmpeg could not make the test movies";
        const auto opened = reader.open(Movies::get().path(GetParam().name));
        ASSERT_TRUE(opened.ok()) << opened.error();
        picture = std::make_unique<Picture>(opened->width, opened->height);
    }
    double fps() const { return GetParam().movie.fps; }
    int frames() const { return GetParam().movie.frames; }

    // Reads one frame and returns its index as its pixels show it.
    int readIndex(double& time) {
        if (!reader.readFrame(picture->target(), time)) {
            return -100;
        }
        return picture->index();
    }

    MovieReader reader;
    std::unique_ptr<Picture> picture;
};

TEST_P(ReaderOnMovie, ReportsTheVideoInfo) {
    const auto& info = reader.info();
    EXPECT_EQ(info.width, GetParam().movie.width);
    EXPECT_EQ(info.height, GetParam().movie.height);
    EXPECT_NEAR(info.frameRate, fps(), 1e-6);
    ASSERT_TRUE(info.duration.has_value());
    EXPECT_NEAR(*info.duration, frames() / fps(), 0.5 / fps());
    EXPECT_EQ(reader.status(), MovieReader::Status::Ready);
}

TEST_P(ReaderOnMovie, DecodesEveryFrameInOrderWithItsTime) {
    int count = 0;
    double time = -1;
    for (;;) {
        const int index = readIndex(time);
        if (index == -100) {
            break;
        }
        EXPECT_EQ(index, count) << "frame " << count;
        EXPECT_NEAR(time, count / fps(), 1e-6) << "frame " << count;
        ++count;
        ASSERT_LE(count, frames()) << "more frames than the movie has";
    }
    EXPECT_EQ(count, frames());
    EXPECT_EQ(reader.status(), MovieReader::Status::End);
    EXPECT_TRUE(reader.error().empty());
    EXPECT_FALSE(reader.readFrame(picture->target(), time));
    EXPECT_EQ(reader.status(), MovieReader::Status::End);
}

TEST_P(ReaderOnMovie, ExactSeekLandsOnTheFrameWhoseIntervalHoldsTheTime) {
    const double step = 1.0 / fps();
    const int last = frames() - 1;
    const int gop = GetParam().movie.gop;
    std::vector<double> requests = {0.0,
                                    0.2 * step,
                                    gop * step,              // a key frame
                                    (gop - 1) * step,        // just before one
                                    (gop + 1) * step,        // just after one
                                    (gop - 1) * step + 0.999 * step,
                                    7.5 * step,
                                    last * step,
                                    (last + 0.5) * step,
                                    0.5 * step};
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> anywhere(0.0, frames() * step);
    for (int i = 0; i < 12; ++i) {
        requests.push_back(anywhere(rng));
    }
    for (const double t : requests) {
        SCOPED_TRACE("t = " + std::to_string(t));
        ASSERT_TRUE(reader.seek(t, true)) << reader.error();
        const int expected = std::min(static_cast<int>(std::floor(t * fps() + 1e-9)), last);
        double time = -1;
        EXPECT_EQ(readIndex(time), expected);
        EXPECT_NEAR(time, expected * step, 1e-6);
        EXPECT_LE(time, t + 1e-9);
        if (expected < last) {
            EXPECT_GT(time + step, t);
        }
        // Reading carries on from there in order.
        for (int k = expected + 1; k <= std::min(expected + 3, last); ++k) {
            EXPECT_EQ(readIndex(time), k);
            EXPECT_NEAR(time, k * step, 1e-6);
        }
    }
}

TEST_P(ReaderOnMovie, ExactSeekPastTheEndGivesTheLastFrameThenTheEnd) {
    ASSERT_TRUE(reader.seek(1000.0, true));
    double time = -1;
    EXPECT_EQ(readIndex(time), frames() - 1);
    EXPECT_EQ(readIndex(time), -100);
    EXPECT_EQ(reader.status(), MovieReader::Status::End);
    // And a seek back reopens reading after the end.
    ASSERT_TRUE(reader.seek(-1.0, true));
    EXPECT_EQ(readIndex(time), 0);
    EXPECT_NEAR(time, 0.0, 1e-9);
}

TEST_P(ReaderOnMovie, DefaultSeekLandsOnAKeyFrameAtOrBeforeTheRequest) {
    const double step = 1.0 / fps();
    const int gop = GetParam().movie.gop;
    for (int k = 0; k < frames(); k += 5) {
        const double t = (k + 0.5) * step;
        SCOPED_TRACE("t = " + std::to_string(t));
        ASSERT_TRUE(reader.seek(t, false)) << reader.error();
        double time = -1;
        const int index = readIndex(time);
        ASSERT_GE(index, 0);
        EXPECT_NEAR(time, index * step, 1e-6);
        EXPECT_LE(time, t);
        EXPECT_EQ(index % gop, 0) << "not a key frame";
        EXPECT_EQ(index, k / gop * gop) << "not the nearest key frame before";
    }
}

TEST_P(ReaderOnMovie, ReadsWithoutConvertingWhenGivenNoPicture) {
    double time = -1;
    int count = 0;
    while (reader.readFrame(BgraTarget{}, time)) {
        EXPECT_NEAR(time, count / fps(), 1e-6);
        ++count;
    }
    EXPECT_EQ(count, frames());
    EXPECT_EQ(reader.status(), MovieReader::Status::End);
}

INSTANTIATE_TEST_SUITE_P(Movies, ReaderOnMovie, ::testing::ValuesIn(Movies::fixtures()),
                         [](const ::testing::TestParamInfo<Fixture>& p) {
                             std::string n = p.param.name;
                             for (char& c : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return n;
                         });

TEST(MovieReader, WritesRowsAtTheGivenStrideAndLeavesThePaddingAlone) {
    ASSERT_TRUE(Movies::get().ok);
    MovieReader reader;
    ASSERT_TRUE(reader.open(Movies::get().path("h264.mp4")).ok());
    Picture padded(320, 200, 52);
    double time = -1;
    ASSERT_TRUE(reader.seek(10.0 / 30.0, true));
    ASSERT_TRUE(reader.readFrame(padded.target(), time));
    EXPECT_EQ(padded.index(), 10);
    for (int y = 0; y < 200; ++y) {
        const std::uint8_t* row = padded.bytes.data() + y * padded.stride;
        EXPECT_EQ(frameIndexOfGrey(row[0], row[1], row[2]), 10) << "row " << y;
        for (int i = 320 * 4; i < padded.stride; ++i) {
            ASSERT_EQ(row[i], 0xCD) << "padding written in row " << y;
        }
    }
}

TEST(MovieReader, DecodesBt709GreyLevels) {
    ASSERT_TRUE(Movies::get().ok);
    MovieReader reader;
    ASSERT_TRUE(reader.open(Movies::get().path("hevc.mov")).ok());
    Picture pic(320, 200);
    double time = -1;
    ASSERT_TRUE(reader.readFrame(pic.target(), time));
    // Luma 16 is black in limited range.
    EXPECT_LE(pic.at(100, 100)[1], 1);
    ASSERT_TRUE(reader.seek(40.0 / 30.0, true));
    ASSERT_TRUE(reader.readFrame(pic.target(), time));
    // Luma 16 + 120 = 136 maps to (120 * 255 / 219) = 139.7 in full-range RGB.
    EXPECT_NEAR(pic.at(100, 100)[0], 140, 2);
    EXPECT_NEAR(pic.at(100, 100)[1], 140, 2);
    EXPECT_NEAR(pic.at(100, 100)[2], 140, 2);
}

TEST(MovieReader, OpensASecondMovieAfterTheFirst) {
    ASSERT_TRUE(Movies::get().ok);
    MovieReader reader;
    ASSERT_TRUE(reader.open(Movies::get().path("hevc60.mov")).ok());
    EXPECT_NEAR(reader.info().frameRate, 60, 1e-6);
    ASSERT_TRUE(reader.open(Movies::get().path("intra.mp4")).ok());
    EXPECT_NEAR(reader.info().frameRate, 30, 1e-6);
    double time = -1;
    int count = 0;
    while (reader.readFrame(BgraTarget{}, time)) {
        ++count;
    }
    EXPECT_EQ(count, 12);
}

TEST(MovieReader, KeepsReadingAfterBeingMoved) {
    ASSERT_TRUE(Movies::get().ok);
    MovieReader first;
    ASSERT_TRUE(first.open(Movies::get().path("h264.mp4")).ok());
    Picture pic(320, 200);
    double time = -1;
    ASSERT_TRUE(first.readFrame(pic.target(), time));
    MovieReader second(std::move(first));
    ASSERT_TRUE(second.readFrame(pic.target(), time));
    EXPECT_EQ(pic.index(), 1);
}

} // namespace

TEST(MovieReader, ReadsOrvanesOwnI420AsItIsAndConvertsOtherColours) {
    ASSERT_TRUE(Movies::get().ok);
    MovieReader reader;
    ASSERT_TRUE(reader.open(Movies::get().path("hevc.mov")).ok());
    orvane::YuvImage picture(320, 200);
    double time = -1;
    ASSERT_TRUE(reader.seek(40.0 / 30.0, true));
    ASSERT_TRUE(reader.readPicture(picture.view(), time));
    EXPECT_NEAR(time, 40.0 / 30.0, 1e-6);
    // The index movies' frame 40 is luma 16 + 120, no colour.
    EXPECT_NEAR(picture.view().y.row(100)[100], 136, 1);
    EXPECT_NEAR(picture.view().u.row(50)[50], 128, 1);
    // A picture of another size is refused.
    orvane::YuvImage wrong(160, 100);
    EXPECT_FALSE(reader.readPicture(wrong.view(), time));

    // Full-range BT.601 (a phone's or camera's video): pure red must arrive as
    // BT.709 limited-range red, not as the file's own numbers copied.
    TempDir dir;
    const std::string red = dir.file("red601.mp4");
    ASSERT_TRUE(runFfmpeg("-f lavfi -i color=c=0xFF0000:s=64x48:r=10:d=0.5 -vf "
                          "scale=out_color_matrix=bt601:out_range=full,format=yuvj420p "
                          "-color_range pc -colorspace smpte170m -c:v libx264 -qp 0 '" +
                          red + "'"));
    MovieReader other;
    ASSERT_TRUE(other.open(red).ok());
    orvane::YuvImage converted(64, 48);
    ASSERT_TRUE(other.readPicture(converted.view(), time));
    EXPECT_NEAR(converted.view().y.row(20)[20], 63, 2);
    EXPECT_NEAR(converted.view().u.row(10)[10], 102, 2);
    EXPECT_NEAR(converted.view().v.row(10)[10], 240, 2);
}

// A stream stored rotated (a "rotate" tag, kept as a display matrix) is read
// upright: the size as shown, and every pixel where FFmpeg's own player puts it.
TEST(MovieReader, TurnsRotatedStreamsUpright) {
    TempDir dir;
    // Blue, with a red square in the top-left corner and a green one in the
    // top-right corner of the picture as stored.
    const std::string stored = dir.file("stored.mp4");
    ASSERT_TRUE(runFfmpeg("-f lavfi -i 'color=c=blue:s=96x64:r=30:d=0.2,"
                          "drawbox=x=0:y=0:w=16:h=16:color=red:t=fill,"
                          "drawbox=x=80:y=0:w=16:h=16:color=lime:t=fill' "
                          "-c:v libx264 -preset ultrafast -pix_fmt yuv420p '" + stored + "'"));
    for (const int rotate : {0, 90, 180, 270}) {
        SCOPED_TRACE(rotate);
        const std::string tagged = dir.file("rotate" + std::to_string(rotate) + ".mp4");
        ASSERT_TRUE(runFfmpeg("-i '" + stored + "' -c copy -metadata:s:v rotate=" +
                              std::to_string(rotate) + " '" + tagged + "'"));
        // FFmpeg's own upright decode of the first frame, as RGB.
        const std::string raw = dir.file("upright.rgb");
        ASSERT_TRUE(runFfmpeg("-i '" + tagged + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" +
                              raw + "'"));
        const bool quarter = rotate == 90 || rotate == 270;
        const int w = quarter ? 64 : 96;
        const int h = quarter ? 96 : 64;
        ASSERT_EQ(fileSize(raw), static_cast<long>(w) * h * 3);
        std::FILE* in = std::fopen(raw.c_str(), "rb");
        ASSERT_NE(in, nullptr);
        std::vector<std::uint8_t> expected(static_cast<std::size_t>(w) * h * 3);
        ASSERT_EQ(std::fread(expected.data(), 1, expected.size(), in), expected.size());
        std::fclose(in);

        MovieReader reader;
        auto info = reader.open(tagged);
        ASSERT_TRUE(info) << info.error();
        EXPECT_EQ(info->width, w);
        EXPECT_EQ(info->height, h);
        std::vector<std::uint8_t> bgra(static_cast<std::size_t>(w) * h * 4);
        double t = 0;
        ASSERT_TRUE(reader.readFrame({bgra.data(), w * 4}, t));
        // The middle of each 16-pixel square of the corners, and the centre:
        // the same colour as FFmpeg shows there (which of red, green and blue
        // leads; the two conversions may use different matrices on this
        // untagged stream, so levels are not compared).
        const auto leading = [](int r, int g, int b) {
            return r > g && r > b ? 'r' : g > b ? 'g' : 'b';
        };
        const std::pair<int, int> spots[] = {
            {8, 8}, {w - 9, 8}, {8, h - 9}, {w - 9, h - 9}, {w / 2, h / 2}};
        std::string colours;
        for (const auto& [x, y] : spots) {
            const std::uint8_t* ours = &bgra[(static_cast<std::size_t>(y) * w + x) * 4];
            const std::uint8_t* theirs = &expected[(static_cast<std::size_t>(y) * w + x) * 3];
            colours += leading(theirs[0], theirs[1], theirs[2]);
            EXPECT_EQ(leading(ours[2], ours[1], ours[0]), leading(theirs[0], theirs[1], theirs[2]))
                << x << "," << y;
        }
        // Red and green each in one corner, wherever the turn put them.
        EXPECT_EQ(std::count(colours.begin(), colours.end(), 'r'), 1) << colours;
        EXPECT_EQ(std::count(colours.begin(), colours.end(), 'g'), 1) << colours;
        // The same through the I420 path the export reads with: by brightness,
        // green is the brightest, then red, then blue.
        ASSERT_TRUE(reader.seek(0, true));
        orvane::YuvImage picture(w, h);
        ASSERT_TRUE(reader.readPicture(picture.view(), t));
        const orvane::YuvView view = picture.view();
        std::uint8_t red = 0, green = 0, blue = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const auto [x, y] = spots[i];
            const std::uint8_t luma = view.y.row(y)[x];
            (colours[i] == 'r' ? red : colours[i] == 'g' ? green : blue) = luma;
        }
        EXPECT_GT(green, red + 40);
        EXPECT_GT(red, blue + 15);
    }
}
