// BT.709 limited range in 15-bit fixed point:
//   Y  =  16 + 0.182586 R + 0.614231 G + 0.062007 B
//   Cb = 128 - 0.100644 R - 0.338572 G + 0.439216 B
//   Cr = 128 + 0.439216 R - 0.398942 G - 0.040274 B
// The chroma rows sum to exactly zero so that greys carry no colour.
#include "media/YuvConversion.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvane::yuv {

namespace {

constexpr int kYr = 5983, kYg = 20127, kYb = 2032;
constexpr int kCbR = -3298, kCbG = -11094, kCbB = 14392;
constexpr int kCrR = 14392, kCrG = -13072, kCrB = -1320;
constexpr int kLumaBias = (16 << 15) + (1 << 14);
constexpr int kChromaBias = (128 << 17) + (1 << 16); // the sum of four is 4x

std::uint8_t clampByte(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// Converts columns [x, width) of one or two rows (row1 may equal row0).
void tailRows(const std::uint8_t* row0, const std::uint8_t* row1, int x, int width,
              std::uint8_t* y0, std::uint8_t* y1, std::uint8_t* u, std::uint8_t* v,
              bool secondRow) {
    for (; x < width; x += 2) {
        const int x1 = std::min(x + 1, width - 1);
        const std::uint8_t* p[4] = {row0 + x * 4, row0 + x1 * 4, row1 + x * 4, row1 + x1 * 4};
        y0[x] = luma(p[0][2], p[0][1], p[0][0]);
        if (x1 != x) {
            y0[x1] = luma(p[1][2], p[1][1], p[1][0]);
        }
        if (secondRow) {
            y1[x] = luma(p[2][2], p[2][1], p[2][0]);
            if (x1 != x) {
                y1[x1] = luma(p[3][2], p[3][1], p[3][0]);
            }
        }
        int r = 0, g = 0, b = 0;
        for (const std::uint8_t* q : p) {
            b += q[0];
            g += q[1];
            r += q[2];
        }
        u[x / 2] = cbOfSum(r, g, b);
        v[x / 2] = crOfSum(r, g, b);
    }
}

#if defined(__SSE2__)
// Four BGRA pixels dotted with (b, g, r, 0) coefficients: four 32-bit sums.
inline __m128i dot4(__m128i lo16, __m128i hi16, __m128i coef) {
    const __m128i l = _mm_madd_epi16(lo16, coef);
    const __m128i h = _mm_madd_epi16(hi16, coef);
    const __m128 a = _mm_shuffle_ps(_mm_castsi128_ps(l), _mm_castsi128_ps(h), _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 b = _mm_shuffle_ps(_mm_castsi128_ps(l), _mm_castsi128_ps(h), _MM_SHUFFLE(3, 1, 3, 1));
    return _mm_add_epi32(_mm_castps_si128(a), _mm_castps_si128(b));
}

// 16 luma samples of one row.
inline void luma16(const std::uint8_t* in, std::uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i coef = _mm_setr_epi16(kYb, kYg, kYr, 0, kYb, kYg, kYr, 0);
    const __m128i bias = _mm_set1_epi32(kLumaBias);
    __m128i sums[4];
    for (int i = 0; i < 4; ++i) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * i));
        sums[i] = _mm_srai_epi32(
            _mm_add_epi32(dot4(_mm_unpacklo_epi8(px, zero), _mm_unpackhi_epi8(px, zero), coef),
                          bias),
            15);
    }
    const __m128i a = _mm_packs_epi32(sums[0], sums[1]);
    const __m128i b = _mm_packs_epi32(sums[2], sums[3]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, b));
}

// Channel sums of the two 2 x 2 blocks in four columns of two rows: B, G, R, A
// of the first block, then of the second, as 16-bit lanes.
inline __m128i blockSums(const std::uint8_t* r0, const std::uint8_t* r1) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1));
    const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    const __m128i sLo = _mm_add_epi16(lo, _mm_srli_si128(lo, 8));
    const __m128i sHi = _mm_add_epi16(hi, _mm_srli_si128(hi, 8));
    return _mm_unpacklo_epi64(sLo, sHi);
}

