// Output geometry: formats, output size, video rectangle, camera transform and
// centre clamping.
#include "render/OutputGeometry.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace orvane;

TEST(OutputFormats, TableAndAspect) {
    ASSERT_EQ(formatPresets.size(), 5u);
    EXPECT_EQ(formatPresets[0].name, "Original");
    EXPECT_EQ(formatPresets[0].icon, "rectangle.dashed");
    EXPECT_EQ(formatPresets[1].name, "Wide 16:9");
    EXPECT_EQ(formatPresets[2].name, "Square 1:1");
    EXPECT_EQ(formatPresets[3].name, "Vertical 9:16");
    EXPECT_EQ(formatPresets[4].name, "Portrait 4:5");
    EXPECT_EQ(formatPresets[4].icon, "rectangle.portrait");

    EXPECT_DOUBLE_EQ(outputAspect(0, 2880, 1800), 1.6);
    EXPECT_DOUBLE_EQ(outputAspect(1, 2880, 1800), 16.0 / 9.0);
    EXPECT_DOUBLE_EQ(outputAspect(2, 2880, 1800), 1.0);
    EXPECT_DOUBLE_EQ(outputAspect(3, 2880, 1800), 0.5625);
    EXPECT_DOUBLE_EQ(outputAspect(4, 2880, 1800), 0.8);
    // Out-of-range rows clamp to the table.
    EXPECT_DOUBLE_EQ(outputAspect(9, 1000, 500), 0.8);
    EXPECT_DOUBLE_EQ(outputAspect(-1, 1000, 500), 2.0);
    // "Original" without a usable video size uses the fallback 1920 x 1200.
    EXPECT_DOUBLE_EQ(outputAspect(0, 0, 0), 1.6);
    EXPECT_DOUBLE_EQ(outputAspect(0, 1920, -3), 1.6);
}

TEST(OutputSize, WorkedExamples) {
    // "Original", 2880 x 1800, no padding: the video's own size.
    EXPECT_EQ(outputSize(2880, 1800, 1.6, 0), (OutputSize{2880, 1800}));
    // Padding 0.1: the height becomes 1800 / 0.8 and the width follows the aspect.
    EXPECT_EQ(outputSize(2880, 1800, 1.6, 0.1), (OutputSize{3600, 2250}));
    // 3840 x 2160 in "Square 1:1": the video is wider, so the width leads.
    EXPECT_EQ(outputSize(3840, 2160, 1.0, 0), (OutputSize{3840, 3840}));
    // The default padding on a 1920 x 1200 take.
    EXPECT_EQ(outputSize(1920, 1200, 1.6, 0.08), (OutputSize{2284, 1428}));
    // A vertical format on a wide video: the width leads, the height follows.
    EXPECT_EQ(outputSize(1920, 1080, 0.5625, 0), (OutputSize{1920, 3413 & ~1}));
}

TEST(OutputSize, LimitsAndRounding) {
    // Larger than 3840 on a side: both sides scale down together.
    EXPECT_EQ(outputSize(3840, 2400, 1.6, 0.1), (OutputSize{3840, 2400}));
    // An odd size is used even everywhere: 1125 becomes 1124.
    EXPECT_EQ(outputSize(1125, 1125, 1.0, 0), (OutputSize{1124, 1124}));
    EXPECT_EQ(outputSize(1921, 1201, 1921.0 / 1201.0, 0), (OutputSize{1920, 1200}));
    // Fractional natural sizes are truncated first.
    EXPECT_EQ(outputSize(1920.9, 1200.7, 1.6, 0), (OutputSize{1920, 1200}));
    // Padding above 0.45 counts as 0.45; negative or NaN as 0.
    EXPECT_EQ(outputSize(100, 100, 1.0, 0.6), outputSize(100, 100, 1.0, 0.45));
    EXPECT_EQ(outputSize(100, 100, 1.0, 0.45), (OutputSize{1000, 1000}));
    EXPECT_EQ(outputSize(640, 400, 1.6, -0.2), (OutputSize{640, 400}));
    EXPECT_EQ(outputSize(640, 400, 1.6, std::nan("")), (OutputSize{640, 400}));
    // An aspect that is not usable falls back to the video's own.
    EXPECT_EQ(outputSize(640, 400, 0, 0), (OutputSize{640, 400}));
    EXPECT_EQ(outputSize(640, 400, std::numeric_limits<double>::infinity(), 0),
              (OutputSize{640, 400}));
}

TEST(OutputSize, Failures) {
    EXPECT_FALSE(outputSize(0, 1200, 1.6, 0));
    EXPECT_FALSE(outputSize(1920, 0, 1.6, 0));
    EXPECT_FALSE(outputSize(0.5, 0.5, 1.0, 0)); // truncates to 0 x 0
    EXPECT_FALSE(outputSize(-1920, 1200, 1.6, 0));
    EXPECT_FALSE(outputSize(std::nan(""), 1200, 1.6, 0));
    // So extreme an aspect leaves the short side below 2 pixels.
    EXPECT_FALSE(outputSize(1920, 1200, 1e-6, 0));
    EXPECT_FALSE(outputSize(1, 1, 1.0, 0));
    EXPECT_EQ(outputSize(2, 2, 1.0, 0), (OutputSize{2, 2}));
}

