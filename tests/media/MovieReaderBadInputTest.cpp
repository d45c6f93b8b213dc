// Files that are not movies, or damaged ones: opening them fails with a one-line
// message, reading them stops with an error, and nothing crashes or hangs.
#include "media/MovieReader.h"

#include "tests/support/MovieFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using orvane::media::BgraTarget;
using orvane::media::MovieReader;
using namespace orvane::test;

// Detailed pictures (testsrc2) so the media data is large enough to damage at
// chosen places; 60 frames each.
class BadInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        const std::string src = "-f lavfi -i testsrc2=size=320x200:rate=30 -frames:v 60 ";
        // The damaged copies are made per run in `dir` from these sound ones.
        const auto make = [](const std::string& name, const std::string& args) {
            const std::string p = cachedFixture(name, [&](const std::string& out) {
                return runFfmpeg(args + " -f " + (name.ends_with("m4a") ? "mp4" : "mov") +
                                 " \"" + out + "\"");
            });
            if (!p.empty()) {
                std::filesystem::copy_file(p, dir->file(name),
                                           std::filesystem::copy_options::overwrite_existing);
            }
            return !p.empty();
        };
        made = make("front.mp4", src + "-c:v libx264 -g 15 -movflags +faststart") &&
               make("back.mov", src + "-c:v libx265 -x265-params log-level=error:keyint=15 "
                                      "-tag:v hvc1") &&
               make("audio.m4a", "-f lavfi -i sine=frequency=440:duration=1 -c:a aac");
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }

    static std::string file(const std::string& name) { return dir->file(name); }

    // Opening must fail with a single line naming the file.
    static void expectOpenFails(const std::string& path, const std::string& words) {
        MovieReader reader;
        const auto r = reader.open(path);
        ASSERT_FALSE(r.ok());
        EXPECT_NE(r.error().find(words), std::string::npos) << r.error();
        EXPECT_NE(r.error().find(std::filesystem::path(path).filename().string()),
                  std::string::npos)
            << r.error();
        EXPECT_EQ(r.error().find('\n'), std::string::npos);
        EXPECT_EQ(reader.status(), MovieReader::Status::Closed);
        double t = 0;
        std::vector<std::uint8_t> pixels(320 * 200 * 4);
        EXPECT_FALSE(reader.readFrame({pixels.data(), 320 * 4}, t));
        EXPECT_FALSE(reader.seek(0.5, true));
    }

    // Reads to the end; returns the number of frames read.
    static int readAll(MovieReader& reader) {
        std::vector<std::uint8_t> pixels(static_cast<size_t>(reader.info().width) *
                                         reader.info().height * 4);
        BgraTarget target{pixels.data(), reader.info().width * 4};
        double t = 0;
        int n = 0;
        while (reader.readFrame(target, t)) {
            ++n;
            if (n > 1000) {
                break;
            }
        }
        return n;
    }

    // Overwrites `count` bytes at `offset` with seeded noise.
    static void scribble(const std::string& path, long offset, long count) {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(offset);
        std::mt19937 rng(1234);
        for (long i = 0; i < count; ++i) {
            f.put(static_cast<char>(rng() & 0xFF));
        }
    }

    static inline TempDir* dir = nullptr;
    static inline bool made = false;
};

TEST_F(BadInput, MissingFile) { expectOpenFails(file("nowhere.mov"), "does not exist"); }

TEST_F(BadInput, ZeroBytes) {
    ASSERT_TRUE(writeText(file("empty.mov"), ""));
    expectOpenFails(file("empty.mov"), "not a movie");
}

TEST_F(BadInput, TextFileNamedMov) {
    ASSERT_TRUE(writeText(file("notes.mov"), "These are notes, not a movie.\nSecond line.\n"));
    expectOpenFails(file("notes.mov"), "not a movie");
}

TEST_F(BadInput, RandomBytes) {
    std::mt19937 rng(99);
    std::string noise(200000, '\0');
    for (char& c : noise) {
        c = static_cast<char>(rng() & 0xFF);
    }
    ASSERT_TRUE(writeText(file("noise.mov"), noise));
    expectOpenFails(file("noise.mov"), "not a movie");
}

TEST_F(BadInput, Folder) {
    std::filesystem::create_directories(file("folder.mov"));
    expectOpenFails(file("folder.mov"), "not a movie");
}

TEST_F(BadInput, AudioOnly) {
    ASSERT_TRUE(made);
    expectOpenFails(file("audio.m4a"), "has no video");
}

TEST_F(BadInput, TruncatedBeforeItsIndex) {
    // ffmpeg writes the index (moov) last; cut in half, the file has none.
    ASSERT_TRUE(made);
    const long size = fileSize(file("back.mov"));
    ASSERT_GT(size, 20000);
    ASSERT_TRUE(writePrefix(file("back.mov"), file("back-half.mov"), size / 2));
    expectOpenFails(file("back-half.mov"), "is damaged");
}

TEST_F(BadInput, VideoDataAllNoise) {
    // A sound index whose samples are noise: nothing decodes.
    ASSERT_TRUE(made);
    std::filesystem::copy_file(file("front.mp4"), file("noise-data.mp4"),
                               std::filesystem::copy_options::overwrite_existing);
    const long size = fileSize(file("front.mp4"));
    scribble(file("noise-data.mp4"), 3000, size - 3000);
    expectOpenFails(file("noise-data.mp4"), "cannot be decoded");
}

TEST_F(BadInput, TruncatedAfterItsIndexEndsWithAnError) {
    // Index at the front: the file opens, the frames before the cut decode, and
    // reading stops with an error rather than a clean end.
    ASSERT_TRUE(made);
    const long size = fileSize(file("front.mp4"));
    ASSERT_TRUE(writePrefix(file("front.mp4"), file("front-cut.mp4"), size * 6 / 10));
    MovieReader reader;
    const auto r = reader.open(file("front-cut.mp4"));
    ASSERT_TRUE(r.ok()) << r.error();
    const int n = readAll(reader);
    EXPECT_GT(n, 10);
    EXPECT_LT(n, 60);
    EXPECT_EQ(reader.status(), MovieReader::Status::Error);
    EXPECT_NE(reader.error().find("damaged"), std::string::npos) << reader.error();
    // Seeking into the missing part fails or ends; it never hangs.
    reader.seek(1.9, true);
    readAll(reader);
    EXPECT_NE(reader.status(), MovieReader::Status::Ready);
}

TEST_F(BadInput, NoiseInTheMiddleStopsOrConceals) {
    ASSERT_TRUE(made);
    for (const char* name : {"front.mp4", "back.mov"}) {
        SCOPED_TRACE(name);
        const std::string damaged = file(std::string("mid-") + name);
        std::filesystem::copy_file(file(name), damaged,
                                   std::filesystem::copy_options::overwrite_existing);
        const long size = fileSize(damaged);
        scribble(damaged, size / 3, size / 10);
        MovieReader reader;
        const auto r = reader.open(damaged);
        ASSERT_TRUE(r.ok()) << r.error();
        const int n = readAll(reader);
        EXPECT_LE(n, 60);
        EXPECT_EQ(reader.status(), MovieReader::Status::Error) << "read " << n << " frames";
        ASSERT_TRUE(reader.seek(0.1, true)) << reader.error();
        EXPECT_EQ(reader.status(), MovieReader::Status::Ready);
    }
}

} // namespace