// 8 chroma samples of each kind from 16 columns of two rows.
inline void chroma8(const std::uint8_t* r0, const std::uint8_t* r1, std::uint8_t* u,
                    std::uint8_t* v) {
    const __m128i kCb = _mm_setr_epi16(kCbB, kCbG, kCbR, 0, kCbB, kCbG, kCbR, 0);
    const __m128i kCr = _mm_setr_epi16(kCrB, kCrG, kCrR, 0, kCrB, kCrG, kCrR, 0);
    const __m128i bias = _mm_set1_epi32(kChromaBias);
    __m128i s[4];
    for (int i = 0; i < 4; ++i) {
        s[i] = blockSums(r0 + 16 * i, r1 + 16 * i);
    }
    const auto plane = [&](__m128i coef, std::uint8_t* out) {
        const __m128i a = _mm_srai_epi32(_mm_add_epi32(dot4(s[0], s[1], coef), bias), 17);
        const __m128i b = _mm_srai_epi32(_mm_add_epi32(dot4(s[2], s[3], coef), bias), 17);
        const __m128i words = _mm_packs_epi32(a, b);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
    };
    plane(kCb, u);
    plane(kCr, v);
}
#endif

} // namespace

std::uint8_t luma(int r, int g, int b) {
    return clampByte((kYr * r + kYg * g + kYb * b + kLumaBias) >> 15);
}

std::uint8_t cbOfSum(int r4, int g4, int b4) {
    return clampByte((kCbR * r4 + kCbG * g4 + kCbB * b4 + kChromaBias) >> 17);
}

std::uint8_t crOfSum(int r4, int g4, int b4) {
    return clampByte((kCrR * r4 + kCrG * g4 + kCrB * b4 + kChromaBias) >> 17);
}

void fromBgra(const std::uint8_t* bgra, std::ptrdiff_t stride, int width, int height,
              const YuvView& out) {
    if (bgra == nullptr || width <= 0 || height <= 0 || out.isNull()) {
        return;
    }
    for (int y = 0; y < height; y += 2) {
        const bool second = y + 1 < height;
        const std::uint8_t* row0 = bgra + static_cast<std::ptrdiff_t>(y) * stride;
        const std::uint8_t* row1 = second ? row0 + stride : row0;
        std::uint8_t* y0 = out.y.row(y);
        std::uint8_t* y1 = second ? out.y.row(y + 1) : y0;
        std::uint8_t* u = out.u.row(y / 2);
        std::uint8_t* v = out.v.row(y / 2);
        int x = 0;
#if defined(__SSE2__)
        for (; x + 16 <= width; x += 16) {
            luma16(row0 + x * 4, y0 + x);
            if (second) {
                luma16(row1 + x * 4, y1 + x);
            }
            chroma8(row0 + x * 4, row1 + x * 4, u + x / 2, v + x / 2);
        }
#endif
        tailRows(row0, row1, x, width, y0, y1, u, v, second);
    }
}

void toBgra(const YuvView& in, int x0, int y0, int w, int h, std::uint8_t* bgra,
            std::ptrdiff_t stride) {
    // Inverse of the matrix above, 16-bit fixed point.
    constexpr int kY = 76309;   // 1.164384
    constexpr int kRv = 117489; // 1.792741
    constexpr int kGu = -13975; // -0.213249
    constexpr int kGv = -34925; // -0.532909
    constexpr int kBu = 138438; // 2.112402
    for (int j = 0; j < h; ++j) {
        const int y = y0 + j;
        const std::uint8_t* ly = in.y.row(y);
        const std::uint8_t* lu = in.u.row(y / 2);
        const std::uint8_t* lv = in.v.row(y / 2);
        std::uint8_t* out = bgra + static_cast<std::ptrdiff_t>(j) * stride;
        for (int i = 0; i < w; ++i) {
            const int x = x0 + i;
            const int c = kY * (ly[x] - 16) + (1 << 15);
            const int cb = lu[x / 2] - 128;
            const int cr = lv[x / 2] - 128;
            out[i * 4 + 0] = clampByte((c + kBu * cb) >> 16);
            out[i * 4 + 1] = clampByte((c + kGu * cb + kGv * cr) >> 16);
            out[i * 4 + 2] = clampByte((c + kRv * cr) >> 16);
            out[i * 4 + 3] = 255;
        }
    }
}

} // namespace orvane::yuv
