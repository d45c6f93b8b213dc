// What an export may write over and what it makes of sources at the edges:
// special files and links as targets, leftovers of killed exports, a trim past
// the end, a recording cut off mid-way, outputs too small to encode.
#include "ExportTestSupport.h"
#include "MovieFixtures.h"
#include "render/OutputGeometry.h"
#include "render/export/RenderComposite.h"
#include "render/export/TempOutput.h"
#include "media/MovieReader.h"
#include "timeline/ZoomGeneration.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace orvane;
using namespace orvane::test;

namespace {

namespace fs = std::filesystem;

ExportJob plainJob(const std::string& source, const std::string& output) {
    ExportJob job;
    job.source = source;
    job.output = output;
    job.timeline.build({}, {}, 2.0, 1.5);
    return job;
}

// A recording written as the recorder writes it (fragmented, so a crash keeps
// everything up to the last fragment): 4 s at 30 fps, a key frame every 15.
std::string fragmentedMovie() {
    return cachedFixture("fragmented-320x200-30fps-4s.mp4", [](const std::string& path) {
        return runFfmpeg("-f lavfi -i testsrc2=s=320x200:r=30:d=4 -c:v libx264 -preset ultrafast "
                         "-pix_fmt yuv420p -g 15 -movflags frag_keyframe+empty_moov -f mp4 '" +
                         path + "'");
    });
}

bool isLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

mode_t typeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

class ExportSafetyTest : public ::testing::Test {
protected:
    TempDir dir;
};

} // namespace

TEST_F(ExportSafetyTest, SpecialFilesAreRefusedAndStayWhatTheyWere) {
    const std::string fifo = dir.file("fifo.mp4");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string socketPath = dir.file("socket.mp4");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::vector<std::pair<std::string, const char*>> targets{{fifo, "a FIFO"},
                                                             {socketPath, "a socket"}};
    // A copy of /dev/full's device node, where the system allows making one
    // (root with CAP_MKNOD): the real one must not be put at risk.
    const std::string device = dir.file("full.mp4");
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        targets.emplace_back(device, "a device");
    }
    // A link to the FIFO is refused too: the link is followed first.
    const std::string link = dir.file("link.mp4");
    fs::create_symlink("fifo.mp4", link);
    targets.emplace_back(link, "a FIFO");

    for (const auto& [target, kind] : targets) {
        SCOPED_TRACE(target);
        const mode_t before = typeOf(target);
        auto result = renderComposite(plainJob(splitSourceMovie(), target), {});
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.errorKind(), ErrorKind::Invalid);
        EXPECT_NE(result.error().find(kind), std::string::npos) << result.error();
        EXPECT_NE(result.error().find("not a regular file"), std::string::npos) << result.error();
        EXPECT_EQ(typeOf(target), before);
    }
    ::close(sock);
    QStringList kept{"fifo.mp4", "socket.mp4", "link.mp4", "full.mp4"};
    EXPECT_EQ(strayFiles(dir.path(), kept), QStringList());
}

TEST_F(ExportSafetyTest, ALinkedOutputReplacesTheFileItPointsToAndStaysALink) {
    fs::create_directories(dir.file("videos"));
    const std::string real = dir.file("videos/real.mp4");
    ASSERT_TRUE(writeText(real, "an earlier export"));
    // Relative links, through another folder, two deep.
    fs::create_symlink("videos/real.mp4", dir.file("hop.mp4"));
    fs::create_symlink("hop.mp4", dir.file("link.mp4"));
    auto result = renderComposite(plainJob(splitSourceMovie(), dir.file("link.mp4")), {});
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_TRUE(isLink(dir.file("link.mp4")));
    EXPECT_TRUE(isLink(dir.file("hop.mp4")));
    EXPECT_EQ(fs::read_symlink(dir.file("link.mp4")), "hop.mp4");
    const auto p = probe(real);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->codec, "h264");
    EXPECT_EQ(p->frames, 60);
    EXPECT_EQ(result->bytes, fileSize(real));
    EXPECT_EQ(strayFiles(dir.path(), {"hop.mp4", "link.mp4"}), QStringList());
    EXPECT_EQ(strayFiles(dir.file("videos"), {"real.mp4"}), QStringList());

    // A link to a name not yet taken: the export creates that file.
    fs::create_symlink("videos/new.mp4", dir.file("dangling.mp4"));
    result = renderComposite(plainJob(splitSourceMovie(), dir.file("dangling.mp4")), {});
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_TRUE(isLink(dir.file("dangling.mp4")));
    EXPECT_EQ(typeOf(dir.file("videos/new.mp4")), S_IFREG);
    EXPECT_TRUE(probe(dir.file("videos/new.mp4")));

    // A loop of links is an error, not a hang.
    fs::create_symlink("loop-b.mp4", dir.file("loop-a.mp4"));
    fs::create_symlink("loop-a.mp4", dir.file("loop-b.mp4"));
    result = renderComposite(plainJob(splitSourceMovie(), dir.file("loop-a.mp4")), {});
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(isLink(dir.file("loop-a.mp4")));
}

