// The live preview: springs that snap on the first tick and on jumps, glide on
// small moves, follow exactly below 0.02 smoothness, and move in wall-clock
// time while paused; no cursor without clicks or samples; motion blur only
// while the camera moves; the loop to the trim start; nothing composed while
// nothing changes; a picture before the first frame; the background blur made
// off the main thread.
#include "MovieFixtures.h"
#include "TimelineFixtures.h"

#include "render/BackgroundPresets.h"
#include "render/LookSettings.h"
#include "render/OutputGeometry.h"
#include "ui/player/MoviePlayer.h"
#include "ui/preview/ZoomHostView.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace orvane;

namespace {

Timeline timelineWith(double smooth, bool withClicks) {
    ZoomEffect z;
    z.id = Uuid::random();
    z.start = 0.5;
    z.end = 1.9; // keyframes at 0.5, 1.0, 1.35, 1.9
    z.zoom = 2;
    z.smooth = smooth;
    z.fx = 0.8;
    z.fy = 0.2;
    std::vector<Moment> clicks;
    if (withClicks) {
        Moment m;
        m.t = 1.0;
        m.cx = 0.8;
        m.cy = 0.2;
        clicks.push_back(m);
    }
    Timeline tl;
    tl.build({z}, clicks, 2.0, 1.5);
    return tl;
}

bool same(const CamState& a, const CamState& b) {
    return std::abs(a.x - b.x) < 1e-9 && std::abs(a.y - b.y) < 1e-9 && std::abs(a.w - b.w) < 1e-9;
}

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string movie = dir.file("preview.mp4");
        test::IndexMovie m;
        m.frames = 60;
        m.fps = 30;
        ASSERT_TRUE(test::makeIndexMovie(movie, m));
        player.open(QString::fromStdString(movie));
        ASSERT_TRUE(QTest::qWaitFor([&] { return player.status() == ui::MoviePlayer::Status::Ready; }, 5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return player.currentFrame() != nullptr; }, 5000));
    }
    std::unique_ptr<ZoomHostView> makeView(Timeline tl, double motionBlur = 0,
                                           ZoomHostView::Clock clock = {}) {
        ZoomPlayer s;
        s.timeline = std::move(tl);
        s.aspect = 1.6;
        s.look.motionBlur = motionBlur;
        s.loopStart = 0.4;
        auto v = std::make_unique<ZoomHostView>(player, s, nullptr, std::move(clock));
        v->resize(640, 448);
        return v;
    }
    // Seeks exactly and waits until the frame there is showing.
    void seekTo(double t) {
        player.seekExact(t);
        ASSERT_TRUE(QTest::qWaitFor([&] {
            auto f = player.currentFrame();
            return f && std::abs(f->time - t) < 0.04 && std::abs(player.currentTime() - t) < 1e-6;
        }, 5000));
    }

    test::TempDir dir;
    ui::MoviePlayer player;
};

} // namespace

TEST_F(PreviewTest, CanvasKeepsTheMarginAndTheOutputAspect) {
    auto v = makeView(timelineWith(0.8, true));
    const QRectF c = v->canvasRect();
    EXPECT_NEAR(c.width() / c.height(), 1.6, 1e-9);
    EXPECT_GE(c.left(), 24 - 1e-9);
    EXPECT_GE(c.top(), 24 - 1e-9);
    EXPECT_NEAR(std::min(c.left(), c.top()), 24, 1e-9);
}

TEST_F(PreviewTest, FirstTickSnapsAndJumpsSnapWhileSmallMovesGlide) {
    seekTo(1.2);
    auto v = makeView(timelineWith(0.8, true));
    v->tick();
    const Timeline tl = timelineWith(0.8, true);
    EXPECT_TRUE(same(v->lastComposed().simulated, tl.state(1.2)));
    EXPECT_TRUE(v->lastComposed().cursorShown);

    seekTo(1.44); // 0.24 s: a glide, and the target moves in the zoom-out
    v->tick();
    EXPECT_FALSE(same(v->lastComposed().simulated, tl.state(1.44)));

    seekTo(0.2); // more than 0.25 s back: a jump, so everything snaps
    v->tick();
    EXPECT_TRUE(same(v->lastComposed().simulated, tl.state(0.2)));
}

TEST_F(PreviewTest, SmoothnessBelowTwoHundredthsFollowsTheTargetExactly) {
    const Timeline tl = timelineWith(0.01, true);
    seekTo(1.2);
    auto v = makeView(tl);
    v->tick();
    seekTo(1.44);
    v->tick();
    EXPECT_TRUE(same(v->lastComposed().simulated, tl.state(1.44)));
}

TEST_F(PreviewTest, NoCursorWithoutClicksOrSamples) {
    auto v = makeView(timelineWith(0.8, false));
    v->tick();
    EXPECT_FALSE(v->lastComposed().cursorShown);
}

