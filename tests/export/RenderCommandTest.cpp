// The orvane-render command: a real export, its report, its help and its
// one-line errors.
#include "ExportTestSupport.h"
#include "MovieFixtures.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace orvane::test;

namespace {

struct CommandRun {
    int exitCode = -1;
    QString out;
    QString err;
};

QString q(const std::string& s) { return QString::fromStdString(s); }

// Standard error without Qt's notes about the environment.
QStringList errorLines(const CommandRun& r) {
    QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& l) { return !l.startsWith("orvane-render:"); });
    return lines;
}

// 320 x 200, 20 s at 30 fps: long enough that an export is still running when
// a test stops it.
std::string longMovie() {
    return cachedFixture("long-320x200-30fps-20s.mp4", [](const std::string& path) {
        return runFfmpeg("-f lavfi -i testsrc2=s=320x200:r=30:d=20 -c:v libx264 -preset ultrafast "
                         "-pix_fmt yuv420p -g 30 '" + path + "'");
    });
}

// Waits until `p` has printed `text` on standard output (collected into `out`).
bool waitForOutput(QProcess& p, const QString& text, QString& out) {
    while (!out.contains(text)) {
        if (!p.waitForReadyRead(60000)) {
            return false;
        }
        out += QString::fromUtf8(p.readAllStandardOutput());
    }
    return true;
}

CommandRun finish(QProcess& p, int timeoutMs = 60000) {
    CommandRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

CommandRun render(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(ORVANE_RENDER_COMMAND), args);
    return finish(p, 120000);
}

} // namespace

TEST(RenderCommandTest, ExportsWithClicksAndReportsPathSizeAndDuration) {
    TempDir dir;
    const std::string out = dir.file("cli.mp4");
    const CommandRun r = render({q(splitSourceMovie()), "--clicks", q(splitSourceClicks(dir.path())),
                          "--format", "1:1", "--trim", "0.5:1.5", "-o", q(out)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    // Not a terminal: plain percent lines ending at 100 %, then the summary.
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.first(), "0%");
    EXPECT_EQ(lines.at(lines.size() - 2), "100%");
    EXPECT_TRUE(lines.last().startsWith(q(out))) << lines.last().toStdString();
    EXPECT_TRUE(lines.last().contains("1.00 s")) << lines.last().toStdString();
    EXPECT_TRUE(lines.last().contains("kB")) << lines.last().toStdString();
    const auto p = probe(out);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->codec, "h264");
    EXPECT_EQ(p->width, p->height);
    EXPECT_EQ(p->frames, 30);
}

TEST(RenderCommandTest, HelpListsEveryOptionWithItsDefault) {
    const CommandRun r = render({"--help"});
    ASSERT_EQ(r.exitCode, 0);
    for (const char* option :
         {"--clicks", "--track", "--format", "--background", "--padding", "--corner-radius",
          "--bg-blur", "--motion-blur", "--zoom", "--smoothness", "--merge", "--trim", "-o"}) {
        EXPECT_TRUE(r.out.contains(option)) << option;
    }
    for (const char* value : {"[original]", "[0.08]", "[8]", "[1.5]", "[0.8]", "[3.5]", "[0:0]"}) {
        EXPECT_TRUE(r.out.contains(value)) << value;
    }
    EXPECT_TRUE(r.out.contains("60 Hz"));
    // Every numeric option's entry gives its range.
    const QStringList lines = r.out.split('\n');
    const QRegularExpression range(R"(\d[\d.]*-\d[\d.]*|0 or more)");
    for (const char* option : {"--background", "--padding", "--corner-radius", "--bg-blur",
                               "--motion-blur", "--zoom", "--smoothness", "--merge", "--trim"}) {
        const auto at = std::find_if(lines.begin(), lines.end(), [&](const QString& l) {
            return l.startsWith(QString("  ") + option + " ");
        });
        ASSERT_NE(at, lines.end()) << option;
        const QString entry = *at + (at + 1 != lines.end() ? *(at + 1) : QString());
        EXPECT_TRUE(entry.contains(range)) << entry.toStdString();
    }
}

