// A box blur along digital lines, with a running sum: the image is cut into
// one-pixel-wide digital lines parallel to the motion, and every pixel becomes
// the mean of the taps on its own line within the radius. Moving one pixel
// along a line adds the tap entering the window and drops the one leaving it,
// so the cost per pixel does not depend on the radius. The two end taps carry
// the fractional part of the length, so the blur length varies smoothly.
#include "render/DigitalLineBlur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orvane::detail {

namespace {

// Walks "major" steps along the line (x for mostly horizontal motion, y for
// mostly vertical) and derives the minor coordinate from the rounded slope.
struct Geometry {
    int majorSize = 0; // pixels along the major axis
    int minorSize = 0;
    bool transposed = false; // major axis is y
};

struct Sum {
    std::uint32_t c[4] = {0, 0, 0, 0};
};

} // namespace

void digitalLineBlur(const QImage& src, QImage& dst, double radius, double ux, double uy,
                     LineBlurScratch& scratch) {
    Geometry g;
    g.transposed = std::abs(uy) > std::abs(ux);
    g.majorSize = g.transposed ? src.height() : src.width();
    g.minorSize = g.transposed ? src.width() : src.height();
    const double majorDir = g.transposed ? uy : ux;
    const double minorDir = g.transposed ? ux : uy;
    const double slope = minorDir / majorDir; // |slope| <= 1

    // The window in major steps: the centre tap, n whole taps each side and a
    // fractional one at each end, weighing 2 x radius steps in all (each tap
    // stands for one step of the segment, half a step either side of it).
    const double reach = std::max(radius * std::abs(majorDir) - 0.5, 0.0);
    const int n = static_cast<int>(std::floor(reach));
    const auto frac256 = static_cast<std::uint64_t>(std::lround((reach - n) * 256));
    const std::uint64_t total = (std::uint64_t(2 * n + 1) * 256 + 2 * frac256) * 256;
    const std::uint64_t mul = ((std::uint64_t(1) << 48) + total / 2) / total;

    // Per major position m from -n - 1 to majorSize + n: the line's exact minor
    // offset m x slope, as a whole part with a 1/256 fraction (for the taps),
    // and rounded (for which line a pixel belongs to).
    const int lo = -n - 1;
    const int hi = g.majorSize + n;
    const auto count = static_cast<std::size_t>(hi - lo + 1);
    scratch.whole.resize(count);
    scratch.frac.resize(count);
    scratch.rounded.resize(count);
    scratch.taps.resize(count * 4);
    for (int m = lo; m <= hi; ++m) {
        const double exact = m * slope;
        int whole = static_cast<int>(std::floor(exact));
        int frac = static_cast<int>(std::lround((exact - whole) * 256));
        if (frac == 256) {
            ++whole;
            frac = 0;
        }
        const auto i = static_cast<std::size_t>(m - lo);
        scratch.whole[i] = whole;
        scratch.frac[i] = static_cast<std::uint16_t>(frac);
        scratch.rounded[i] = static_cast<int>(std::floor(exact + 0.5));
    }
    const auto R = [&](int m) { return scratch.rounded[static_cast<std::size_t>(m - lo)]; };

    const auto* srcBits = src.constBits();
    auto* dstBits = dst.bits();
    const auto srcStride = static_cast<std::ptrdiff_t>(src.bytesPerLine());
    const auto dstStride = static_cast<std::ptrdiff_t>(dst.bytesPerLine());
    const auto offsetOf = [&](std::ptrdiff_t stride, int major, int minor) {
        return g.transposed ? std::ptrdiff_t(major) * stride + std::ptrdiff_t(minor) * 4
                            : std::ptrdiff_t(minor) * stride + std::ptrdiff_t(major) * 4;
    };

    const int r0 = R(0);
    const int r1 = R(g.majorSize - 1);
    const int cFirst = -std::max(r0, r1);
    const int cLast = g.minorSize - 1 - std::min(r0, r1);
    const bool rising = r1 >= r0;
    for (int c = cFirst; c <= cLast; ++c) {
        // The pixels of line c (those with minor = c + R(m)) form one run of m,
        // since R is monotonic: find its start by bisection.
        int a = 0;
        int b = g.majorSize;
        while (a < b) {
            const int mid = (a + b) / 2;
            const int minor = c + R(mid);
            const bool before = rising ? minor < 0 : minor >= g.minorSize;
            if (before) {
                a = mid + 1;
            } else {
                b = mid;
            }
        }
        const int first = a;
        if (first >= g.majorSize) {
            continue;
        }
        int last = first; // one past the run
        while (last < g.majorSize) {
            const int minor = c + R(last);
            if (minor < 0 || minor >= g.minorSize) {
                break;
            }
            ++last;
        }
        if (last == first) {
            continue;
        }

        // Gather the taps the run needs, each interpolated between the two
        // pixels the exact line passes between (coordinates clamped, so pixels
        // past the border repeat the border). Values are scaled by 256.
        const int tapFirst = first - n - 1;
        const int tapLast = last + n; // inclusive
        for (int m = tapFirst; m <= tapLast; ++m) {
            const auto i = static_cast<std::size_t>(m - lo);
            const int major = std::clamp(m, 0, g.majorSize - 1);
            const int minor0 = c + scratch.whole[i];
            const int m0 = std::clamp(minor0, 0, g.minorSize - 1);
            const int m1 = std::clamp(minor0 + 1, 0, g.minorSize - 1);
            const std::uint8_t* p0 = srcBits + offsetOf(srcStride, major, m0);
            const std::uint8_t* p1 = srcBits + offsetOf(srcStride, major, m1);
            const std::uint32_t f = scratch.frac[i];
            std::uint16_t* t = &scratch.taps[i * 4];
            for (int k = 0; k < 4; ++k) {
                t[k] = static_cast<std::uint16_t>(p0[k] * (256 - f) + p1[k] * f);
            }
        }
        const auto tapAt = [&](int m) { return &scratch.taps[static_cast<std::size_t>(m - lo) * 4]; };

        Sum sum;
        for (int j = -n; j <= n; ++j) {
            const std::uint16_t* t = tapAt(first + j);
            for (int k = 0; k < 4; ++k) {
                sum.c[k] += t[k];
            }
        }
        for (int m = first; m < last; ++m) {
            const std::uint16_t* before = tapAt(m - n - 1);
            const std::uint16_t* after = tapAt(m + n + 1);
            const std::uint16_t* leaving = tapAt(m - n);
            std::uint8_t* out = dstBits + offsetOf(dstStride, m, c + R(m));
            for (int k = 0; k < 4; ++k) {
                const std::uint64_t weighted =
                    std::uint64_t(sum.c[k]) * 256 + frac256 * (std::uint64_t(before[k]) + after[k]);
                out[k] = static_cast<std::uint8_t>((weighted * mul + (std::uint64_t(1) << 47)) >> 48);
                sum.c[k] += after[k];
                sum.c[k] -= leaving[k];
            }
        }
    }
}

} // namespace orvane::detail