TEST(VideoRect, InsetFitAndCentre) {
    // 1920 x 1200 in its default 2284 x 1428 output: inset 0.08 x 1428.
    const QRectF r = videoRect(2284, 1428, 0.08, 1920, 1200);
    EXPECT_NEAR(r.y(), 0.08 * 1428, 1e-9);
    EXPECT_NEAR(r.height(), 1428 - 2 * 0.08 * 1428, 1e-9);
    EXPECT_NEAR(r.width(), r.height() * 1.6, 1e-9);
    EXPECT_NEAR(r.x(), (2284 - r.width()) / 2, 1e-9);

    // A tall video in a wide output is limited by the height and centred.
    const QRectF tall = videoRect(1600, 900, 0, 900, 1600);
    EXPECT_NEAR(tall.height(), 900, 1e-9);
    EXPECT_NEAR(tall.width(), 900 * 900.0 / 1600, 1e-9);
    EXPECT_NEAR(tall.center().x(), 800, 1e-9);

    // The inset uses the padding as set, not the 0.45 of the size computation.
    const QRectF padded = videoRect(1000, 1000, 0.47, 100, 100);
    EXPECT_NEAR(padded.x(), 470, 1e-9);
    EXPECT_NEAR(padded.width(), 60, 1e-9);
}

TEST(VideoRect, DegenerateInputs) {
    // A padding of half the short side or more leaves no room: an empty
    // rectangle at the centre rather than a negative size.
    const QRectF none = videoRect(1000, 600, 0.6, 16, 10);
    EXPECT_TRUE(none.isEmpty());
    EXPECT_GE(none.width(), 0);
    EXPECT_GE(none.height(), 0);
    EXPECT_NEAR(none.center().x(), 500, 1e-9);
    // A negative or NaN padding counts as none.
    EXPECT_EQ(videoRect(320, 200, -0.1, 320, 200), QRectF(0, 0, 320, 200));
    EXPECT_EQ(videoRect(320, 200, std::nan(""), 320, 200), QRectF(0, 0, 320, 200));
    // No video size, no video.
    EXPECT_TRUE(videoRect(320, 200, 0.1, 0, 200).isEmpty());
}

TEST(VideoRect, CornerRadiusScalesWithWidth) {
    EXPECT_DOUBLE_EQ(videoCornerRadius(14, 640), 14);
    EXPECT_DOUBLE_EQ(videoCornerRadius(14, 2284), 14 * 2284 / 640.0);
    EXPECT_DOUBLE_EQ(videoCornerRadius(-3, 640), 0);
    EXPECT_DOUBLE_EQ(videoCornerRadius(std::nan(""), 640), 0);
}

TEST(CameraClamp, WidthAndCentre) {
    // Full view: always the centre, whatever the simulated centre says.
    EXPECT_EQ(clampCamera({0.1, 0.95, 1}), (CamState{0.5, 0.5, 1}));
    EXPECT_EQ(clampCamera({0.1, 0.95, 1.7}), (CamState{0.5, 0.5, 1}));
    // Half width: the centre stays within [0.25, 0.75].
    EXPECT_EQ(clampCamera({0.1, 0.9, 0.5}), (CamState{0.25, 0.75, 0.5}));
    EXPECT_EQ(clampCamera({0.4, 0.6, 0.5}), (CamState{0.4, 0.6, 0.5}));
    // Widths below 0.001 are limited.
    const CamState tiny = clampCamera({0.0, 1.0, 0.00001});
    EXPECT_DOUBLE_EQ(tiny.w, 0.001);
    EXPECT_DOUBLE_EQ(tiny.x, 0.0005);
    EXPECT_DOUBLE_EQ(tiny.y, 1 - 0.0005);
    EXPECT_DOUBLE_EQ(clampCamera({0.5, 0.5, -2}).w, 0.001);
    // Not-a-number never reaches the drawing.
    EXPECT_EQ(clampCamera({std::nan(""), 0.5, std::nan("")}), (CamState{0.5, 0.5, 1}));
}

TEST(CameraTransform, FullViewIsIdentityAndPointsLandRight) {
    const QRectF video = videoRect(2284, 1428, 0.08, 1920, 1200);
    EXPECT_TRUE(cameraTransform(2284, 1428, video, clampCamera({0.2, 0.3, 1})).isIdentity());

    const CamState cam{0.3, 0.6, 0.25}; // zoom 4
    const QTransform t = cameraTransform(2284, 1428, video, cam);
    // The camera centre lands on the output centre.
    const QPointF centre =
        t.map(QPointF(video.x() + 0.3 * video.width(), video.y() + 0.6 * video.height()));
    EXPECT_NEAR(centre.x(), 1142, 1e-9);
    EXPECT_NEAR(centre.y(), 714, 1e-9);
    // mapToOutput agrees with the transform and magnifies by 1 / w.
    for (const auto& [px, py] : {std::pair{0.0, 0.0}, {1.0, 1.0}, {0.35, 0.62}}) {
        const QPointF viaTransform =
            t.map(QPointF(video.x() + px * video.width(), video.y() + py * video.height()));
        const QPointF direct = mapToOutput(2284, 1428, video, cam, px, py);
        EXPECT_NEAR(viaTransform.x(), direct.x(), 1e-9);
        EXPECT_NEAR(viaTransform.y(), direct.y(), 1e-9);
    }
    const QPointF a = mapToOutput(2284, 1428, video, cam, 0.3, 0.6);
    const QPointF b = mapToOutput(2284, 1428, video, cam, 0.31, 0.6);
    EXPECT_NEAR(b.x() - a.x(), 4 * 0.01 * video.width(), 1e-9);
}
