#pragma once

#include "media/YuvImage.h"

#include <QImage>
#include <cstdint>
#include <vector>

// The two blurs of the renderer: a Gaussian blur for image backgrounds and a
// directional (motion) blur for the video while the camera moves. Images are 4
// bytes per pixel (Format_RGB32, Format_ARGB32 or Format_ARGB32_Premultiplied;
// the channels are filtered alike, so premultiplied colour stays valid). Pixels
// beyond the border count as copies of the nearest border pixel, so edges do not
// darken. OpenCV stays inside the implementation.

namespace orvane {

// Whether `image` is a format these filters accept.
bool isFilterableFormat(const QImage& image);

// Blurs `image` in place with a Gaussian of standard deviation `sigma` pixels.
// sigma <= 0 (or NaN) leaves the image alone. Large sigmas are computed on a
// reduced copy and scaled back, which is indistinguishable for such wide blurs
// and keeps the cost flat. Returns false (image untouched) for an unsupported
// format. Any thread; one image per call.
bool gaussianBlur(QImage& image, double sigma);

// Directional blur along a line: each output pixel is the mean of the input
// along the segment from -radius to +radius pixels in the direction `angle`
// (radians, y-up convention: 0 points right, pi/2 points up). Owns a scratch
// image reused across calls, so a per-export instance allocates only when the
// frame size changes. One thread at a time per instance.
class MotionBlur {
public:
    enum class Method {
        // Our own: log2(2 x radius) passes, each averaging two shifted copies
        // with a doubled offset, which builds a box of nearly even taps. Every
        // pixel gets the same kernel (no stepping along diagonal edges), and it
        // is far faster than the line kernel (bench/render), so it is the
        // default.
        TapDoubling,
        // OpenCV's filter2D with an anti-aliased line kernel. Exact but slow
        // for long kernels; kept as the benchmark's comparison.
        LineKernel,
    };

    // Blurs `src` into `dst`. `dst` is (re)allocated to src's size and format
    // when it does not match; it must not share pixels with `src`. A radius
    // below 0.5 pixel copies the source. Returns false for an unsupported
    // format or an empty source.
    bool apply(const QImage& src, QImage& dst, double radius, double angle,
               Method method = Method::TapDoubling);

    // The same blur (tap doubling) on one 8-bit plane, for the planes of a YUV
    // picture: each is blurred alone, a chroma plane with half the radius.
    // `dst` must have src's size and not share its pixels. Returns false
    // otherwise.
    bool applyPlane(const Plane& src, const Plane& dst, double radius, double angle);

private:
    QImage scratch_;
    std::vector<std::uint8_t> planeScratch_;
};

} // namespace orvane
