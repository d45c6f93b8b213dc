// The take library on real folders: names made unique, a list of hundreds of
// takes newest first, renaming, the Trash and back, and the Desktop's links.
#include "app/ProjectFile.h"
#include "app/TakeFiles.h"
#include "app/TakeLibrary.h"
#include "capture/TakeJournalWriter.h"
#include "capture/TakeRecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace orvane;

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ino_t inode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// A finished take as the recorder leaves it: movie, clicks and project.
QString makeTake(const TakeLibrary& library, const QDateTime& at, double duration) {
    auto folder = library.createTakeFolder(at);
    EXPECT_TRUE(folder) << (folder ? "" : folder.error());
    if (!folder) {
        return {};
    }
    const QDir dir(folder.value());
    write(dir.filePath(TakeRecorder::kMovieName), QByteArray(1000, 'm'));
    write(dir.filePath(TakeRecorder::kClicksName), R"({"duration":0,"moments":[]})");
    ProjectState p;
    p.name = dir.dirName().toStdString();
    p.recordedAt = at.toString(Qt::ISODate).toStdString();
    p.duration = duration;
    p.videoW = 320;
    p.videoH = 200;
    EXPECT_TRUE(takefiles::saveProject(folder.value(), p));
    return folder.value();
}

} // namespace

TEST(TakeLibrary, FoldersAreNamedByTheStartTimeAndMadeUnique) {
    QTemporaryDir tmp;
    TakeLibrary library(QDir(tmp.path()).filePath(QStringLiteral("Videos/Orvane")));
    const QDateTime at(QDate(2026, 12, 9), QTime(14, 5, 12));
    auto first = library.createTakeFolder(at);
    auto second = library.createTakeFolder(at);
    auto third = library.createTakeFolder(at);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(QFileInfo(first.value()).fileName(), QStringLiteral("2026-12-09 14.05.12"));
    EXPECT_EQ(QFileInfo(second.value()).fileName(), QStringLiteral("2026-12-09 14.05.12 (2)"));
    EXPECT_EQ(QFileInfo(third.value()).fileName(), QStringLiteral("2026-12-09 14.05.12 (3)"));
    // Empty folders (a take whose start failed) are not takes.
    EXPECT_TRUE(library.list().empty());

    // A root that cannot be made fails with a reason.
    write(QDir(tmp.path()).filePath(QStringLiteral("file")), "x");
    TakeLibrary blocked(QDir(tmp.path()).filePath(QStringLiteral("file/Orvane")));
    auto refused = blocked.createTakeFolder(at);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("cannot create the library folder"), std::string::npos);
}

TEST(TakeLibrary, ThreeHundredTakesAreListedNewestFirst) {
    QTemporaryDir tmp;
    TakeLibrary library(tmp.path());
    const QDateTime start(QDate(2026, 1, 1), QTime(9, 0, 0));
    for (int i = 0; i < 300; ++i) {
        makeTake(library, start.addSecs(i * 97), 1.0 + i);
    }
    // Not takes: a stray folder and a file.
    QDir(tmp.path()).mkdir(QStringLiteral("notes"));
    write(QDir(tmp.path()).filePath(QStringLiteral("readme.txt")), "x");
    QElapsedTimer timer;
    timer.start();
    const std::vector<TakeEntry> takes = library.list();
    const qint64 ms = timer.elapsed();
    std::printf("listed %zu takes in %lld ms\n", takes.size(), static_cast<long long>(ms));
    ASSERT_EQ(takes.size(), 300u);
    EXPECT_EQ(takes.front().recordedAt, start.addSecs(299 * 97));
    EXPECT_EQ(takes.front().duration, 300.0);
    EXPECT_EQ(takes.back().recordedAt, start);
    for (std::size_t i = 1; i < takes.size(); ++i) {
        EXPECT_GT(takes[i - 1].recordedAt, takes[i].recordedAt);
    }
    EXPECT_GE(takes.front().bytes, 1000);
    EXPECT_TRUE(takes.front().problem.isEmpty());
}

TEST(TakeLibrary, ProblemsAndInterruptedTakesAreListedNotDropped) {
    QTemporaryDir tmp;
    TakeLibrary library(tmp.path());
    const QDateTime at(QDate(2026, 3, 1), QTime(10, 0, 0));
    const QString damaged = makeTake(library, at, 3);
    write(takefiles::projectPath(damaged), "{ not json");
    const QString orphan = makeTake(library, at.addSecs(1), 3);
    QFile::remove(QDir(orphan).filePath(TakeRecorder::kMovieName));
    const QString cut = makeTake(library, at.addSecs(2), 3);
    write(QDir(cut).filePath(TakeRecorder::kJournalName), "orvane-take-journal 1\n");
    const auto takes = library.list();
    ASSERT_EQ(takes.size(), 3u);
    EXPECT_EQ(takes[0].folder, cut);
    EXPECT_TRUE(takes[0].interrupted);
    EXPECT_EQ(takes[1].problem, QStringLiteral("its movie is missing"));
    EXPECT_TRUE(takes[2].problem.contains(QStringLiteral("not valid JSON")));
    // Listing never changes a file.
    EXPECT_EQ(readAll(takefiles::projectPath(damaged)), QByteArray("{ not json"));
}

