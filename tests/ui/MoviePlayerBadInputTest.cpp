// MoviePlayer on files that are not movies, or damaged ones: an error state
// with a message, no frame, no crash, and the event loop never stalls.
#include "ui/player/MoviePlayer.h"

#include "tests/support/MovieFixtures.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using orvane::ui::MoviePlayer;
using namespace orvane::test;

class PlayerBadInput : public ::testing::Test {
protected:
    static std::string movie(const std::string& name, const std::string& args) {
        return cachedFixture(name, [&](const std::string& out) {
            return runFfmpeg(args + " -f " + (name.ends_with("m4a") ? "mp4" : "mov") + " \"" +
                             out + "\"");
        });
    }

    // Opens `path`, expects Failed with a message containing `words`, and
    // checks that the player stays inert and responsive afterwards.
    void expectFails(const std::string& path, const std::string& words) {
        MoviePlayer player;
        QSignalSpy times(&player, &MoviePlayer::timeChanged);
        player.open(QString::fromStdString(path));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return player.status() == MoviePlayer::Status::Failed; }, 5000))
            << "status " << static_cast<int>(player.status());
        EXPECT_NE(player.errorMessage().toStdString().find(words), std::string::npos)
            << player.errorMessage().toStdString();
        EXPECT_EQ(player.currentFrame(), nullptr);
        player.play();
        EXPECT_FALSE(player.isPlaying());
        player.seekExact(1.0);
        player.seek(0.5);
        QElapsedTimer loop;
        loop.start();
        QTest::qWait(50);
        EXPECT_LT(loop.elapsed(), 1000);
        EXPECT_EQ(player.currentFrame(), nullptr);
        EXPECT_EQ(player.status(), MoviePlayer::Status::Failed);
        EXPECT_EQ(times.count(), 0);
    }

    TempDir dir;
};

TEST_F(PlayerBadInput, MissingFile) { expectFails(dir.file("gone.mov"), "does not exist"); }

TEST_F(PlayerBadInput, ZeroBytes) {
    ASSERT_TRUE(writeText(dir.file("empty.mov"), ""));
    expectFails(dir.file("empty.mov"), "not a movie");
}

TEST_F(PlayerBadInput, TextFileNamedMov) {
    ASSERT_TRUE(writeText(dir.file("readme.mov"), "Just some words.\n"));
    expectFails(dir.file("readme.mov"), "not a movie");
}

TEST_F(PlayerBadInput, GarbageBytes) {
    std::mt19937 rng(5);
    std::string noise(65536, '\0');
    for (char& c : noise) {
        c = static_cast<char>(rng() & 0xFF);
    }
    ASSERT_TRUE(writeText(dir.file("noise.mov"), noise));
    expectFails(dir.file("noise.mov"), "not a movie");
}

TEST_F(PlayerBadInput, AudioOnly) {
    const std::string audio =
        movie("audio.m4a", "-f lavfi -i sine=frequency=440:duration=1 -c:a aac");
    ASSERT_FALSE(audio.empty());
    expectFails(audio, "has no video");
}

TEST_F(PlayerBadInput, TruncatedWithoutIndex) {
    const std::string whole = movie("back.mov", "-f lavfi -i testsrc2=size=320x200:rate=30 "
                                                "-frames:v 60 -c:v libx265 -x265-params "
                                                "log-level=error:keyint=15 -tag:v hvc1");
    ASSERT_FALSE(whole.empty());
    ASSERT_TRUE(writePrefix(whole, dir.file("half.mov"), fileSize(whole) / 2));
    expectFails(dir.file("half.mov"), "damaged");
}

TEST_F(PlayerBadInput, CutOffMidwayPlaysThePartThatIsThereThenFails) {
    const std::string whole = movie("front.mp4", "-f lavfi -i testsrc2=size=320x200:rate=30 "
                                                 "-frames:v 60 -c:v libx264 -g 15 "
                                                 "-movflags +faststart");
    ASSERT_FALSE(whole.empty());
    ASSERT_TRUE(writePrefix(whole, dir.file("cut.mp4"), fileSize(whole) * 6 / 10));
    MoviePlayer player;
    QSignalSpy ended(&player, &MoviePlayer::playedToEnd);
    int frames = 0;
    QObject::connect(&player, &MoviePlayer::frameChanged, [&] { ++frames; });
    player.open(QString::fromStdString(dir.file("cut.mp4")));
    player.play();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return player.status() == MoviePlayer::Status::Failed; }, 6000));
    EXPECT_NE(player.errorMessage().toStdString().find("damaged"), std::string::npos)
        << player.errorMessage().toStdString();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_GT(frames, 10);
    EXPECT_LT(frames, 60);
    EXPECT_EQ(ended.count(), 0);
    ASSERT_NE(player.currentFrame(), nullptr); // the last good frame stays
    EXPECT_GT(player.currentTime(), 0.3);
}

} // namespace
