// The pieces every capture backend shares: the frame fitter, the frame pacer
// and the cursor-shape test.
#include "capture/CursorShape.h"
#include "capture/FrameFitter.h"
#include "capture/FramePacer.h"
#include "capture/HostClock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

using namespace orvane;

namespace {

std::vector<std::uint8_t> solid(int w, int h, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h * 4);
    for (std::size_t i = 0; i < px.size(); i += 4) {
        px[i] = b;
        px[i + 1] = g;
        px[i + 2] = r;
        px[i + 3] = 255;
    }
    return px;
}

const std::uint8_t* pixel(const FrameFitter::Image& img, int x, int y) {
    return img.pixels + static_cast<std::ptrdiff_t>(y) * img.stride + x * 4;
}

// A small arrow and a small hand, as premultiplied ARGB words.
std::vector<std::uint32_t> shape(int w, int h, bool hand, std::uint32_t colour) {
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool on = hand ? (x >= w / 3 && x < 2 * w / 3) || y > h / 2 : x <= y;
            if (on) {
                px[static_cast<std::size_t>(y) * w + x] = colour;
            }
        }
    }
    return px;
}

} // namespace

TEST(FrameFitterTest, TheConfiguredSizePassesThroughUntouched) {
    FrameFitter fitter(64, 40);
    auto src = solid(64, 40, 10, 20, 30);
    const auto img = fitter.fit(src.data(), 64, 40, 64 * 4);
    EXPECT_EQ(img.pixels, src.data()); // no copy
    EXPECT_EQ(img.stride, 64 * 4);
}

TEST(FrameFitterTest, AnotherShapeIsFittedAndCentredOnBlack) {
    FrameFitter fitter(64, 40);
    // A square source in a 64 x 40 frame: 40 x 40, centred, black beside it.
    auto src = solid(100, 100, 0, 0, 200);
    const auto img = fitter.fit(src.data(), 100, 100, 100 * 4);
    ASSERT_EQ(img.stride, 64 * 4);
    EXPECT_EQ(pixel(img, 0, 20)[2], 0);    // left border: black
    EXPECT_EQ(pixel(img, 0, 20)[3], 255);  // opaque
    EXPECT_EQ(pixel(img, 63, 20)[2], 0);   // right border
    EXPECT_NEAR(pixel(img, 32, 20)[2], 200, 2); // the picture in the middle
    EXPECT_NEAR(pixel(img, 12, 0)[2], 200, 2);  // it spans the full height
    EXPECT_EQ(pixel(img, 11, 20)[2], 0);        // and starts at x = 12
}

TEST(FrameFitterTest, NearlyTheSameShapeFillsTheFrame) {
    FrameFitter fitter(64, 40);
    auto src = solid(65, 41, 0, 150, 0); // a side rounded down to even
    const auto img = fitter.fit(src.data(), 65, 41, 65 * 4);
    EXPECT_NEAR(pixel(img, 0, 0)[1], 150, 2);
    EXPECT_NEAR(pixel(img, 63, 39)[1], 150, 2);
}

TEST(FramePacerTest, HoldsTheRateAndDoesNotBunchAfterAStall) {
    FramePacer pacer(60);
    EXPECT_EQ(pacer.period(), 16'666'667);
    const double start = hostTime();
    for (int i = 0; i < 30; ++i) {
        pacer.wait();
    }
    const double thirty = hostTime() - start;
    EXPECT_GE(thirty, 0.49);
    EXPECT_LT(thirty, 0.75); // generous: a busy machine may be late, never early

    // A pass that takes 100 ms (six periods) does not make the next waits
    // return at once to catch up.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pacer.wait(); // the late deadline: at once
    const double afterStall = hostTime();
    pacer.wait();
    pacer.wait();
    EXPECT_GE(hostTime() - afterStall, 0.030);

    EXPECT_EQ(FramePacer(500).period(), 16'666'667); // at most 60 per second
    EXPECT_EQ(FramePacer(0).period(), 1'000'000'000); // at least 1
}

TEST(CursorShapeTest, NamesOfThePointingHand) {
    for (const char* name : {"hand1", "hand2", "hand", "pointer", "pointing_hand",
                             "e29285e634086352946a0e7090d73106"}) {
        EXPECT_TRUE(isHandCursorName(name)) << name;
    }
    for (const char* name : {"left_ptr", "default", "text", "", "Hand2", "pointer "}) {
        EXPECT_FALSE(isHandCursorName(name)) << name;
    }
}

TEST(CursorShapeTest, ShapesMatchWhateverTheirColourAndStride) {
    const auto hand = shape(16, 20, true, 0xff000000);
    const auto arrow = shape(16, 20, false, 0xff000000);
    HandShapeSet hands;
    hands.add(cursorShapeHashArgb(16, 20, hand.data(), 16));
    EXPECT_EQ(hands.size(), 1u);

    EXPECT_TRUE(hands.matches(16, 20, hand.data(), 16));
    EXPECT_FALSE(hands.matches(16, 20, arrow.data(), 16));
    // The same hand in white with soft edges (alpha only partly set) is the
    // same shape.
    const auto whiteHand = shape(16, 20, true, 0x40404040);
    EXPECT_TRUE(hands.matches(16, 20, whiteHand.data(), 16));
    // The same pixels read as another size are another shape.
    EXPECT_FALSE(hands.matches(20, 16, hand.data(), 20));

    // Rows with padding (a stride of 24 pixels) read the same shape.
    std::vector<std::uint32_t> padded(24 * 20, 0xff00ff00);
    for (int y = 0; y < 20; ++y) {
        std::memcpy(&padded[static_cast<std::size_t>(y) * 24], &hand[static_cast<std::size_t>(y) * 16],
                    16 * sizeof(std::uint32_t));
    }
    EXPECT_TRUE(hands.matches(16, 20, padded.data(), 24));
    EXPECT_FALSE(hands.matches(16, 20, padded.data(), 8)); // a stride shorter than a row
    EXPECT_FALSE(hands.matches(0, 20, hand.data(), 16));
    EXPECT_FALSE(hands.matches(16, 20, nullptr, 16));
}