TEST_F(ExportSafetyTest, LeftoversOfKilledExportsAreRemovedOnceADayOld) {
    using namespace std::chrono_literals;
    const auto ago = [](std::chrono::hours h) { return fs::file_time_type::clock::now() - h; };
    const std::string stale = dir.file(".out.mp4.orvane-Ab3xYz.mp4");
    const std::string staleOther = dir.file(".other.mp4.orvane-000000.mp4");
    const std::string fresh = dir.file(".out.mp4.orvane-Qw9rT1.mp4");
    const std::string notOurs = dir.file(".notes.orvane-abc.mp4");
    const std::string userFile = dir.file("holiday.mp4");
    for (const std::string& f : {stale, staleOther, fresh, notOurs, userFile}) {
        ASSERT_TRUE(writeText(f, "x"));
    }
    fs::last_write_time(stale, ago(25h));
    fs::last_write_time(staleOther, ago(24h * 30));
    fs::last_write_time(fresh, ago(23h));
    fs::last_write_time(notOurs, ago(24h * 30));
    fs::last_write_time(userFile, ago(24h * 30));

    auto result = renderComposite(plainJob(splitSourceMovie(), dir.file("out.mp4")), {});
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(strayFiles(dir.path(), {}),
              QStringList({".notes.orvane-abc.mp4", ".out.mp4.orvane-Qw9rT1.mp4", "holiday.mp4",
                           "out.mp4"}));

    EXPECT_TRUE(isTempOutputName(".a.orvane-Zz09aB.mp4"));
    for (const char* name : {"a.orvane-Zz09aB.mp4", ".orvane-Zz09aB.mp4", ".a.orvane-Zz09a.mp4",
                             ".a.orvane-Zz09a-.mp4", ".a.orvane-Zz09aB.mov", ".a.mp4"}) {
        EXPECT_FALSE(isTempOutputName(name)) << name;
    }
}

TEST_F(ExportSafetyTest, ATrimStartingAtOrAfterTheEndIsRefused) {
    ASSERT_TRUE(writeText(dir.file("out.mp4"), "earlier export"));
    for (double start : {2.0, 2.5, 60.0}) {
        SCOPED_TRACE(start);
        ExportJob job = plainJob(splitSourceMovie(), dir.file("out.mp4"));
        job.trimStart = start;
        job.trimEnd = 0;
        auto result = renderComposite(job, {});
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.errorKind(), ErrorKind::Invalid);
        EXPECT_NE(result.error().find("at or after the end of the recording (2.00 s)"),
                  std::string::npos)
            << result.error();
        EXPECT_EQ(fileSize(dir.file("out.mp4")), 14);
        EXPECT_EQ(strayFiles(dir.path(), {"out.mp4"}), QStringList());
    }
    // The last frame still starts before the end: a trim there is one frame.
    ExportJob last = plainJob(splitSourceMovie(), dir.file("last.mp4"));
    last.trimStart = 1.98;
    auto result = renderComposite(last, {});
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(result->frames, 1);
}

