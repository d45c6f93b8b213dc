#pragma once

#include <QImage>
#include <QString>
#include <array>
#include <optional>

// The backgrounds behind the video: five two-colour gradients and 27 shipped
// photographs, selected by one integer (the Recorder's `background`): 0...4 are
// the gradients, 5 and above are photograph number b - 5 (0-based).

namespace orvane {

struct Rgb {
    double r = 0; // 0...1, sRGB
    double g = 0;
    double b = 0;
};

struct GradientPreset {
    Rgb first;  // at the top-left corner
    Rgb second; // at the bottom-right corner
};

inline constexpr std::array<GradientPreset, 5> bgPresets{{
    {{0.23, 0.18, 0.42}, {0.49, 0.36, 0.88}},
    {{0.04, 0.24, 0.30}, {0.12, 0.71, 0.65}},
    {{0.35, 0.13, 0.21}, {0.91, 0.45, 0.29}},
    {{0.10, 0.11, 0.15}, {0.17, 0.20, 0.26}},
    {{0.24, 0.20, 0.06}, {0.79, 0.64, 0.15}},
}};

inline constexpr int kGradientCount = static_cast<int>(bgPresets.size());
inline constexpr int kBackgroundImageCount = 27;

// What a background index selects: the photograph (0-based number) when there
// is one for it, and the gradient used when there is no image (or the image
// cannot be loaded): the preset itself for 0...4, preset 0 for anything else.
struct BackgroundChoice {
    std::optional<int> image;
    int gradient = 0;
    friend bool operator==(const BackgroundChoice&, const BackgroundChoice&) = default;
};
BackgroundChoice backgroundChoice(int index);

// "obg_01.jpg" for image 0 ... "obg_27.jpg" for image 26.
QString backgroundImageName(int image);

// Path of photograph `image` (0...26) through resourcePath(), or an empty string
// when the number is out of range or the file is missing. Any thread.
QString backgroundImagePath(int image);

// Photograph `image` decoded at full size (Format_RGB32), or none when out of
// range, missing or undecodable. Used by the export. Any thread.
std::optional<QImage> bgImage(int image);

} // namespace orvane