TEST_F(PreviewTest, MotionBlurOnlyWhileTheCameraMoves) {
    seekTo(1.2);
    auto still = makeView(timelineWith(0.8, true), 1.0);
    still->tick();
    still->tick(); // same instant again: the camera rests
    EXPECT_FALSE(still->lastComposed().blurred);
    EXPECT_EQ(still->lastComposed().blurRadius, 0);

    auto none = makeView(timelineWith(0.01, true), 0.0);
    seekTo(0.6);
    none->tick();
    seekTo(0.8); // a fast zoom-in, but the setting is off
    none->tick();
    EXPECT_FALSE(none->lastComposed().blurred);

    auto moving = makeView(timelineWith(0.01, true), 1.0);
    seekTo(0.6);
    moving->tick();
    seekTo(0.8);
    moving->tick();
    EXPECT_TRUE(moving->lastComposed().blurred);
    EXPECT_GT(moving->lastComposed().blurRadius, 0.75);
}

TEST_F(PreviewTest, EndOfMovieLoopsToTheTrimStart) {
    auto v = makeView(timelineWith(0.8, true));
    emit player.playedToEnd();
    EXPECT_TRUE(player.isPlaying());
    EXPECT_NEAR(player.currentTime(), 0.4, 0.05);
    player.pause();
}

// A zoom held on a focus point from 0.2 s to 1.9 s: the camera target stands
// still in between, so only an edit moves it.
Timeline focusTimeline(double fx, double fy) {
    Timeline tl;
    tl.build({test::segment(0.2, 1.9, 2, 0.8, fx, fy)}, {}, 2.0, 1.5);
    return tl;
}

TEST_F(PreviewTest, PausedEditsGlideInWallClockTime) {
    const Timeline before = focusTimeline(0.8, 0.2);
    const Timeline after = focusTimeline(0.3, 0.7);
    ASSERT_FALSE(same(before.state(1.2), after.state(1.2)));

    // The export's clock: a frame at 1.2 s, the edit, a frame 16 ms later.
    const QImage still(64, 40, QImage::Format_RGB32);
    FrameCompositor playback(before, CompositorSettings{}, Background::fromGradient(0));
    QImage out(160, 100, QImage::Format_RGB32);
    SourceFrame f{still.constBits(), 64, 40, still.bytesPerLine(), 1.2};
    playback.compose(f, out);
    playback.setTimeline(after);
    f.time = 1.2 + 0.016;
    playback.compose(f, out);
    const CamState oneTick = playback.last().simulated;

    // The paused preview: the movie time stands at 1.2 s; the edit arrives
    // 16 ms of wall-clock time after the previous tick.
    seekTo(1.2);
    double now = 100.0;
    auto v = makeView(before, 0, [&] { return now; });
    v->tick();
    ASSERT_TRUE(same(v->lastComposed().simulated, before.state(1.2)));
    now += 0.016;
    ZoomPlayer edited = v->settings();
    edited.timeline = after;
    v->update(edited);
    EXPECT_DOUBLE_EQ(v->lastComposed().time, 1.2);
    EXPECT_NEAR(v->lastComposed().simulated.x, oneTick.x, 1e-9);
    EXPECT_NEAR(v->lastComposed().simulated.y, oneTick.y, 1e-9);
    EXPECT_NEAR(v->lastComposed().simulated.w, oneTick.w, 1e-9);
    EXPECT_GT(std::abs(oneTick.x - before.state(1.2).x), 1e-3); // it did move

    // The same 16 ms in four ticks of 4 ms glides exactly as far: the speed
    // does not depend on how often the view draws.
    auto w = makeView(before, 0, [&] { return now; });
    w->tick();
    w->update(edited);
    for (int i = 0; i < 4; ++i) {
        now += 0.004;
        w->update(edited);
    }
    // The first update came with no time passed: it moved nothing.
    EXPECT_NEAR(w->lastComposed().simulated.x, oneTick.x, 1e-9);
    EXPECT_NEAR(w->lastComposed().simulated.y, oneTick.y, 1e-9);
}

TEST_F(PreviewTest, PausedAndSettledComposesNothingUntilSomethingChanges) {
    seekTo(1.2);
    auto v = makeView(focusTimeline(0.8, 0.2));
    v->show();
    EXPECT_TRUE(v->ticking());
    // The first picture snaps; once it is drawn the ticks stop.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !v->ticking(); }, 3000));
    EXPECT_TRUE(v->settled());
    const int composed = v->composeCount();
    EXPECT_GE(composed, 1);
    QTest::qWait(300); // about 18 display ticks of a still picture
    EXPECT_EQ(v->composeCount(), composed);
    EXPECT_FALSE(v->ticking());

    // An edit: the camera glides to the new focus, drawn every tick, then
    // the ticks stop again.
    ZoomPlayer edited = v->settings();
    edited.timeline = focusTimeline(0.3, 0.7);
    v->update(edited);
    EXPECT_TRUE(v->ticking());
    EXPECT_FALSE(v->settled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !v->ticking(); }, 10000));
    const int glide = v->composeCount() - composed;
    EXPECT_GT(glide, 10);
    EXPECT_TRUE(same(v->lastComposed().simulated, edited.timeline.state(1.2)) ||
                std::abs(v->lastComposed().simulated.x - edited.timeline.state(1.2).x) <
                    ZoomHostView::kSettledDistance);
    const int settledCount = v->composeCount();
    QTest::qWait(200);
    EXPECT_EQ(v->composeCount(), settledCount);

    // A seek while paused draws the new place once, and only once.
    seekTo(1.3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !v->ticking(); }, 3000));
    EXPECT_GT(v->composeCount(), settledCount);
    EXPECT_DOUBLE_EQ(v->lastComposed().time, 1.3);
    const int afterSeek = v->composeCount();
    QTest::qWait(200);
    EXPECT_EQ(v->composeCount(), afterSeek);
    v->hide();
}

