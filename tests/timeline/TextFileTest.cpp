// Reading the take's text files: bounded by size for regular files and by a
// bounded read for FIFOs and devices, which have no size.
#include "timeline/TextFile.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace orvane;

namespace {

namespace fs = std::filesystem;

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A writer whose reader gave up must see EPIPE, not die of SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        dir = fs::temp_directory_path() /
              ("orvane-textfile-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string fifo(const std::string& name) {
        const std::string path = (dir / name).string();
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        return path;
    }

    fs::path dir;
};

// Writes `bytes` bytes of text into `path` (a FIFO) and stops early when the
// reader goes away.
std::thread feed(const std::string& path, std::size_t bytes) {
    return std::thread([path, bytes] {
        std::FILE* out = std::fopen(path.c_str(), "w");
        if (out == nullptr) {
            return;
        }
        const std::string line = "0,0.5,0.5,0\n";
        for (std::size_t sent = 0; sent < bytes; sent += line.size()) {
            if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) {
                break;
            }
        }
        std::fclose(out);
    });
}

} // namespace

TEST_F(TextFileTest, RegularFilesAreRefusedByTheirSizeBeforeReading) {
    const std::string path = (dir / "huge.csv").string();
    // A sparse file: 257 MB by its size, nothing on the disk.
    std::ofstream(path).put('t');
    fs::resize_file(path, kMaxTextFileBytes + 1);
    const auto huge = readTextFile(path);
    ASSERT_FALSE(huge);
    EXPECT_EQ(huge.errorKind(), ErrorKind::Unsupported);
    EXPECT_EQ(huge.error(), "file too large (more than 256 MB)");

    // Exactly at a limit is fine, one byte more is not.
    const std::string small = (dir / "small.csv").string();
    std::ofstream(small) << std::string(1000, 'a');
    const auto atLimit = readTextFile(small, 1000);
    ASSERT_TRUE(atLimit) << atLimit.error();
    EXPECT_EQ(atLimit.value(), std::string(1000, 'a'));
    const auto over = readTextFile(small, 999);
    ASSERT_FALSE(over);
    EXPECT_EQ(over.errorKind(), ErrorKind::Unsupported);
}

TEST_F(TextFileTest, FifosAreReadUpToTheLimitOnly) {
    constexpr std::size_t kLimit = 1 << 20;
    const std::string endless = fifo("endless.csv");
    // Far more than the limit; the writer stops when the reader closes.
    std::thread writer = feed(endless, 64 * kLimit);
    const auto refused = readTextFile(endless, kLimit);
    writer.join();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.errorKind(), ErrorKind::Unsupported);
    EXPECT_NE(refused.error().find("too large"), std::string::npos) << refused.error();

    const std::string shortFifo = fifo("short.csv");
    std::thread shortWriter = feed(shortFifo, kLimit / 2);
    const auto read = readTextFile(shortFifo, kLimit);
    shortWriter.join();
    ASSERT_TRUE(read) << read.error();
    const std::size_t lines = (kLimit / 2 + 11) / 12;
    EXPECT_EQ(read.value().size(), lines * 12);
    EXPECT_EQ(read.value().substr(0, 12), "0,0.5,0.5,0\n");
}

TEST_F(TextFileTest, DevicesWithoutEndAreRefused) {
    const auto zero = readTextFile("/dev/zero", 1 << 20);
    ASSERT_FALSE(zero);
    EXPECT_NE(zero.error().find("too large"), std::string::npos);
    const auto empty = readTextFile("/dev/null");
    ASSERT_TRUE(empty) << empty.error();
    EXPECT_EQ(empty.value(), "");
}

TEST_F(TextFileTest, Utf8TextLosesItsMarkAndUtf16IsRefused) {
    EXPECT_EQ(utf8Text("\xEF\xBB\xBF{}").value(), "{}");
    EXPECT_EQ(utf8Text("t,x\n\xC3\xA9").value(), "t,x\n\xC3\xA9");
    EXPECT_EQ(utf8Text("").value(), "");
    for (const std::string& bad :
         {std::string("\xFF\xFE{\0}\0", 6), std::string("\xFE\xFF\0{\0}", 6),
          std::string("{\0\"\0", 4), std::string("\xFF\xFE")}) {
        const auto r = utf8Text(bad);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.errorKind(), ErrorKind::Unsupported);
        EXPECT_NE(r.error().find("UTF-16"), std::string::npos);
    }
}
