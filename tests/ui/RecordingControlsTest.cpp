// The arithmetic behind the recording controls: the region a drag makes and
// the time a disk lasts at a take's rate.
#include "ui/recording/RecordingControls.h"
#include "ui/recording/RegionSelector.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orvane;

TEST(RegionSelector, ADragIsNormalisedKeptOnTheScreenAndEven) {
    const QSize screen(1920, 1080);
    EXPECT_EQ(RegionSelector::snapped({10, 10}, {111, 61}, screen), QRect(10, 10, 100, 50));
    EXPECT_EQ(RegionSelector::snapped({111, 61}, {10, 10}, screen), QRect(10, 10, 100, 50)) << "dragged up and left";
    EXPECT_EQ(RegionSelector::snapped({1800, 1000}, {2500, 1300}, screen), QRect(1800, 1000, 120, 80))
        << "held to the screen's edge";
    EXPECT_EQ(RegionSelector::snapped({-50, -50}, {30, 31}, screen), QRect(0, 0, 30, 30));
    EXPECT_TRUE(RegionSelector::snapped({5, 5}, {5, 6}, screen).isEmpty());
}

TEST(RecordingControls, TheDiskLastsAsLongAsTheTakesRateSays) {
    // 1 MB a second written, 300 MB free: five minutes.
    EXPECT_DOUBLE_EQ(RecordingControls::secondsLeft(300'000'000, 10'000'000, 10.0), 300.0);
    EXPECT_TRUE(std::isinf(RecordingControls::secondsLeft(1'000, 0, 5.0))) << "nothing written yet";
    EXPECT_TRUE(std::isinf(RecordingControls::secondsLeft(1'000, 500, 0.0)));
    EXPECT_DOUBLE_EQ(RecordingControls::secondsLeft(-5, 100, 1.0), 0.0) << "a full disk";

    EXPECT_EQ(RecordingControls::diskNote(3600), QString()) << "an hour left says nothing";
    EXPECT_EQ(RecordingControls::diskNote(std::numeric_limits<double>::infinity()), QString());
    EXPECT_EQ(RecordingControls::diskNote(599), QStringLiteral("About 10 min left on the disk"));
    EXPECT_EQ(RecordingControls::diskNote(250), QStringLiteral("About 5 min left on the disk"));
    EXPECT_EQ(RecordingControls::diskNote(45), QStringLiteral("Less than a minute left on the disk"));
}