TEST(RenderCommandTest, BadInputGetsOneLineAndLeavesNothing) {
    TempDir dir;
    const std::string badClicks = dir.file("bad.json");
    writeText(badClicks, "{\"moments\": [oops");
    const std::string garbage = dir.file("garbage.mov");
    writeText(garbage, std::string(2048, 'z'));
    const QString out = q(dir.file("out.mp4"));
    const QString movie = q(splitSourceMovie());
    const std::vector<QStringList> cases{
        {q(dir.file("missing.mov")), "-o", out},
        {q(garbage), "-o", out},
        {movie, "--clicks", q(badClicks), "-o", out},
        {movie, "--zoom", "40", "-o", out},
        {movie, "--padding", "-1", "-o", out},
        {movie, "--format", "3:2", "-o", out},
        {movie, "--trim", "2:1", "-o", out},
        {movie, "--smoothness", "soft", "-o", out},
        {movie},
        {movie, "-o", q(dir.file("no-folder/out.mp4"))},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CommandRun r = render(args);
        EXPECT_GT(r.exitCode, 0);
        EXPECT_EQ(errorLines(r).size(), 1) << r.err.toStdString();
        EXPECT_EQ(strayFiles(dir.path(), {"bad.json", "garbage.mov"}), QStringList());
    }
}

TEST(RenderCommandTest, AnOutputThatIsOneOfTheInputsIsRefused) {
    TempDir dir;
    namespace fs = std::filesystem;
    const std::string clicks = splitSourceClicks(dir.path());
    const std::string track = dir.file("track.csv");
    writeText(track, "t,x,y,pointer\n0,0.5,0.5,0\n2,0.5,0.5,0\n");
    fs::create_directories(dir.file("sub"));
    fs::create_symlink("clicks.json", dir.file("clicks-link.mp4"));
    fs::create_hard_link(track, dir.file("track-hard.mp4"));
    const long clicksSize = fileSize(clicks);
    const long trackSize = fileSize(track);
    const QString movie = q(splitSourceMovie());
    const std::vector<std::pair<QStringList, QString>> cases{
        {{movie, "--clicks", q(clicks), "-o", q(clicks)}, "the clicks file"},
        {{movie, "--clicks", q(clicks), "-o", q(dir.path() + "/./clicks.json")}, "the clicks file"},
        {{movie, "--clicks", q(clicks), "-o", q(dir.path() + "/sub/../clicks.json")},
         "the clicks file"},
        {{movie, "--clicks", q(clicks), "-o", q(dir.file("clicks-link.mp4"))}, "the clicks file"},
        {{movie, "--track", q(track), "-o", q(dir.file("track-hard.mp4"))}, "the cursor track"},
        {{movie, "--clicks", q(clicks), "--track", q(track), "-o", q(track)}, "the cursor track"},
    };
    for (const auto& [args, what] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CommandRun r = render(args);
        EXPECT_GT(r.exitCode, 0);
        const QStringList lines = errorLines(r);
        ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
        EXPECT_TRUE(lines[0].contains("would replace " + what)) << lines[0].toStdString();
        EXPECT_EQ(fileSize(clicks), clicksSize);
        EXPECT_EQ(fileSize(track), trackSize);
        EXPECT_TRUE(fs::is_symlink(dir.file("clicks-link.mp4")));
        EXPECT_EQ(strayFiles(dir.path(), {"clicks.json", "track.csv", "clicks-link.mp4",
                                          "track-hard.mp4"}),
                  QStringList());
    }
    // A relative spelling from another working folder is caught too.
    QProcess p;
    p.setWorkingDirectory(q(dir.file("sub")));
    p.start(QStringLiteral(ORVANE_RENDER_COMMAND),
            {movie, "--clicks", "../clicks.json", "-o", q(clicks)});
    const CommandRun relative = finish(p);
    EXPECT_GT(relative.exitCode, 0);
    EXPECT_EQ(fileSize(clicks), clicksSize);
}

