// The library's thumbnails: made once from a real movie on the worker, then
// read from the disk cache by the next cache (the next start of the program);
// a movie that cannot be decoded gives none and is not retried forever.
#include "tests/support/MovieFixtures.h"

#include "ui/library/TakeListView.h"
#include "ui/library/ThumbnailCache.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

TEST(ThumbnailCache, MadeOnceThenReadFromTheCache) {
    TempDir dir;
    const std::string movie = dir.file("take.mp4");
    ASSERT_TRUE(makeIndexMovie(movie, IndexMovie{}));
    const QString moviePath = QString::fromStdString(movie);
    const QString cacheDir = QString::fromStdString(dir.file("cache"));
    {
        ThumbnailCache cache(cacheDir);
        QSignalSpy ready(&cache, &ThumbnailCache::ready);
        EXPECT_TRUE(cache.request(moviePath).isNull()); // on its way
        EXPECT_TRUE(cache.request(moviePath).isNull()); // asked for once only
        ASSERT_TRUE(ready.wait(20000));
        EXPECT_EQ(cache.decodeCount(), 1);
        const QImage image = ready.at(0).at(1).value<QImage>();
        EXPECT_EQ(image.width(), ThumbnailCache::kWidth);
        EXPECT_EQ(image.height(), 100); // 320 x 200 kept in shape
        EXPECT_FALSE(cache.request(moviePath).isNull()); // now in memory
        EXPECT_EQ(QDir(cacheDir).entryList({QStringLiteral("*.jpg")}).size(), 1);
    }
    ThumbnailCache again(cacheDir);
    QSignalSpy ready(&again, &ThumbnailCache::ready);
    again.request(moviePath);
    ASSERT_TRUE(ready.wait(20000));
    EXPECT_EQ(again.decodeCount(), 0); // from the disk cache, not the movie

    // A damaged movie: no thumbnail, no crash.
    const QString bad = QString::fromStdString(dir.file("bad.mov"));
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a movie");
    }
    EXPECT_TRUE(again.request(bad).isNull());
    again.waitForIdle();
    QCoreApplication::processEvents();
    EXPECT_EQ(again.decodeCount(), 1);
    EXPECT_TRUE(again.request(QString::fromStdString(dir.file("missing.mov"))).isNull());
}

TEST(TakeListView, ShowsEachTakeWithItsDetailsAndOpensOnClick) {
    TempDir dir;
    ThumbnailCache cache(QString::fromStdString(dir.file("cache")));
    TakeListView view(cache);
    TakeEntry a;
    a.folder = QString::fromStdString(dir.file("a"));
    a.name = QStringLiteral("Product demo");
    a.recordedAt = QDateTime(QDate(2026, 12, 9), QTime(14, 5, 12));
    a.duration = 72.4;
    a.bytes = 4'200'000;
    TakeEntry b = a;
    b.folder = QString::fromStdString(dir.file("b"));
    b.name = QStringLiteral("Cut short");
    b.interrupted = true;
    view.setTakes({a, b});
    ASSERT_EQ(view.list()->count(), 2);
    const QString first = view.list()->item(0)->text();
    EXPECT_TRUE(first.startsWith(QStringLiteral("Product demo\n"))) << first.toStdString();
    EXPECT_TRUE(first.contains(QStringLiteral(" · 1:12 · 4.2 MB"))) << first.toStdString();
    EXPECT_TRUE(view.list()->item(1)->text().endsWith(QStringLiteral(" · interrupted")));
    QSignalSpy open(&view, &TakeListView::openRequested);
    view.show();
    const QRect row = view.list()->visualItemRect(view.list()->item(1));
    QTest::mouseClick(view.list()->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_GE(open.count(), 1);
    EXPECT_EQ(open.at(0).at(0).toString(), b.folder);
    view.setTakes({});
    EXPECT_EQ(view.list()->count(), 0);
}
