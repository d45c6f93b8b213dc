// Directional blur of the image-filter module.
//
// The default method builds a box filter along the motion from a few cheap
// passes: pass i replaces every pixel by the average of two copies of the image
// shifted by -A_i and +B_i, where A_i + B_i is about s x 2^i along the motion.
// After k passes each output pixel is the mean of 2^k nearly evenly spaced taps
// over the whole segment, at the cost of k two-tap averages (k = log2 of the
// length in pixels, 7 for the longest blur of a 1200-pixel frame). Offsets are
// whole pixels (the short ones lose a little accuracy to rounding, which the
// blur hides), so every pass is a straight byte average, 16 bytes at a time with
// SSE2; rounding up and rounding down alternate between passes so the picture
// keeps its brightness, and odd offsets are split so the centre does not drift.
#include "render/ImageFilter.h"
#include "render/OpenCvImage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <opencv2/imgproc.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvane {

namespace {

struct Shift {
    int ax = 0; // read the first copy at (x - ax, y - ay)
    int ay = 0;
    int bx = 0; // and the second at (x + bx, y + by)
    int by = 0;
};

inline std::uint8_t average(std::uint8_t a, std::uint8_t b, bool roundUp) {
    return static_cast<std::uint8_t>((a + b + (roundUp ? 1 : 0)) >> 1);
}

// Averages `count` bytes of two rows into `out`.
void averageBytes(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out,
                  std::size_t count, bool roundUp) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i one = _mm_set1_epi8(1);
    for (; i + 16 <= count; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        __m128i avg = _mm_avg_epu8(va, vb); // (a + b + 1) >> 1
        if (!roundUp) {
            // (a + b) >> 1 differs from the rounded-up mean by the low bit of a ^ b.
            avg = _mm_sub_epi8(avg, _mm_and_si128(_mm_xor_si128(va, vb), one));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), avg);
    }
#endif
    for (; i < count; ++i) {
        out[i] = average(a[i], b[i], roundUp);
    }
}

// Rows of pixels of `bpp` bytes each: a QImage's or a plane's.
struct Pixels {
    std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
    int bpp = 4;

    const std::uint8_t* row(int y) const { return data + std::ptrdiff_t(y) * stride; }
    std::uint8_t* row(int y) { return data + std::ptrdiff_t(y) * stride; }
};

Pixels pixelsOf(const QImage& image) {
    // The filters only read through a const image's view.
    return {const_cast<std::uint8_t*>(image.constBits()), image.bytesPerLine(), image.width(),
            image.height(), 4};
}

Pixels pixelsOf(QImage& image) {
    return {image.bits(), image.bytesPerLine(), image.width(), image.height(), 4};
}

Pixels pixelsOf(const Plane& plane) {
    return {plane.data, plane.stride, plane.width, plane.height, 1};
}

// One pass: out(x, y) = mean(in(x - ax, y - ay), in(x + bx, y + by)), with
// coordinates clamped to the image.
void shiftedAverage(const Pixels& in, Pixels& out, const Shift& s, bool roundUp) {
    const int w = in.width;
    const int h = in.height;
    const int bpp = in.bpp;
    // Columns for which both reads stay inside the row.
    const int x0 = std::clamp(std::max({0, s.ax, -s.bx}), 0, w);
    const int x1 = std::clamp(std::min({w, w + s.ax, w - s.bx}), x0, w);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* rowA = in.row(std::clamp(y - s.ay, 0, h - 1));
        const std::uint8_t* rowB = in.row(std::clamp(y + s.by, 0, h - 1));
        std::uint8_t* dst = out.row(y);
        const auto edge = [&](int x) {
            averageBytes(rowA + std::ptrdiff_t(std::clamp(x - s.ax, 0, w - 1)) * bpp,
                         rowB + std::ptrdiff_t(std::clamp(x + s.bx, 0, w - 1)) * bpp,
                         dst + std::ptrdiff_t(x) * bpp, static_cast<std::size_t>(bpp), roundUp);
        };
        for (int x = 0; x < x0; ++x) {
            edge(x);
        }
        if (x1 > x0) {
            averageBytes(rowA + std::ptrdiff_t(x0 - s.ax) * bpp, rowB + std::ptrdiff_t(x0 + s.bx) * bpp,
                         dst + std::ptrdiff_t(x0) * bpp, static_cast<std::size_t>(x1 - x0) * bpp,
                         roundUp);
        }
        for (int x = std::max(x1, x0); x < w; ++x) {
            edge(x);
        }
    }
}

void copyPixels(const Pixels& src, Pixels& dst) {
    const auto rowBytes = static_cast<std::size_t>(src.width) * static_cast<std::size_t>(src.bpp);
    for (int y = 0; y < src.height; ++y) {
        std::memcpy(dst.row(y), src.row(y), rowBytes);
    }
}

