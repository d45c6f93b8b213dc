// Properties over many random segment lists.
#include "timeline/CursorTrack.h"
#include "timeline/Timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace orvane;

namespace {

struct Rng {
    std::mt19937_64 engine;
    explicit Rng(std::uint64_t seed) : engine(seed) {}
    double uniform(double lo, double hi) { return std::uniform_real_distribution<>(lo, hi)(engine); }
    int integer(int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(engine); }
    bool chance(double p) { return uniform(0, 1) < p; }
};

// Any segments at all: overlapping, touching, zero-length and inverted.
std::vector<ZoomEffect> wildSegments(Rng& rng, double duration) {
    std::vector<ZoomEffect> out;
    const int n = rng.integer(0, 12);
    for (int i = 0; i < n; ++i) {
        ZoomEffect z;
        z.id = Uuid::random();
        z.start = rng.uniform(-1, duration + 1);
        switch (rng.integer(0, 3)) {
        case 0: z.end = z.start; break;                              // zero length
        case 1: z.end = z.start - rng.uniform(0, 2); break;          // inverted
        case 2: z.end = z.start + rng.uniform(0, 0.3); break;        // very short
        default: z.end = z.start + rng.uniform(0.3, 6); break;
        }
        if (!out.empty() && rng.chance(0.2)) {
            z.start = out.back().end; // touching
            z.end = z.start + rng.uniform(0.1, 3);
        }
        z.zoom = rng.uniform(1.0, 4);
        z.smooth = rng.uniform(0, 1);
        if (rng.chance(0.3)) {
            z.fx = rng.uniform(-0.5, 1.5);
            z.fy = rng.uniform(-0.5, 1.5);
        }
        out.push_back(z);
    }
    return out;
}

std::vector<CursorSample> wanderingTrack(Rng& rng, double duration) {
    std::vector<CursorSample> track;
    const double a = rng.uniform(0.2, 2);
    const double b = rng.uniform(0.2, 2);
    for (double t = 0; t <= duration; t += 1.0 / 60) {
        track.push_back({t, 0.5 + 0.45 * std::sin(a * t), 0.5 + 0.45 * std::cos(b * t), false});
    }
    return smoothedTrack(track);
}

} // namespace

TEST(TimelineProperties, AnchorsStrictlyIncreasingFourPerSegmentPlusTwo) {
    Rng rng(1234);
    for (int round = 0; round < 500; ++round) {
        const double duration = rng.uniform(0, 30);
        const auto zooms = wildSegments(rng, duration);
        Timeline tl;
        tl.build(zooms, {}, duration, 1.5);
        ASSERT_EQ(tl.anchors.size(), 4 * zooms.size() + 2) << round;
        for (std::size_t i = 1; i < tl.anchors.size(); ++i) {
            ASSERT_LT(tl.anchors[i - 1].t, tl.anchors[i].t) << "round " << round << " i " << i;
        }
        EXPECT_EQ(tl.anchors.front().t, 0);
        EXPECT_GE(tl.anchors.back().t, duration);
    }
}

TEST(TimelineProperties, CameraCentreAlwaysInsideTheFrame) {
    Rng rng(99);
    for (int round = 0; round < 200; ++round) {
        const double duration = rng.uniform(1, 30);
        Timeline tl;
        tl.build(wildSegments(rng, duration), {}, duration, 1.5);
        if (rng.chance(0.5)) {
            std::vector<CursorSample> track = wanderingTrack(rng, duration);
            // Let the raw track leave the area now and then.
            for (auto& s : track) {
                s.x = s.x * 1.6 - 0.3;
            }
            tl.track = std::move(track);
        }
        for (int k = 0; k < 400; ++k) {
            const double t = rng.uniform(-1, duration + 2);
            const CamState s = tl.state(t);
            ASSERT_GT(s.w, 0);
            ASSERT_LE(s.w, 1);
            ASSERT_GE(s.x, s.w / 2 - 1e-12) << round << " t " << t;
            ASSERT_LE(s.x, 1 - s.w / 2 + 1e-12) << round << " t " << t;
            ASSERT_GE(s.y, s.w / 2 - 1e-12);
            ASSERT_LE(s.y, 1 - s.w / 2 + 1e-12);
            const auto f = tl.frame(t);
            ASSERT_GE(f.cx, f.w / 2 - 1e-12);
            ASSERT_LE(f.cx, 1 - f.w / 2 + 1e-12);
        }
    }
}

TEST(TimelineProperties, FlightIsExactAtBothEnds) {
    Rng rng(7);
    for (int round = 0; round < 2000; ++round) {
        const Cam::State a{rng.uniform(0, 1), rng.uniform(0, 1), rng.uniform(0.05, 1)};
        Cam::State b{rng.uniform(0, 1), rng.uniform(0, 1), rng.uniform(0.05, 1)};
        if (rng.chance(0.2)) {
            b.x = a.x; // zoom only
            b.y = a.y;
        }
        const auto f = Cam::flight(a, b);
        const auto s0 = f(0);
        const auto s1 = f(1);
        ASSERT_NEAR(s0.x, a.x, 1e-12);
        ASSERT_NEAR(s0.y, a.y, 1e-12);
        ASSERT_NEAR(s0.w, a.w, 1e-12);
        ASSERT_NEAR(s1.x, b.x, 1e-9) << round;
        ASSERT_NEAR(s1.y, b.y, 1e-9) << round;
        ASSERT_NEAR(s1.w, b.w, 1e-9) << round;
    }
}

TEST(TimelineProperties, StateIsContinuousForSeparatedSegments) {
    Rng rng(2024);
    for (int round = 0; round < 40; ++round) {
        // Segments at least 1.2 s long with a gap between each pair.
        std::vector<ZoomEffect> zooms;
        double t = rng.uniform(0, 1);
        const int n = rng.integer(1, 5);
        for (int i = 0; i < n; ++i) {
            ZoomEffect z;
            z.id = Uuid::random();
            z.start = t;
            z.end = t + rng.uniform(1.2, 5);
            z.zoom = rng.uniform(1.2, 3.2);
            z.smooth = rng.uniform(0, 1);
            if (rng.chance(0.4)) {
                z.fx = rng.uniform(0, 1);
                z.fy = rng.uniform(0, 1);
            }
            zooms.push_back(z);
            t = z.end + rng.uniform(0.05, 2);
        }
        const double duration = t + 1;
        Timeline tl;
        tl.build(zooms, {}, duration, 1.5);
        if (rng.chance(0.5)) {
            tl.track = wanderingTrack(rng, duration);
        }
        CamState prev = tl.state(0);
        for (int ms = 1; ms <= static_cast<int>(duration * 1000); ++ms) {
            const CamState s = tl.state(ms / 1000.0);
            ASSERT_LE(std::abs(s.x - prev.x), 0.02) << "round " << round << " at " << ms << " ms";
            ASSERT_LE(std::abs(s.y - prev.y), 0.02) << "round " << round << " at " << ms << " ms";
            ASSERT_LE(std::abs(s.w - prev.w), 0.02) << "round " << round << " at " << ms << " ms";
            prev = s;
        }
    }
}
