// The orvane-render command: a real export, its report, its help and its
// one-line errors.
#include "ExportTestSupport.h"
#include "MovieFixtures.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace orvane::test;

namespace {

struct CommandRun {
    int exitCode = -1;
    QString out;
    QString err;
};

CommandRun render(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(ORVANE_RENDER_COMMAND), args);
    CommandRun r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString q(const std::string& s) { return QString::fromStdString(s); }

// Standard error without Qt's notes about the environment.
QStringList errorLines(const CommandRun& r) {
    QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& l) { return !l.startsWith("orvane-render:"); });
    return lines;
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
