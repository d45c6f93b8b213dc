#include "render/HalfScale.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvane::halfscale {

namespace {

// One output row of a 4-byte-per-pixel halving: rows a and b (b may equal a
// for an odd last row), `srcW` source pixels, `dstW` = halfSize(srcW) output
// pixels.
void halveBgraRow(const std::uint8_t* a, const std::uint8_t* b, int srcW, std::uint8_t* out,
                  int dstW) {
    int x = 0;
#if defined(__SSE2__)
    // Two output pixels from four source pixels of each row; sums of four
    // bytes stay below 1024, so 16-bit lanes hold them.
    const __m128i zero = _mm_setzero_si128();
    const __m128i two = _mm_set1_epi16(2);
    for (; 2 * x + 4 <= srcW; x += 2) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * x));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * x));
        const __m128i s01 = _mm_add_epi16(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero));
        const __m128i s23 = _mm_add_epi16(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero));
        const __m128i p0 = _mm_add_epi16(s01, _mm_srli_si128(s01, 8));
        const __m128i p1 = _mm_add_epi16(s23, _mm_srli_si128(s23, 8));
        const __m128i sum = _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(p0, p1), two), 2);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(sum, sum));
    }
#endif
    for (; x < dstW; ++x) {
        const int left = 2 * x;
        const int right = std::min(left + 1, srcW - 1);
        for (int c = 0; c < 4; ++c) {
            const int s = a[4 * left + c] + a[4 * right + c] + b[4 * left + c] + b[4 * right + c];
            out[4 * x + c] = static_cast<std::uint8_t>((s + 2) >> 2);
        }
    }
}

void halvePlaneRow(const std::uint8_t* a, const std::uint8_t* b, int srcW, std::uint8_t* out,
                   int dstW) {
    int x = 0;
#if defined(__SSE2__)
    // Sixteen output samples from 32 source samples of each row: the even and
    // odd bytes of each 16-bit lane are the pair to add.
    const __m128i lowBytes = _mm_set1_epi16(0x00ff);
    const __m128i two = _mm_set1_epi16(2);
    const auto pairs = [&](const std::uint8_t* p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return _mm_add_epi16(_mm_and_si128(v, lowBytes), _mm_srli_epi16(v, 8));
    };
    for (; 2 * x + 32 <= srcW; x += 16) {
        const __m128i lo = _mm_add_epi16(pairs(a + 2 * x), pairs(b + 2 * x));
        const __m128i hi = _mm_add_epi16(pairs(a + 2 * x + 16), pairs(b + 2 * x + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(lo, two), 2),
                                          _mm_srli_epi16(_mm_add_epi16(hi, two), 2)));
    }
#endif
    for (; x < dstW; ++x) {
        const int left = 2 * x;
        const int right = std::min(left + 1, srcW - 1);
        out[x] = static_cast<std::uint8_t>((a[left] + a[right] + b[left] + b[right] + 2) >> 2);
    }
}

} // namespace

int halvingsFor(double scale, int limit) {
    int k = 0;
    if (!(std::isfinite(scale) && scale > 0)) {
        return 0;
    }
    while (k < limit && scale < kPrefilterBelow) {
        scale *= 2;
        ++k;
    }
    return k;
}

bool halveBgra(const QImage& src, QImage& dst) {
    if (src.isNull() || (src.format() != QImage::Format_RGB32 &&
                         src.format() != QImage::Format_ARGB32_Premultiplied)) {
        return false;
    }
    const int w = halfSize(src.width());
    const int h = halfSize(src.height());
    if (dst.width() != w || dst.height() != h || dst.format() != src.format()) {
        dst = QImage(w, h, src.format());
        if (dst.isNull()) {
            return false;
        }
    }
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* a = src.constScanLine(2 * y);
        const std::uint8_t* b = src.constScanLine(std::min(2 * y + 1, src.height() - 1));
        halveBgraRow(a, b, src.width(), dst.scanLine(y), w);
    }
    return true;
}

bool halvePlane(const Plane& src, const Plane& dst) {
    if (src.data == nullptr || src.width <= 0 || src.height <= 0 || dst.data == nullptr ||
        dst.width < halfSize(src.width) || dst.height < halfSize(src.height)) {
        return false;
    }
    const int w = halfSize(src.width);
    const int h = halfSize(src.height);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* a = src.row(2 * y);
        const std::uint8_t* b = src.row(std::min(2 * y + 1, src.height - 1));
        halvePlaneRow(a, b, src.width, dst.row(y), w);
    }
    return true;
}

} // namespace orvane::halfscale