// The passes of a box of length 2 x radius along (ux, uy), in y-down pixels.
// Returns how many were written to `shifts` (passes whose offset rounds to
// nothing are left out).
int planPasses(double radius, double ux, double uy, Shift (&shifts)[16]) {
    const double length = 2 * radius;
    const int k = std::clamp(static_cast<int>(std::ceil(std::log2(length))), 1, 16);
    const double step = length / double(1 << k);
    int count = 0;
    // Twice the centre shift accumulated so far, per axis: a pass with an odd
    // offset moves the centre half a pixel one way or the other, and each such
    // pass is split so as to bring the total back toward zero.
    int driftX = 0;
    int driftY = 0;
    const auto split = [](int offset, int& drift, int& a, int& b) {
        a = offset / 2;
        if (offset % 2 != 0) {
            // b - a is +1 or -1 (in the offset's direction); pick the sign that
            // cancels the drift.
            const int sign = offset > 0 ? 1 : -1;
            const int towardB = sign; // b - a when a is rounded toward zero
            if ((drift > 0 && towardB > 0) || (drift < 0 && towardB < 0)) {
                a += sign;
            }
        }
        b = offset - a;
        drift += b - a;
    };
    for (int i = 0; i < k; ++i) {
        const double offset = step * double(1 << i);
        const int ox = static_cast<int>(std::lround(offset * ux));
        const int oy = static_cast<int>(std::lround(offset * uy));
        if (ox == 0 && oy == 0) {
            continue;
        }
        Shift s;
        split(ox, driftX, s.ax, s.bx);
        split(oy, driftY, s.ay, s.by);
        shifts[count++] = s;
    }
    return count;
}

void tapDoubling(const Pixels& src, Pixels& dst, Pixels& scratch, double radius, double ux,
                 double uy) {
    Shift shifts[16];
    const int passes = planPasses(radius, ux, uy, shifts);
    if (passes == 0) {
        copyPixels(src, dst);
        return;
    }
    // Ping-pong between dst and scratch so that the last pass lands in dst.
    Pixels* target = (passes % 2 == 1) ? &dst : &scratch;
    Pixels* other = (target == &dst) ? &scratch : &dst;
    const Pixels* input = &src;
    for (int i = 0; i < passes; ++i) {
        shiftedAverage(*input, *target, shifts[i], i % 2 == 0);
        input = target;
        std::swap(target, other);
    }
}

void lineKernel(const QImage& src, QImage& dst, double radius, double ux, double uy) {
    const int r = static_cast<int>(std::ceil(radius));
    const int size = 2 * r + 1;
    cv::Mat kernel = cv::Mat::zeros(size, size, CV_32F);
    // Sample the segment densely with bilinear weights: an anti-aliased line
    // whose weights sum to its length.
    const int samples = std::max(8, static_cast<int>(std::ceil(radius * 8)));
    for (int i = 0; i <= samples; ++i) {
        const double t = -radius + 2 * radius * i / samples;
        const double x = r + t * ux;
        const double y = r + t * uy;
        const int xi = static_cast<int>(std::floor(x));
        const int yi = static_cast<int>(std::floor(y));
        const double fx = x - xi;
        const double fy = y - yi;
        const auto add = [&](int cx, int cy, double wgt) {
            if (cx >= 0 && cy >= 0 && cx < size && cy < size) {
                kernel.at<float>(cy, cx) += static_cast<float>(wgt);
            }
        };
        add(xi, yi, (1 - fx) * (1 - fy));
        add(xi + 1, yi, fx * (1 - fy));
        add(xi, yi + 1, (1 - fx) * fy);
        add(xi + 1, yi + 1, fx * fy);
    }
    kernel /= cv::sum(kernel)[0];
    const cv::Mat in = cvwrap::constView(src);
    cv::Mat out = cvwrap::view(dst);
    cv::filter2D(in, out, -1, kernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
}

} // namespace

bool MotionBlur::apply(const QImage& src, QImage& dst, double radius, double angle, Method method) {
    if (!isFilterableFormat(src) || src.isNull()) {
        return false;
    }
    if (dst.size() != src.size() || dst.format() != src.format()) {
        dst = QImage(src.size(), src.format());
        if (dst.isNull()) {
            return false;
        }
    }
    Pixels out = pixelsOf(dst);
    if (!(radius >= 0.5) || !std::isfinite(angle)) {
        copyPixels(pixelsOf(src), out);
        return true;
    }
    // y-up angle to a y-down pixel direction.
    const double ux = std::cos(angle);
    const double uy = -std::sin(angle);
    if (method == Method::LineKernel) {
        lineKernel(src, dst, radius, ux, uy);
        return true;
    }
    if (scratch_.size() != src.size() || scratch_.format() != src.format()) {
        scratch_ = QImage(src.size(), src.format());
        if (scratch_.isNull()) {
            return false;
        }
    }
    Pixels scratch = pixelsOf(scratch_);
    tapDoubling(pixelsOf(src), out, scratch, radius, ux, uy);
    return true;
}

bool MotionBlur::applyPlane(const Plane& src, const Plane& dst, double radius, double angle) {
    if (src.data == nullptr || dst.data == nullptr || src.width <= 0 || src.height <= 0 ||
        dst.width != src.width || dst.height != src.height || src.data == dst.data) {
        return false;
    }
    Pixels out = pixelsOf(dst);
    if (!(radius >= 0.5) || !std::isfinite(angle)) {
        copyPixels(pixelsOf(src), out);
        return true;
    }
    const auto bytes = static_cast<std::size_t>(src.width) * static_cast<std::size_t>(src.height);
    if (planeScratch_.size() < bytes) {
        planeScratch_.resize(bytes);
    }
    Pixels scratch{planeScratch_.data(), src.width, src.width, src.height, 1};
    tapDoubling(pixelsOf(src), out, scratch, radius, std::cos(angle), -std::sin(angle));
    return true;
}

} // namespace orvane
