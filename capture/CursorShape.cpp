#include "CursorShape.h"

namespace orvane {

namespace {

constexpr std::uint64_t kFnvOffset = 1469598103934665603ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

void mix(std::uint64_t& h, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        h ^= (v >> (i * 8)) & 0xff;
        h *= kFnvPrime;
    }
}

} // namespace

bool isHandCursorName(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "hand1", "hand2", "hand", "pointer", "pointing_hand",
        // Hash aliases of the hand in cursor themes (Adwaita, Breeze, DMZ).
        "e29285e634086352946a0e7090d73106", "9d800788f1b08800ae810202380a0822",
    };
    for (std::string_view n : kNames) {
        if (name == n) {
            return true;
        }
    }
    return false;
}

std::uint64_t cursorShapeHash(int width, int height, const std::vector<bool>& opaque) {
    std::uint64_t h = kFnvOffset;
    mix(h, static_cast<std::uint64_t>(width));
    mix(h, static_cast<std::uint64_t>(height));
    std::uint64_t word = 0;
    int n = 0;
    for (bool bit : opaque) {
        word = (word << 1) | (bit ? 1u : 0u);
        if (++n == 64) {
            mix(h, word);
            word = 0;
            n = 0;
        }
    }
    mix(h, word);
    return h;
}

std::uint64_t cursorShapeHashArgb(int width, int height, const std::uint32_t* argb,
                                  std::size_t stridePixels) {
    std::vector<bool> bits(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = argb + static_cast<std::size_t>(y) * stridePixels;
        for (int x = 0; x < width; ++x) {
            bits[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x)] = (row[x] >> 24) != 0;
        }
    }
    return cursorShapeHash(width, height, bits);
}

bool HandShapeSet::matches(int width, int height, const std::uint32_t* argb,
                           std::size_t stridePixels) const {
    if (width < 1 || height < 1 || argb == nullptr || stridePixels < static_cast<std::size_t>(width)) {
        return false;
    }
    return contains(cursorShapeHashArgb(width, height, argb, stridePixels));
}

} // namespace orvane