TEST(RenderCommandTest, SpecialFilesAsOutputAreRefused) {
    TempDir dir;
    const std::string fifo = dir.file("pipe.mp4");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::vector<std::string> targets{fifo};
    // A device node like /dev/full, made here so the real one is never at risk.
    const std::string device = dir.file("full.mp4");
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        targets.push_back(device);
    }
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        const CommandRun r = render({q(splitSourceMovie()), "-o", q(target)});
        EXPECT_GT(r.exitCode, 0);
        const QStringList lines = errorLines(r);
        ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
        EXPECT_TRUE(lines[0].contains("not a regular file")) << lines[0].toStdString();
        struct stat st {};
        ASSERT_EQ(::lstat(target.c_str(), &st), 0);
        EXPECT_FALSE(S_ISREG(st.st_mode));
    }
    EXPECT_EQ(strayFiles(dir.path(), {"pipe.mp4", "full.mp4"}), QStringList());
}

TEST(RenderCommandTest, SignalsStopTheExportAndLeaveTheNameAlone) {
    const std::string movie = longMovie();
    ASSERT_FALSE(movie.empty());
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        const std::string out = dir.file("out.mp4");
        ASSERT_TRUE(writeText(out, "an earlier export"));
        QProcess p;
        p.start(QStringLiteral(ORVANE_RENDER_COMMAND), {q(movie), "-o", q(out)});
        QString printed;
        // Stopped once the export is under way (the temporary file exists).
        ASSERT_TRUE(waitForOutput(p, "1%", printed)) << printed.toStdString();
        ASSERT_EQ(strayFiles(dir.path(), {"out.mp4"}).size(), 1);
        ASSERT_EQ(::kill(static_cast<pid_t>(p.processId()), signal), 0);
        const CommandRun r = finish(p);
        EXPECT_EQ(r.exitCode, 128 + signal) << r.err.toStdString();
        const QStringList lines = errorLines(r);
        ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
        EXPECT_TRUE(lines[0].startsWith("orvane-render: stopped by SIG")) << lines[0].toStdString();
        EXPECT_TRUE(lines[0].contains(q(out)));
        EXPECT_EQ(fileSize(out), 17);
        EXPECT_EQ(strayFiles(dir.path(), {"out.mp4"}), QStringList());
    }
}

TEST(RenderCommandTest, ASignalWhileAnInputBlocksEndsAtOnce) {
    TempDir dir;
    const std::string fifo = dir.file("clicks.json");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    QProcess p;
    p.start(QStringLiteral(ORVANE_RENDER_COMMAND),
            {q(splitSourceMovie()), "--clicks", q(fifo), "-o", q(dir.file("out.mp4"))});
    ASSERT_TRUE(p.waitForStarted());
    // Opening the FIFO's write end without blocking works once the command has
    // it open for reading: from then on it waits for text that never comes.
    int writer = -1;
    for (int i = 0; i < 6000 && writer < 0; ++i) {
        writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(p.processId()), SIGTERM), 0);
    const CommandRun r = finish(p);
    ::close(writer);
    EXPECT_EQ(r.exitCode, 128 + SIGTERM);
    const QStringList lines = errorLines(r);
    ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
    EXPECT_EQ(lines[0], "orvane-render: stopped before anything was written (SIGTERM)");
    EXPECT_EQ(strayFiles(dir.path(), {"clicks.json"}), QStringList());
}