TEST(TakeLibrary, RenameWritesTheNameAndKeepsTheRest) {
    QTemporaryDir tmp;
    TakeLibrary library(tmp.path());
    const QString folder = makeTake(library, QDateTime(QDate(2026, 5, 5), QTime(5, 5, 5)), 4.5);
    ASSERT_TRUE(TakeLibrary::rename(folder, QStringLiteral("  Product demo  ")));
    auto takes = library.list();
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_EQ(takes[0].name, QStringLiteral("Product demo"));
    EXPECT_EQ(takes[0].duration, 4.5);
    EXPECT_EQ(takes[0].folder, folder); // the folder keeps its name
    EXPECT_FALSE(TakeLibrary::rename(folder, QStringLiteral("   ")));
    EXPECT_FALSE(TakeLibrary::rename(folder, QString(201, QLatin1Char('x'))));
    // A damaged project is not overwritten by a rename.
    write(takefiles::projectPath(folder), "{\"version\":1,\"look\":7}");
    EXPECT_FALSE(TakeLibrary::rename(folder, QStringLiteral("Other")));
    EXPECT_EQ(readAll(takefiles::projectPath(folder)), QByteArray("{\"version\":1,\"look\":7}"));
}

TEST(TakeLibrary, TrashedTakesCanBeRestored) {
    QTemporaryDir tmp;
    // The desktop's Trash for this test, on the same filesystem as the takes.
    QDir().mkpath(QDir(tmp.path()).filePath(QStringLiteral("data")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(QDir(tmp.path()).filePath(QStringLiteral("data"))));
    TakeLibrary library(QDir(tmp.path()).filePath(QStringLiteral("lib")));
    const QString keep = makeTake(library, QDateTime(QDate(2026, 6, 1), QTime(1, 0, 0)), 2);
    const QString gone = makeTake(library, QDateTime(QDate(2026, 6, 1), QTime(2, 0, 0)), 2);
    ASSERT_TRUE(TakeLibrary::moveToTrash(gone)) ;
    EXPECT_FALSE(QFileInfo::exists(gone));
    ASSERT_EQ(library.list().size(), 1u);
    EXPECT_EQ(library.list()[0].folder, keep);
    const QString trash = QDir(tmp.path()).filePath(QStringLiteral("data/Trash"));
    const QString name = QFileInfo(gone).fileName();
    const QString inTrash = QDir(trash).filePath(QStringLiteral("files/") + name);
    ASSERT_TRUE(QFileInfo(inTrash).isDir());
    const QByteArray info = readAll(QDir(trash).filePath(QStringLiteral("info/") + name +
                                                         QStringLiteral(".trashinfo")));
    EXPECT_TRUE(info.contains("[Trash Info]"));
    // Restored as a file manager does: moved back to where the info says.
    ASSERT_TRUE(QDir().rename(inTrash, gone));
    EXPECT_EQ(library.list().size(), 2u);
    EXPECT_FALSE(TakeLibrary::moveToTrash(QDir(tmp.path()).filePath(QStringLiteral("nothing"))));
    qunsetenv("XDG_DATA_HOME");
}

TEST(TakeLibrary, TheDesktopShowsTheLatestTakeWithoutASecondCopy) {
    QTemporaryDir tmp;
    TakeLibrary library(QDir(tmp.path()).filePath(QStringLiteral("lib")));
    const QString desktop = QDir(tmp.path()).filePath(QStringLiteral("Desktop"));
    QDir().mkpath(desktop);
    const QString first = makeTake(library, QDateTime(QDate(2026, 7, 1), QTime(1, 0, 0)), 2);
    const QString second = makeTake(library, QDateTime(QDate(2026, 7, 1), QTime(2, 0, 0)), 2);
    write(QDir(second).filePath(TakeRecorder::kMovieName), QByteArray(2000, 's'));
    const QString movieLink = QDir(desktop).filePath(TakeRecorder::kMovieName);
    ASSERT_TRUE(TakeLibrary::publishLatest(first, desktop));
    EXPECT_EQ(inode(movieLink), inode(QDir(first).filePath(TakeRecorder::kMovieName)));
    ASSERT_TRUE(TakeLibrary::publishLatest(second, desktop));
    EXPECT_EQ(inode(movieLink), inode(QDir(second).filePath(TakeRecorder::kMovieName)));
    EXPECT_EQ(inode(QDir(desktop).filePath(TakeRecorder::kClicksName)),
              inode(QDir(second).filePath(TakeRecorder::kClicksName)));
    // The first take's movie was not written through the old link.
    EXPECT_EQ(readAll(QDir(first).filePath(TakeRecorder::kMovieName)), QByteArray(1000, 'm'));
    EXPECT_EQ(QFileInfo(movieLink).size(), 2000);
}

TEST(TakeLibrary, ATakeBeingRecordedIsNotTakenForOneCutShort) {
    QTemporaryDir tmp;
    TakeLibrary library(tmp.path());
    const QString folder = makeTake(library, QDateTime(QDate(2026, 8, 1), QTime(8, 0, 0)), 2);
    const QString journalPath = QDir(folder).filePath(TakeRecorder::kJournalName);
    {
        auto journal = TakeJournalWriter::create(journalPath);
        ASSERT_TRUE(journal);
        const auto takes = library.list();
        ASSERT_EQ(takes.size(), 1u);
        EXPECT_TRUE(takes[0].recording);
        EXPECT_FALSE(takes[0].interrupted);
        journal.value()->close();
    }
    // Its writer gone without removing it: a take that was cut short.
    ASSERT_TRUE(QFileInfo::exists(journalPath));
    const auto takes = library.list();
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_FALSE(takes[0].recording);
    EXPECT_TRUE(takes[0].interrupted);
}
