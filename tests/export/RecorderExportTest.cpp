// Recorder::exportTo: the guard, the status texts, progress and the main
// thread's freedom during an export, with a take whose movie is a real HEVC file.
#include "ExportTestSupport.h"
#include "FakeBackend.h"
#include "MovieFixtures.h"

#include "app/Recorder.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QRegularExpression>
#include <QUrl>
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace orvane;
using namespace orvane::test;

namespace {

const QString kFailed = QStringLiteral("Export failed");

// Receives what QDesktopServices::openUrl is asked to open, instead of a
// desktop program.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

UrlRecorder* gUrls = nullptr;

[[maybe_unused]] QList<QUrl> openedUrls() { return gUrls != nullptr ? gUrls->urls : QList<QUrl>{}; }

class RecorderExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (gUrls != nullptr) {
            gUrls->urls.clear();
            // Other tests of this program install handlers of their own.
            QDesktopServices::setUrlHandler(QStringLiteral("file"), gUrls, "open");
        }
        movie = dir.file("take.mov");
        ASSERT_TRUE(writePrefix(splitSourceMovie(), movie, fileSize(splitSourceMovie())));
        backend.moviePath = QString::fromStdString(movie);
        backend.duration = 2.0;
        QObject::connect(&rec, &Recorder::exported,
                         [this](const QString& path) { exportedPaths << path; });
    }
    // Records a take of the 320 x 200 area with one click at 1 s, as the user would.
    void recordTake() {
        rec.start();
        CaptureContent c;
        c.area = QRectF(0, 0, 320, 200);
        c.pixelScale = 1;
        emit backend.pickerFake.contentChosen(c);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        ASSERT_EQ(rec.phase(), Phase::recording);
        backend.lastStream->deliver(1);
        backend.clock = rec.startTime() + kClickTime;
        backend.click(QPointF(kClickX * 320, kClickY * 200));
        rec.stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return rec.phase() == Phase::ready; }, 5000));
    }
    bool waitForExport() {
        return QTest::qWaitFor([&] { return !rec.exporting(); }, 60000);
    }
    QString target(const char* name = "export.mp4") const {
        return QString::fromStdString(dir.file(name));
    }

    TempDir dir;
    std::string movie;
    FakeBackend backend;
    Recorder rec{backend, backend};
    QStringList exportedPaths; // what the window is told to show in the file manager
};

} // namespace

TEST_F(RecorderExportTest, ExportsWithWholePercentProgressAndStatus) {
    recordTake();
    std::vector<double> progress;
    QObject::connect(&rec, &Recorder::exportProgressChanged,
                     [&] { progress.push_back(rec.exportProgress()); });
    rec.exportTo(target());
    EXPECT_TRUE(rec.exporting());
    EXPECT_EQ(rec.status(), QStringLiteral("Exporting…"));
    ASSERT_TRUE(waitForExport());
    EXPECT_EQ(rec.status(), QStringLiteral("Exported ✓  export.mp4"));
    EXPECT_EQ(rec.statusKind(), StatusKind::ExportDone);
    EXPECT_EQ(rec.phase(), Phase::ready);
    // The window shows the file in the file manager (ui/FileReveal.h).
    EXPECT_EQ(exportedPaths, QStringList{target()});
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0);
    for (std::size_t i = 0; i < progress.size(); ++i) {
        EXPECT_NEAR(progress[i] * 100, std::round(progress[i] * 100), 1e-9);
        if (i > 0) {
            EXPECT_GT(progress[i], progress[i - 1]);
        }
    }
    const auto p = probe(target().toStdString());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->codec, "h264");
    EXPECT_EQ(p->frames, 60);
}

TEST_F(RecorderExportTest, IgnoredUnlessReadyAndIdle) {
    rec.exportTo(target()); // no take yet
    EXPECT_FALSE(rec.exporting());
    EXPECT_EQ(rec.status(), QStringLiteral("Ready"));
    recordTake();
    rec.exportTo(target());
    ASSERT_TRUE(rec.exporting());
    rec.exportTo(target("second.mp4")); // one export at a time
    ASSERT_TRUE(waitForExport());
    EXPECT_TRUE(QFileInfo::exists(target()));
    EXPECT_FALSE(QFileInfo::exists(target("second.mp4")));
}

