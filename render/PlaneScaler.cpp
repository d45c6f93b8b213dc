#include "render/PlaneScaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#include <tmmintrin.h>
#define ORVANE_HAS_X86 1
#endif

namespace orvane {

namespace {

constexpr int kRowSlack = 32; // bytes read past the blended row's last sample

// Blends two source rows: (a x (256 - f) + b x f + 128) >> 8 for f in 0...255.
void blendRows(const std::uint8_t* a, const std::uint8_t* b, int f, std::uint8_t* out, int from,
               int to) {
    int x = from;
    if (f == 0) {
        std::memcpy(out + from, a + from, static_cast<std::size_t>(to - from));
        return;
    }
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i wa = _mm_set1_epi16(static_cast<short>(256 - f));
    const __m128i wb = _mm_set1_epi16(static_cast<short>(f));
    const __m128i round = _mm_set1_epi16(128);
    for (; x + 16 <= to; x += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        // Sums stay below 65536, so unsigned 16-bit lanes hold them.
        const __m128i lo = _mm_srli_epi16(
            _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), wa),
                                        _mm_mullo_epi16(_mm_unpacklo_epi8(vb, zero), wb)),
                          round),
            8);
        const __m128i hi = _mm_srli_epi16(
            _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), wa),
                                        _mm_mullo_epi16(_mm_unpackhi_epi8(vb, zero), wb)),
                          round),
            8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < to; ++x) {
        out[x] = static_cast<std::uint8_t>((a[x] * (256 - f) + b[x] * f + 128) >> 8);
    }
}

inline std::uint8_t lerp64(const std::uint8_t* row, int i, int w) {
    return static_cast<std::uint8_t>((row[i] * (64 - w) + row[i + 1] * w + 32) >> 6);
}

#if defined(ORVANE_HAS_X86)
// Eight destination samples from one 16-byte load: the shuffle lays out the
// pairs (a0, b0, a1, b1, ...) and the multiply-add weighs each pair.
__attribute__((target("ssse3"))) void gatherRow(const std::uint8_t* row, const int* base,
                                                const std::uint8_t* shuffles,
                                                const std::uint8_t* weights,
                                                const std::uint8_t* gathered, int groups,
                                                std::uint8_t* out) {
    const __m128i round = _mm_set1_epi16(32);
    for (int g = 0; g < groups; ++g) {
        if (gathered[g] == 0) {
            continue; // done by the caller's per-sample loop
        }
        const __m128i src = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + base[g * 8]));
        const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(shuffles + g * 16));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + g * 16));
        const __m128i pairs = _mm_shuffle_epi8(src, mask);
        const __m128i sum = _mm_srli_epi16(_mm_add_epi16(_mm_maddubs_epi16(pairs, w), round), 6);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + g * 8), _mm_packus_epi16(sum, sum));
    }
}
#endif

bool detectSsse3() {
#if defined(ORVANE_HAS_X86)
    return __builtin_cpu_supports("ssse3") != 0;
#else
    return false;
#endif
}

} // namespace

bool PlaneScaler::hasVectorPath() {
    static const bool has = detectSsse3();
    return has;
}

void PlaneScaler::scale(const Plane& src, const Plane& dst, const QRect& area,
                        const PlaneMapping& map) {
    run(src, dst, area, map, hasVectorPath());
}

void PlaneScaler::scaleReference(const Plane& src, const Plane& dst, const QRect& area,
                                 const PlaneMapping& map) {
    run(src, dst, area, map, false);
}

