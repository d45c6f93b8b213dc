#pragma once

#include "timeline/Cam.h"

#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <array>
#include <optional>
#include <string_view>

// The arithmetic shared by the export and the live preview that turns the output
// settings (format, padding, corner radius) and a camera state into pixels.
// Everything here is a pure function of plain values; any thread may call it.
//
// Coordinates: normalised video positions run x 0...1 left to right and y 0...1
// top to bottom. Output pixels have their origin at the top-left corner with y
// downward (QPainter's convention), so unlike a y-up surface no (1 - y) flip is
// needed: the pictures are the same.

namespace orvane {

// One row of the output format table.
struct FormatPreset {
    std::string_view name;
    std::string_view icon; // symbol name shown beside the name
    double aspect;         // width / height; 0 means the video's own aspect
};

inline constexpr std::array<FormatPreset, 5> formatPresets{{
    {"Original", "rectangle.dashed", 0.0},
    {"Wide 16:9", "rectangle", 16.0 / 9.0},
    {"Square 1:1", "square", 1.0},
    {"Vertical 9:16", "rectangle.portrait", 0.5625},
    {"Portrait 4:5", "rectangle.portrait", 0.8},
}};

// The video size used when the recording's natural size cannot be read.
inline constexpr int kFallbackVideoWidth = 1920;
inline constexpr int kFallbackVideoHeight = 1200;
// Largest output side, pixels.
inline constexpr double kMaxOutputSide = 3840;

// Width / height of the output: the format's aspect, or the video's own for
// "Original". formatIndex is clamped to the table (-1 -> 0, 9 -> 4). A video
// size that is not positive gives the fallback aspect 1.6.
double outputAspect(int formatIndex, int videoW, int videoH);

// Output size in pixels, already even (lowest bit cleared).
struct OutputSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const OutputSize&, const OutputSize&) = default;
};

// Output size for a video of natural size (videoW, videoH) pixels, output
// aspect `aspect` (<= 0 or not finite: the video's own) and `padding` (a
// fraction, clamped to [0, 0.45]; negative or NaN counts as 0). Sizes are
// truncated to integers first. None when the video size is not positive or the
// output would be smaller than 2 pixels on a side.
std::optional<OutputSize> outputSize(double videoW, double videoH, double aspect, double padding);

// Where the video sits inside an output of (outW, outH) pixels: inset by
// padding x min(outW, outH) on every side, the video's aspect fitted into that
// box and centred. The inset uses the padding as set (not the 0.45 clamp of
// outputSize); a negative or NaN padding counts as 0 and a box that would have
// a negative size collapses to an empty rectangle at the centre.
QRectF videoRect(double outW, double outH, double padding, double videoW, double videoH);

// Corner radius in output pixels: cornerRadius is given per 640 pixels of
// output width. Never negative.
double videoCornerRadius(double cornerRadius, double outW);

// The drawn camera: width limited to [0.001, 1] (NaN -> 1) and the centre
// clamped to [w/2, 1 - w/2] on both axes, so w = 1 is always (0.5, 0.5). The
// simulation keeps its unclamped state; only what is drawn goes through here.
CamState clampCamera(CamState cam);

// Transform from output pixels of the unzoomed layout to output pixels under
// the camera `cam` (already clamped): the video point (cam.x, cam.y) lands on
// the centre of the output, magnified by 1 / cam.w. Identity for the full view.
QTransform cameraTransform(double outW, double outH, const QRectF& video, const CamState& cam);

// Where the normalised video point (px, py) lands in the output under `cam`.
QPointF mapToOutput(double outW, double outH, const QRectF& video, const CamState& cam, double px,
                    double py);

} // namespace orvane
