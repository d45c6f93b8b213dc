// Bilinear resampling of one plane: the vector path against the per-sample
// reference, positions, edges and the area it may write.
#include "render/PlaneScaler.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace orvane;

namespace {

struct OwnedPlane {
    std::vector<std::uint8_t> bytes;
    Plane plane;

    OwnedPlane(int w, int h, std::uint8_t fill = 0) {
        const std::ptrdiff_t stride = w + 40;
        bytes.assign(static_cast<std::size_t>(stride) * h + 64, fill);
        plane = {bytes.data(), stride, w, h};
    }
    std::uint8_t at(int x, int y) const { return plane.row(y)[x]; }
};

OwnedPlane noise(int w, int h, unsigned seed) {
    OwnedPlane p(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            p.plane.row(y)[x] = static_cast<std::uint8_t>(rng());
        }
    }
    return p;
}

} // namespace

TEST(PlaneScaler, VectorPathMatchesTheReferenceByteForByte) {
    if (!PlaneScaler::hasVectorPath()) {
        GTEST_SKIP() << "no SSSE3 on this processor: scale() is the reference itself";
    }
    const OwnedPlane src = noise(301, 187, 11);
    // Upscales like a zoom, the export's usual slight enlargement, the
    // downscale of an oversized recording and one so strong that groups of 8
    // samples no longer fit one load (the per-sample fallback inside scale()).
    for (const PlaneMapping& map :
         {PlaneMapping{1.0713, 1.0713, 37.25, 12.6}, PlaneMapping{2.37, 2.37, -180.4, -90.1},
          PlaneMapping{0.84, 0.84, 3.3, 1.9}, PlaneMapping{0.3, 0.31, 10, 10},
          PlaneMapping{1, 1, 0, 0}, PlaneMapping{1.5, 1.2, 0.5, -0.25}}) {
        OwnedPlane a(347, 211, 7);
        OwnedPlane b(347, 211, 7);
        const QRect area(3, 5, 333, 199);
        PlaneScaler fast;
        PlaneScaler slow;
        fast.scale(src.plane, a.plane, area, map);
        slow.scaleReference(src.plane, b.plane, area, map);
        ASSERT_EQ(a.bytes, b.bytes) << "scale " << map.scaleX;
    }
}

TEST(PlaneScaler, IdentityCopiesAndPositionsFollowTheMapping) {
    const OwnedPlane src = noise(64, 40, 3);
    OwnedPlane out(64, 40);
    PlaneScaler scaler;
    scaler.scale(src.plane, out.plane, QRect(0, 0, 64, 40), PlaneMapping{});
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 64; ++x) {
            ASSERT_EQ(out.at(x, y), src.at(x, y));
        }
    }

    // A horizontal ramp of 2 levels per sample, doubled in size and moved by
    // (10, 4): destination x shows source (x + 0.5 - 10) / 2 - 0.5.
    OwnedPlane ramp(100, 20);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 100; ++x) {
            ramp.plane.row(y)[x] = static_cast<std::uint8_t>(20 + 2 * x);
        }
    }
    OwnedPlane big(200, 40);
    scaler.scale(ramp.plane, big.plane, QRect(0, 0, 200, 40), PlaneMapping{2, 2, 10, 4});
    for (const int x : {30, 61, 100, 151}) {
        const double sx = (x + 0.5 - 10) / 2 - 0.5;
        EXPECT_NEAR(big.at(x, 20), 20 + 2 * sx, 1.0) << x;
    }
    // Left of the source the edge sample repeats.
    EXPECT_EQ(big.at(2, 20), 20);
}

TEST(PlaneScaler, WritesOnlyInsideTheAreaAndIgnoresUnusableMappings) {
    const OwnedPlane src = noise(50, 30, 5);
    OwnedPlane out(80, 60, 99);
    PlaneScaler scaler;
    const QRect area(10, 20, 30, 15);
    scaler.scale(src.plane, out.plane, area, PlaneMapping{1.3, 1.3, 5, 5});
    int inside = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 80; ++x) {
            if (area.contains(x, y)) {
                inside += out.at(x, y) != 99 ? 1 : 0;
            } else {
                ASSERT_EQ(out.at(x, y), 99) << x << "," << y;
            }
        }
    }
    EXPECT_GT(inside, 400);

    // An area past the destination is clipped; NaN or zero scales do nothing.
    OwnedPlane clipped(40, 40, 99);
    scaler.scale(src.plane, clipped.plane, QRect(30, 30, 100, 100), PlaneMapping{1, 1, 0, 0});
    EXPECT_EQ(clipped.bytes[clipped.bytes.size() - 1], 99); // the padding after the last row
    OwnedPlane untouched(40, 40, 99);
    for (const PlaneMapping& bad : {PlaneMapping{0, 1, 0, 0}, PlaneMapping{NAN, 1, 0, 0},
                                    PlaneMapping{1, 1, INFINITY, 0}}) {
        scaler.scale(src.plane, untouched.plane, QRect(0, 0, 40, 40), bad);
    }
    for (const std::uint8_t v : untouched.bytes) {
        ASSERT_EQ(v, 99);
    }
}