TEST_F(ExportSafetyTest, ARecordingCutOffMidwayExportsWhatDecodes) {
    const std::string whole = fragmentedMovie();
    ASSERT_FALSE(whole.empty());
    const std::string cut = dir.file("cut.mp4");
    ASSERT_TRUE(writePrefix(whole, cut, fileSize(whole) * 6 / 10));
    ExportJob job = plainJob(cut, dir.file("out.mp4"));
    job.timeline.build({}, {}, 4.0, 1.5);
    auto result = renderComposite(job, {});
    ASSERT_TRUE(result.ok()) << result.error();
    ASSERT_TRUE(result->endedEarly.has_value());
    const double end = *result->endedEarly;
    EXPECT_GT(end, 0.5);
    EXPECT_LT(end, 4.0);
    // Every frame up to the damage, at 30 fps, and nothing else.
    EXPECT_EQ(result->frames, std::lround(end * 30));
    const auto p = probe(dir.file("out.mp4"));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->frames, result->frames);
    EXPECT_NEAR(p->duration, end, 0.05);
    EXPECT_EQ(endedEarlyNote(2.04), "the recording ends early at 2.0 s");
    EXPECT_EQ(strayFiles(dir.path(), {"cut.mp4", "out.mp4"}), QStringList());

    // The whole movie is not cut off: no note.
    ExportJob full = plainJob(whole, dir.file("full.mp4"));
    full.timeline.build({}, {}, 4.0, 1.5);
    result = renderComposite(full, {});
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_FALSE(result->endedEarly.has_value());
    EXPECT_EQ(result->frames, 120);

    // Cut before its first frame: nothing decodes, nothing is written.
    const std::string stub = dir.file("stub.mp4");
    ASSERT_TRUE(writePrefix(whole, stub, 2000));
    result = renderComposite(plainJob(stub, dir.file("stub-out.mp4")), {});
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(strayFiles(dir.path(), {"cut.mp4", "out.mp4", "full.mp4", "stub.mp4"}),
              QStringList());
}

TEST_F(ExportSafetyTest, SourcesTooSmallOrNotMoviesGetClearMessages) {
    const std::string tiny = dir.file("tiny.mp4");
    ASSERT_TRUE(runFfmpeg("-f lavfi -i color=s=2x2:r=30:d=0.5 -c:v libx264 -pix_fmt yuv420p '" +
                          tiny + "'"));
    ExportJob job = plainJob(tiny, dir.file("out.mp4"));
    job.look.padding = 0;
    auto result = renderComposite(job, {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), "the output frame would be 2x2 pixels, too small to encode");
    EXPECT_EQ(result.errorKind(), ErrorKind::Unsupported);

    fs::create_directories(dir.file("take.mov"));
    result = renderComposite(plainJob(dir.file("take.mov"), dir.file("out.mp4")), {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), "\"" + dir.file("take.mov") + "\" is a folder, not a movie");
    EXPECT_EQ(strayFiles(dir.path(), {"tiny.mp4"}), QStringList());
}

TEST_F(ExportSafetyTest, ARotatedRecordingIsExportedUpright) {
    const std::string tagged = dir.file("portrait.mp4");
    ASSERT_TRUE(runFfmpeg("-i '" + splitSourceMovie() + "' -c copy -metadata:s:v rotate=90 '" +
                          tagged + "'"));
    ExportJob job = plainJob(tagged, dir.file("out.mp4"));
    auto result = renderComposite(job, {});
    ASSERT_TRUE(result.ok()) << result.error();
    // The 320 x 200 picture stands on its side: laid out as 200 x 320.
    const auto upright = outputSize(200, 320, 0, job.look.padding);
    ASSERT_TRUE(upright);
    EXPECT_EQ(result->width, upright->width);
    EXPECT_EQ(result->height, upright->height);
    EXPECT_LT(result->width, result->height);
    const auto p = probe(dir.file("out.mp4"));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, upright->width);
    EXPECT_EQ(p->height, upright->height);
    EXPECT_EQ(p->frames, 60);
}

TEST_F(ExportSafetyTest, AnExportHasThePermissionsTheUsersUmaskGives) {
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        const mode_t before = ::umask(mask);
        auto out = TempOutput::tryCreate(dir.file("permissions.mp4"));
        ::umask(before);
        ASSERT_TRUE(out) << out.error();
        struct stat st {};
        ASSERT_EQ(::stat(out->path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "umask " << std::oct << mask;
    }
}
