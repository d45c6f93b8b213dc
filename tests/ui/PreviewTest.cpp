// The live preview: springs that snap on the first tick and on jumps, glide on
// small moves, follow exactly below 0.02 smoothness; no cursor without clicks or
// samples; motion blur only while the camera moves; the loop to the trim start.
#include "MovieFixtures.h"

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
    std::unique_ptr<ZoomHostView> makeView(Timeline tl, double motionBlur = 0) {
        ZoomPlayer s;
        s.timeline = std::move(tl);
        s.aspect = 1.6;
        s.outputAspect = 1.6;
        s.motionBlur = motionBlur;
        s.loopStart = 0.4;
        auto v = std::make_unique<ZoomHostView>(player, s);
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

TEST_F(PreviewTest, TicksRunOnlyWhileShown) {
    auto v = makeView(timelineWith(0.8, true));
    EXPECT_FALSE(v->ticking());
    v->show();
    EXPECT_TRUE(v->ticking());
    const int before = v->tickCount();
    QTest::qWait(200);
    EXPECT_GT(v->tickCount(), before + 5);
    v->hide();
    EXPECT_FALSE(v->ticking());
}