TEST_F(RecorderExportTest, FailuresSayExportFailedWithTheReasonAndLeaveNothing) {
    recordTake();
    const long movieSize = fileSize(movie);
    const std::pair<QString, QString> cases[] = {
        {QString::fromStdString(movie),
         kFailed + ": the export would replace the recording itself; choose another name"},
        {target("missing/export.mp4"),
         kFailed + ": cannot write in " + target("missing") + ": No such file or directory"},
    };
    for (const auto& [bad, status] : cases) {
        SCOPED_TRACE(bad.toStdString());
        rec.exportTo(bad);
        ASSERT_TRUE(waitForExport());
        EXPECT_EQ(rec.status(), status);
        EXPECT_EQ(rec.statusKind(), StatusKind::ExportFailed);
    }
    EXPECT_EQ(fileSize(movie), movieSize);
    // The take's movie damaged after recording (a plain MOV without its index).
    ASSERT_TRUE(writePrefix(splitSourceMovie(), movie, movieSize / 3));
    rec.exportTo(target());
    ASSERT_TRUE(waitForExport());
    EXPECT_TRUE(rec.status().startsWith(kFailed + ": The movie \"take.mov\" "))
        << rec.status().toStdString();
    EXPECT_EQ(strayFiles(dir.path(), {"take.mov"}), QStringList());
    EXPECT_TRUE(exportedPaths.isEmpty());
}

TEST_F(RecorderExportTest, ACutOffTakeIsExportedAndTheStatusSaysWhereItEnds) {
    recordTake();
    // A take killed mid-way: the recorder's fragmented movie, cut in the middle.
    const std::string whole = dir.file("whole.mp4");
    ASSERT_TRUE(runFfmpeg("-f lavfi -i testsrc2=s=320x200:r=30:d=2 -c:v libx264 -preset ultrafast "
                          "-pix_fmt yuv420p -g 15 -movflags frag_keyframe+empty_moov '" + whole +
                          "'"));
    ASSERT_TRUE(writePrefix(whole, movie, fileSize(whole) / 2));
    rec.exportTo(target());
    ASSERT_TRUE(waitForExport());
    const QRegularExpression done(
        QStringLiteral(R"(^Exported ✓  export\.mp4 \(the recording ends early at (\d+\.\d) s\)$)"));
    const auto match = done.match(rec.status());
    ASSERT_TRUE(match.hasMatch()) << rec.status().toStdString();
    EXPECT_EQ(rec.statusKind(), StatusKind::ExportDone);
    const double end = match.captured(1).toDouble();
    EXPECT_GT(end, 0.2);
    EXPECT_LT(end, 2.0);
    const auto p = probe(target().toStdString());
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->frames, end * 30, 3);
}

TEST_F(RecorderExportTest, MainThreadStaysResponsiveDuringAnExport) {
    recordTake();
    rec.setMotionBlur(1); // more work per frame: a longer export to probe
    rec.exportTo(target());
    int handledWhileExporting = 0;
    qint64 worst = 0;
    while (rec.exporting()) {
        QElapsedTimer posted;
        posted.start();
        bool handled = false;
        QMetaObject::invokeMethod(&rec, [&] { handled = true; }, Qt::QueuedConnection);
        ASSERT_TRUE(QTest::qWaitFor([&] { return handled; }, 5000));
        worst = std::max(worst, posted.elapsed());
        if (rec.exporting()) {
            ++handledWhileExporting;
        }
        QTest::qWait(5);
    }
    EXPECT_GT(handledWhileExporting, 0);
    EXPECT_LT(worst, 50);
    EXPECT_EQ(rec.status(), QStringLiteral("Exported ✓  export.mp4"));
}

TEST_F(RecorderExportTest, DestroyedMidExportStopsAndLeavesNothing) {
    recordTake();
    {
        FakeBackend other;
        other.moviePath = QString::fromStdString(movie);
        other.duration = 2.0;
        auto doomed = std::make_unique<Recorder>(other, other);
        doomed->start();
        CaptureContent c;
        c.area = QRectF(0, 0, 320, 200);
        emit other.pickerFake.contentChosen(c);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        other.lastStream->deliver(1);
        doomed->stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return doomed->phase() == Phase::ready; }, 5000));
        doomed->exportTo(target("doomed.mp4"));
        ASSERT_TRUE(doomed->exporting());
        doomed.reset();
        QCoreApplication::processEvents(); // late reports of the export find nothing
    }
    EXPECT_EQ(strayFiles(dir.path(), {"take.mov"}), QStringList());
    EXPECT_TRUE(probe(movie).has_value());
}

int main(int argc, char** argv) {
    // Drawing needs Qt's GUI layer but no screen (test discovery runs without
    // the test environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Revealing an export falls back to opening its folder when no file
    // manager answers on the session bus: with no bus at all, that is what
    // every export here does, and the handler below records it.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QGuiApplication app(argc, argv); // the compositor draws with Qt GUI
    UrlRecorder urls;
    gUrls = &urls;
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    gUrls = nullptr;
    return result;
}

#include "RecorderExportTest.moc"
