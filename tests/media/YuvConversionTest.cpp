// BGRA <-> I420 conversion: the BT.709 limited-range numbers, the vector path
// against the per-pixel formulas, odd sizes and the round trip.
#include "media/YuvConversion.h"
#include "media/YuvImage.h"

#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace orvane;

namespace {

struct Bgra {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;

    Bgra(int w, int h) : width(w), height(h), bytes(static_cast<std::size_t>(w) * h * 4, 255) {}
    std::uint8_t* at(int x, int y) { return bytes.data() + (static_cast<std::size_t>(y) * width + x) * 4; }
    std::ptrdiff_t stride() const { return static_cast<std::ptrdiff_t>(width) * 4; }
};

Bgra solid(int w, int h, int r, int g, int b) {
    Bgra img(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = img.at(x, y);
            p[0] = static_cast<std::uint8_t>(b);
            p[1] = static_cast<std::uint8_t>(g);
            p[2] = static_cast<std::uint8_t>(r);
        }
    }
    return img;
}

Bgra noise(int w, int h, unsigned seed) {
    Bgra img(w, h);
    std::mt19937 rng(seed);
    for (auto& byte : img.bytes) {
        byte = static_cast<std::uint8_t>(rng());
    }
    return img;
}

} // namespace

TEST(YuvConversion, KnownColoursGetTheirBt709LimitedRangeValues) {
    struct Case {
        int r, g, b;
        int y, u, v;
    };
    // Reference values of BT.709 limited range, rounded.
    for (const Case& c : {Case{255, 255, 255, 235, 128, 128}, Case{0, 0, 0, 16, 128, 128},
                          Case{255, 0, 0, 63, 102, 240}, Case{0, 255, 0, 173, 42, 26},
                          Case{0, 0, 255, 32, 240, 118}, Case{128, 128, 128, 126, 128, 128}}) {
        const Bgra img = solid(32, 4, c.r, c.g, c.b);
        YuvImage out(32, 4);
        yuv::fromBgra(img.bytes.data(), img.stride(), 32, 4, out.view());
        const YuvView v = out.view();
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 32; ++x) {
                ASSERT_EQ(v.y.row(y)[x], c.y) << c.r << "," << c.g << "," << c.b << " at " << x;
            }
        }
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(v.u.row(0)[x], c.u) << c.r << "," << c.g << "," << c.b;
            EXPECT_EQ(v.v.row(1)[x], c.v) << c.r << "," << c.g << "," << c.b;
        }
    }
}

TEST(YuvConversion, VectorPathMatchesThePerPixelFormulasAtEverySize) {
    // Widths with and without a tail past the 16-pixel blocks, odd heights.
    for (const auto& [w, h] : {std::pair{64, 8}, {37, 5}, {16, 1}, {1, 1}, {15, 3}, {50, 7}}) {
        Bgra img = noise(w, h, static_cast<unsigned>(w * 31 + h));
        YuvImage out(w, h);
        const YuvView v = out.view();
        yuv::fromBgra(img.bytes.data(), img.stride(), w, h, v);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = img.at(x, y);
                ASSERT_EQ(v.y.row(y)[x], yuv::luma(p[2], p[1], p[0])) << w << "x" << h << " " << x << "," << y;
            }
        }
        for (int cy = 0; cy < chromaSize(h); ++cy) {
            for (int cx = 0; cx < chromaSize(w); ++cx) {
                int r = 0, g = 0, b = 0;
                for (int dy = 0; dy < 2; ++dy) {
                    for (int dx = 0; dx < 2; ++dx) {
                        // An odd last column or row counts twice.
                        const std::uint8_t* p = img.at(std::min(cx * 2 + dx, w - 1), std::min(cy * 2 + dy, h - 1));
                        b += p[0];
                        g += p[1];
                        r += p[2];
                    }
                }
                ASSERT_EQ(v.u.row(cy)[cx], yuv::cbOfSum(r, g, b)) << w << "x" << h << " " << cx << "," << cy;
                ASSERT_EQ(v.v.row(cy)[cx], yuv::crOfSum(r, g, b)) << w << "x" << h << " " << cx << "," << cy;
            }
        }
    }
}

TEST(YuvConversion, RoundTripKeepsColoursWithinRounding) {
    // Flat 2 x 2 blocks lose nothing to chroma subsampling.
    Bgra img(48, 6);
    std::mt19937 rng(7);
    for (int y = 0; y < 6; y += 2) {
        for (int x = 0; x < 48; x += 2) {
            const auto r = static_cast<std::uint8_t>(rng()), g = static_cast<std::uint8_t>(rng()),
                       b = static_cast<std::uint8_t>(rng());
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    std::uint8_t* p = img.at(x + dx, y + dy);
                    p[0] = b;
                    p[1] = g;
                    p[2] = r;
                }
            }
        }
    }
    YuvImage yuv(48, 6);
    yuv::fromBgra(img.bytes.data(), img.stride(), 48, 6, yuv.view());
    Bgra back(48, 6);
    yuv::toBgra(yuv.view(), 0, 0, 48, 6, back.bytes.data(), back.stride());
    int worst = 0;
    for (std::size_t i = 0; i < img.bytes.size(); ++i) {
        if (i % 4 == 3) {
            EXPECT_EQ(back.bytes[i], 255);
            continue;
        }
        worst = std::max(worst, std::abs(int(img.bytes[i]) - int(back.bytes[i])));
    }
    // Limited range has fewer levels than full range, and saturated colours
    // can leave the gamut by a little: a few levels at most.
    EXPECT_LE(worst, 4);

    // A region converts exactly like the same pixels of the whole picture.
    Bgra part(10, 3);
    yuv::toBgra(yuv.view(), 5, 2, 10, 3, part.bytes.data(), part.stride());
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 10; ++x) {
            for (int c = 0; c < 4; ++c) {
                ASSERT_EQ(part.at(x, y)[c], back.at(x + 5, y + 2)[c]);
            }
        }
    }
}

TEST(YuvImage, StartsBlackAndLaysOutChromaAtHalfSizeRoundedUp) {
    YuvImage img(7, 5);
    const YuvView v = img.view();
    EXPECT_EQ(v.u.width, 4);
    EXPECT_EQ(v.u.height, 3);
    EXPECT_GE(v.y.stride, 7 + 32);
    EXPECT_EQ(v.y.row(4)[6], 16);
    EXPECT_EQ(v.u.row(2)[3], 128);
    EXPECT_EQ(v.v.row(2)[3], 128);
    EXPECT_TRUE(YuvImage(0, 5).isNull());
    EXPECT_TRUE(YuvImage().view().isNull());
}