void PlaneScaler::run(const Plane& src, const Plane& dst, const QRect& area,
                      const PlaneMapping& map, bool vector) {
    const QRect box = area.intersected(QRect(0, 0, dst.width, dst.height));
    if (box.isEmpty() || src.data == nullptr || src.width <= 0 || src.height <= 0 ||
        !(std::isfinite(map.scaleX) && map.scaleX > 0) ||
        !(std::isfinite(map.scaleY) && map.scaleY > 0) || !std::isfinite(map.offsetX) ||
        !std::isfinite(map.offsetY)) {
        return;
    }
    const int w = box.width();
    // Column tables: the source position of each destination sample's centre.
    xIndex_.resize(static_cast<std::size_t>(w) + 8);
    xWeight_.resize(static_cast<std::size_t>(w) + 8);
    const double lastX = src.width - 1;
    for (int i = 0; i < w; ++i) {
        const double sx = std::clamp((box.left() + i + 0.5 - map.offsetX) / map.scaleX - 0.5, 0.0, lastX);
        int index = static_cast<int>(sx);
        int weight = static_cast<int>(std::lround((sx - index) * 64));
        if (weight == 64) {
            ++index;
            weight = 0;
        }
        xIndex_[static_cast<std::size_t>(i)] = std::min(index, src.width - 1);
        xWeight_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(weight);
    }
    const int from = xIndex_[0];
    const int to = xIndex_[static_cast<std::size_t>(w) - 1] + 1; // inclusive of the pair's second
    // The blended row holds source columns from...to; the extra sample past the
    // last column repeats it, and the slack keeps the 16-byte loads inside.
    row_.assign(static_cast<std::size_t>(src.width) + 1 + kRowSlack, 0);

    const int groups = vector ? w / 8 : 0;
#if defined(ORVANE_HAS_X86)
    if (groups > 0) {
        shuffle_.resize(static_cast<std::size_t>(groups) * 16);
        weights_.resize(static_cast<std::size_t>(groups) * 16);
        gathered_.resize(static_cast<std::size_t>(groups));
        for (int g = 0; g < groups; ++g) {
            const int base = xIndex_[static_cast<std::size_t>(g) * 8];
            const int span = xIndex_[static_cast<std::size_t>(g) * 8 + 7] + 1 - base;
            gathered_[static_cast<std::size_t>(g)] = span < 16 ? 1 : 0;
            for (int k = 0; k < 8; ++k) {
                const auto i = static_cast<std::size_t>(g) * 8 + static_cast<std::size_t>(k);
                const int rel = std::min(xIndex_[i] - base, 14);
                shuffle_[static_cast<std::size_t>(g) * 16 + k * 2] = static_cast<std::uint8_t>(rel);
                shuffle_[static_cast<std::size_t>(g) * 16 + k * 2 + 1] = static_cast<std::uint8_t>(rel + 1);
                weights_[static_cast<std::size_t>(g) * 16 + k * 2] = static_cast<std::uint8_t>(64 - xWeight_[i]);
                weights_[static_cast<std::size_t>(g) * 16 + k * 2 + 1] = xWeight_[i];
            }
        }
    }
#endif

    const double lastY = src.height - 1;
    for (int j = 0; j < box.height(); ++j) {
        const int y = box.top() + j;
        const double sy = std::clamp((y + 0.5 - map.offsetY) / map.scaleY - 0.5, 0.0, lastY);
        int index = static_cast<int>(sy);
        int f = static_cast<int>(std::lround((sy - index) * 256));
        if (f == 256) {
            ++index;
            f = 0;
        }
        index = std::min(index, src.height - 1);
        const std::uint8_t* a = src.row(index);
        const std::uint8_t* b = src.row(std::min(index + 1, src.height - 1));
        std::uint8_t* blended = row_.data();
        blendRows(a, b, f, blended, from, std::min(to + 1, src.width));
        if (to >= src.width) {
            blended[src.width] = blended[src.width - 1];
        }

        std::uint8_t* out = dst.row(y) + box.left();
        int done = 0;
#if defined(ORVANE_HAS_X86)
        if (groups > 0) {
            gatherRow(blended, xIndex_.data(), shuffle_.data(), weights_.data(), gathered_.data(),
                      groups, out);
            for (int g = 0; g < groups; ++g) {
                if (gathered_[static_cast<std::size_t>(g)] == 0) {
                    for (int i = g * 8; i < g * 8 + 8; ++i) {
                        out[i] = lerp64(blended, xIndex_[static_cast<std::size_t>(i)],
                                        xWeight_[static_cast<std::size_t>(i)]);
                    }
                }
            }
            done = groups * 8;
        }
#endif
        for (int i = done; i < w; ++i) {
            out[i] = lerp64(blended, xIndex_[static_cast<std::size_t>(i)],
                            xWeight_[static_cast<std::size_t>(i)]);
        }
    }
}

} // namespace orvane