TEST_F(PreviewTest, PlayingDrawsEveryTickAndStopsWhenPaused) {
    auto v = makeView(focusTimeline(0.8, 0.2));
    v->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !v->ticking(); }, 3000));
    const int before = v->composeCount();
    player.play();
    QTest::qWait(300);
    EXPECT_TRUE(v->ticking());
    EXPECT_GT(v->composeCount(), before + 8);
    player.pause();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !v->ticking(); }, 3000));
    const int paused = v->composeCount();
    QTest::qWait(200);
    EXPECT_EQ(v->composeCount(), paused);
    v->hide();
    EXPECT_FALSE(v->ticking());
}

TEST_F(PreviewTest, PhotographBlurIsMadeOffTheMainThreadAndReplacesTheLastBackground) {
    seekTo(1.2);
    auto v = makeView(focusTimeline(0.8, 0.2));
    v->tick();
    const QImage gradient = v->canvas().copy(0, 0, 12, 12);

    ZoomPlayer s = v->settings();
    s.look.background = kGradientCount + 6; // the seventh photograph
    s.look.bgBlur = 0.6;
    v->update(s);
    // The blur is on its way; the gradient stays meanwhile.
    EXPECT_TRUE(v->backgroundPending());
    EXPECT_EQ(v->canvas().copy(0, 0, 12, 12), gradient);

    // A drag of the slider: a burst of settings, only the last one counts.
    for (const double blur : {0.62, 0.64, 0.66, 0.7}) {
        s.look.bgBlur = blur;
        v->update(s);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !v->backgroundPending(); }, 10000));
    v->tick();

    // The background shown is the one a synchronous blur gives.
    const auto out = outputSize(s.videoWidth, s.videoHeight, outputAspect(s.look, s.videoWidth, s.videoHeight), s.look.padding);
    ASSERT_TRUE(out.has_value());
    Background expected = Background::preparePreview(s.look.background, 0.7, out->width);
    ASSERT_TRUE(expected.isImage());
    QImage reference(v->canvas().size(), v->canvas().format());
    expected.fill(reference);
    const QImage corner = v->canvas().copy(0, 0, 12, 12);
    EXPECT_NE(corner, gradient);
    EXPECT_EQ(corner, reference.copy(0, 0, 12, 12));

    // Back to a sharp gradient: at once, and a late blur cannot override it.
    s.look.background = 1;
    v->update(s);
    EXPECT_FALSE(v->backgroundPending());
}

TEST(PreviewBeforeTheFirstFrame, ShowsTheBackgroundAndTheEmptyVideoRectangle) {
    ui::MoviePlayer idle; // nothing opened: no frame will come
    ZoomPlayer s;
    s.look.padding = 0.1;
    s.look.cornerRadius = 8;
    s.look.background = 0;
    ZoomHostView v(idle, s);
    v.resize(640, 448);
    v.show();
    v.tick();
    const QImage shot = v.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRectF canvas = v.canvasRect();
    const qreal dpr = shot.devicePixelRatio();
    const auto at = [&](QPointF p) { return QColor(shot.pixel((p * dpr).toPoint())); };

    // The margin is the window; the canvas corner is the gradient's first
    // colour; the video's place is the empty rectangle.
    const QColor window = v.palette().window().color();
    EXPECT_EQ(at({4, 4}).rgb(), window.rgb());
    const QColor first = QColor::fromRgbF(float(bgPresets[0].first.r), float(bgPresets[0].first.g),
                                          float(bgPresets[0].first.b));
    const QColor corner = at(canvas.topLeft() + QPointF(3, 3));
    EXPECT_NEAR(corner.red(), first.red(), 12);
    EXPECT_NEAR(corner.green(), first.green(), 12);
    EXPECT_NEAR(corner.blue(), first.blue(), 12);
    const QColor middle = at(canvas.center());
    EXPECT_EQ(middle.rgb(), QColor(Qt::black).rgb());
    EXPECT_NE(corner.rgb(), window.rgb());
    // Nothing moves in it: the ticks stop.
    EXPECT_FALSE(v.ticking());
}