TEST(RenderCommandTest, ACutOffRecordingIsExportedWithANote) {
    TempDir dir;
    const std::string whole = dir.file("take.mp4");
    ASSERT_TRUE(runFfmpeg("-f lavfi -i testsrc2=s=320x200:r=30:d=3 -c:v libx264 -preset ultrafast "
                          "-pix_fmt yuv420p -g 15 -movflags frag_keyframe+empty_moov '" + whole +
                          "'"));
    const std::string cut = dir.file("cut.mp4");
    ASSERT_TRUE(writePrefix(whole, cut, fileSize(whole) * 6 / 10));
    const std::string out = dir.file("out.mp4");
    const CommandRun r = render({q(cut), "-o", q(out)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = errorLines(r);
    ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
    const QRegularExpression note(R"(^orvane-render: note: the recording ends early at (\d+\.\d) s)");
    const auto match = note.match(lines[0]);
    ASSERT_TRUE(match.hasMatch()) << lines[0].toStdString();
    const double end = match.captured(1).toDouble();
    EXPECT_GT(end, 0.5);
    EXPECT_LT(end, 3.0);
    const auto p = probe(out);
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->frames, end * 30, 3);
}

TEST(RenderCommandTest, InputsThatAreNotUsableTextAreRefused) {
    TempDir dir;
    const std::string utf16 = dir.file("clicks16.json");
    std::string text = "\xFF\xFE";
    for (char c : std::string(R"({"duration":0,"moments":[]})")) {
        text += c;
        text += '\0';
    }
    writeText(utf16, text);
    const std::string bom = dir.file("bom.json");
    writeText(bom, "\xEF\xBB\xBF" R"({"duration":1,"moments":[{"t":1,"x":0.25,"y":0.5}]})");
    const QString out = q(dir.file("out.mp4"));
    const QString movie = q(splitSourceMovie());
    const std::vector<std::pair<QStringList, QString>> cases{
        {{movie, "--clicks", q(utf16), "-o", out}, "UTF-16"},
        {{movie, "--clicks", "/dev/zero", "-o", out}, "/dev/zero: file too large (more than 256 MB)"},
        {{movie, "--track", "/dev/zero", "-o", out}, "file too large"},
    };
    for (const auto& [args, fragment] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CommandRun r = render(args);
        EXPECT_GT(r.exitCode, 0);
        const QStringList lines = errorLines(r);
        ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
        EXPECT_TRUE(lines[0].contains(fragment)) << lines[0].toStdString();
        EXPECT_EQ(strayFiles(dir.path(), {"clicks16.json", "bom.json"}), QStringList());
    }
    // A byte-order mark is fine, and an output not named .mp4 is written with
    // a warning.
    const CommandRun r = render({movie, "--clicks", q(bom), "-o", q(dir.file("out.mov"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = errorLines(r);
    ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith("orvane-render: warning: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("does not end in .mp4")) << lines[0].toStdString();
    const auto p = probe(dir.file("out.mov"));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->codec, "h264");
}

TEST(RenderCommandTest, MessagesForAFolderAndATrimPastTheEnd) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("take.mov"));
    const QString out = q(dir.file("out.mp4"));
    CommandRun r = render({q(dir.file("take.mov")), "-o", out});
    EXPECT_GT(r.exitCode, 0);
    QStringList lines = errorLines(r);
    ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
    EXPECT_TRUE(lines[0].endsWith("is a folder, not a movie")) << lines[0].toStdString();
    r = render({q(splitSourceMovie()), "--trim", "2:0", "-o", out});
    EXPECT_GT(r.exitCode, 0);
    lines = errorLines(r);
    ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
    EXPECT_EQ(lines[0], "orvane-render: the trim starts at 2.00 s, at or after the end of the "
                        "recording (2.00 s)");
    EXPECT_EQ(strayFiles(dir.path(), {}), QStringList());
}

TEST(RenderCommandTest, CutsAndSpeedsExportOutputTimeAndBadRangesAreNamed) {
    TempDir dir;
    const QString out = q(dir.file("out.mp4"));
    const QString movie = q(splitSourceMovie()); // 2 s
    // Ranges that touch are fine: 0.5 s kept, 0.5 s cut, 1 s at 2x.
    CommandRun r = render({movie, "--cut", "0.5-1", "--speed", "1-2:2", "-o", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    auto p = probe(dir.file("out.mp4"));
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->duration, 1.0, 0.05);
    EXPECT_EQ(p->frames, 30) << "15 kept frames, then every other of 30";
    EXPECT_TRUE(r.out.contains("1.00 s")) << r.out.toStdString();

    const std::vector<std::pair<QStringList, std::string>> cases{
        {{"--cut", "1-0.5"}, "option --cut 1-0.5: END must be after START"},
        {{"--cut", "1-1"}, "option --cut 1-1: END must be after START"},
        {{"--cut", "0.5-3"}, "option --cut 0.5-3: END is after the movie's end (2 s)"},
        {{"--speed", "0-1:20"}, "option --speed 0-1:20: the factor 20 is outside 0.25 to 16"},
        {{"--speed", "0-1:0.1"}, "option --speed 0-1:0.1: the factor 0.1 is outside 0.25 to 16"},
        {{"--speed", "0-1"}, "option --speed needs START-END:FACTOR, not '0-1'"},
        {{"--cut", "abc"}, "option --cut needs START-END in seconds, not 'abc'"},
        {{"--cut", "0-1", "--speed", "0.5-1.5:2"}, "option --speed 0.5-1.5:2 overlaps --cut 0-1"},
        {{"--cut", "0-1", "--cut", "0.2-0.4"}, "option --cut 0.2-0.4 overlaps --cut 0-1"},
        {{"--cut", "0-2"}, "every part of the chosen range is cut"},
    };
    for (const auto& [options, message] : cases) {
        SCOPED_TRACE(options.join(' ').toStdString());
        QStringList args{movie};
        args << options << "-o" << q(dir.file("bad.mp4"));
        r = render(args);
        EXPECT_GT(r.exitCode, 0);
        const QStringList lines = errorLines(r);
        ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
        EXPECT_EQ(lines[0].toStdString(), "orvane-render: " + message);
    }
    EXPECT_EQ(strayFiles(dir.path(), {"out.mp4"}), QStringList());
}

TEST(RenderCommandTest, TheLeftoverOfAKilledExportIsRemovedByALaterOneOnceADayOld) {
    const std::string movie = longMovie();
    ASSERT_FALSE(movie.empty());
    TempDir dir;
    const std::string out = dir.file("out.mp4");
    QProcess p;
    p.start(QStringLiteral(ORVANE_RENDER_COMMAND), {q(movie), "-o", q(out)});
    QString printed;
    ASSERT_TRUE(waitForOutput(p, "1%", printed)) << printed.toStdString();
    // SIGKILL leaves the process no chance to clean up: its file stays.
    ASSERT_EQ(::kill(static_cast<pid_t>(p.processId()), SIGKILL), 0);
    p.waitForFinished(60000);
    const QStringList left = strayFiles(dir.path(), {});
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(left[0].startsWith(".out.mp4.orvane-")) << left[0].toStdString();
    EXPECT_TRUE(left[0].endsWith(".mp4"));
    const std::string leftover = dir.file(left[0].toStdString());

    // A day later it may still belong to a running export: it stays.
    namespace fs = std::filesystem;
    using namespace std::chrono_literals;
    fs::last_write_time(leftover, fs::file_time_type::clock::now() - 23h);
    CommandRun r = render({q(splitSourceMovie()), "-o", q(dir.file("next.mp4"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(fs::exists(leftover));
    // Older than a day: the next export into the folder removes it.
    fs::last_write_time(leftover, fs::file_time_type::clock::now() - 25h);
    r = render({q(splitSourceMovie()), "-o", q(dir.file("next.mp4"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(strayFiles(dir.path(), {}), QStringList{"next.mp4"});
}
