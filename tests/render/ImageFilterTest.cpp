// The image-filter module: Gaussian and directional blurs against plain
// reference computations.
#include "render/ImageFilter.h"

#include "RenderTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace orvane;
using namespace orvane::test;

namespace {

// Noise plus structure, so that both fine and coarse detail are present.
QImage noisyScreen(int w, int h, unsigned seed) {
    QImage img = makeScreen(w, h);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-40, 40);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb c = img.pixel(x, y);
            const int n = noise(rng);
            img.setPixel(x, y,
                         qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) - n, 0, 255),
                              std::clamp(qBlue(c) + n / 2, 0, 255)));
        }
    }
    return img;
}

double channel(const QImage& img, int x, int y, int c) {
    x = std::clamp(x, 0, img.width() - 1);
    y = std::clamp(y, 0, img.height() - 1);
    const QRgb p = img.pixel(x, y);
    return c == 0 ? qRed(p) : c == 1 ? qGreen(p) : qBlue(p);
}

// Separable Gaussian in double precision, borders repeated.
QImage referenceGaussian(const QImage& src, double sigma) {
    const int r = static_cast<int>(std::ceil(sigma * 4));
    std::vector<double> k(2 * r + 1);
    double sum = 0;
    for (int i = -r; i <= r; ++i) {
        k[i + r] = std::exp(-0.5 * i * i / (sigma * sigma));
        sum += k[i + r];
    }
    for (double& v : k) {
        v /= sum;
    }
    const int w = src.width();
    const int h = src.height();
    std::vector<double> tmp(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                double acc = 0;
                for (int i = -r; i <= r; ++i) {
                    acc += k[i + r] * channel(src, x + i, y, c);
                }
                tmp[(static_cast<std::size_t>(y) * w + x) * 3 + c] = acc;
            }
        }
    }
    QImage out(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double v[3];
            for (int c = 0; c < 3; ++c) {
                double acc = 0;
                for (int i = -r; i <= r; ++i) {
                    const int yy = std::clamp(y + i, 0, h - 1);
                    acc += k[i + r] * tmp[(static_cast<std::size_t>(yy) * w + x) * 3 + c];
                }
                v[c] = acc;
            }
            out.setPixel(x, y,
                         qRgb(static_cast<int>(std::lround(v[0])),
                              static_cast<int>(std::lround(v[1])),
                              static_cast<int>(std::lround(v[2]))));
        }
    }
    return out;
}

double bilinear(const QImage& img, double x, double y, int c) {
    const int x0 = static_cast<int>(std::floor(x));
    const int y0 = static_cast<int>(std::floor(y));
    const double fx = x - x0;
    const double fy = y - y0;
    return (1 - fx) * (1 - fy) * channel(img, x0, y0, c) +
           fx * (1 - fy) * channel(img, x0 + 1, y0, c) +
           (1 - fx) * fy * channel(img, x0, y0 + 1, c) + fx * fy * channel(img, x0 + 1, y0 + 1, c);
}

// The mean along the segment -radius ... +radius in direction angle (y-up),
// sampled densely, borders repeated.
QImage referenceMotion(const QImage& src, double radius, double angle) {
    const double ux = std::cos(angle);
    const double uy = -std::sin(angle);
    const int samples = static_cast<int>(std::ceil(radius * 8)) + 1;
    QImage out(src.size(), QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        for (int x = 0; x < src.width(); ++x) {
            double v[3] = {0, 0, 0};
            for (int i = 0; i < samples; ++i) {
                const double t = -radius + 2 * radius * (i + 0.5) / samples;
                for (int c = 0; c < 3; ++c) {
                    v[c] += bilinear(src, x + t * ux, y + t * uy, c);
                }
            }
            out.setPixel(x, y,
                         qRgb(static_cast<int>(std::lround(v[0] / samples)),
                              static_cast<int>(std::lround(v[1] / samples)),
                              static_cast<int>(std::lround(v[2] / samples))));
        }
    }
    return out;
}

double meanAbsError(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            for (int c = 0; c < 3; ++c) {
                sum += std::abs(channel(a, x, y, c) - channel(b, x, y, c));
            }
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

double meanLevel(const QImage& img) {
    double sum = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            sum += channel(img, x, y, 0) + channel(img, x, y, 1) + channel(img, x, y, 2);
        }
    }
    return sum / (3.0 * img.width() * img.height());
}

} // namespace

TEST(GaussianBlur, MatchesReferenceDirectAndReduced) {
    const QImage src = noisyScreen(160, 100, 1);
    // Direct path (small sigma).
    QImage small = src;
    ASSERT_TRUE(gaussianBlur(small, 2.0));
    EXPECT_LE(comparePictures(small, referenceGaussian(src, 2.0)).maxChannelError, 2);
    // Reduced path (large sigma): close to the exact blur, and clearly closer
    // than a blur of a different width would be.
    // (On a picture without pixel noise: replicated noisy border pixels weigh so
    // much in a wide blur that the reduction's averaging of them shows.)
    const QImage screen = makeScreen(160, 100);
    QImage wide = screen;
    ASSERT_TRUE(gaussianBlur(wide, 12.0));
    const double errRight = meanAbsError(wide, referenceGaussian(screen, 12.0));
    const double errWrong = meanAbsError(wide, referenceGaussian(screen, 16.0));
    EXPECT_LT(errRight, 1.0);
    EXPECT_GT(errWrong, 2 * errRight);
    EXPECT_LE(comparePictures(wide, referenceGaussian(screen, 12.0)).maxChannelError, 12);
}

TEST(GaussianBlur, EdgesFlatAndBadInput) {
    // A flat picture stays flat: no darkening at the borders.
    QImage flat(64, 40, QImage::Format_ARGB32_Premultiplied);
    flat.fill(qRgb(90, 160, 30));
    ASSERT_TRUE(gaussianBlur(flat, 30));
    QImage ref(64, 40, QImage::Format_ARGB32_Premultiplied);
    ref.fill(qRgb(90, 160, 30));
    EXPECT_LE(comparePictures(flat, ref).maxChannelError, 1);
    // sigma 0 or NaN: untouched.
    const QImage src = noisyScreen(40, 30, 2);
    QImage same = src;
    ASSERT_TRUE(gaussianBlur(same, 0));
    ASSERT_TRUE(gaussianBlur(same, std::nan("")));
    EXPECT_EQ(comparePictures(same, src).maxChannelError, 0);
    // Formats other than 32-bit ones are refused and left alone.
    QImage rgb888 = src.convertToFormat(QImage::Format_RGB888);
    const QImage before = rgb888;
    EXPECT_FALSE(gaussianBlur(rgb888, 3));
    EXPECT_EQ(rgb888, before);
}

TEST(MotionBlur, TapDoublingMatchesTheSegmentMean) {
    // The default method. Its taps sit on whole pixels and are only nearly
    // even, so it departs from the exact mean a little on sharp edges; a blur
    // in the wrong direction or of the wrong length departs by far more.
    const QImage src = makeScreen(96, 60);
    MotionBlur blur;
    QImage out;
    for (const double angle : {0.0, 0.5, 1.5707963267948966, 2.4, -2.0}) {
        for (const double radius : {3.0, 7.5}) {
            ASSERT_TRUE(blur.apply(src, out, radius, angle));
            const double err = meanAbsError(out, referenceMotion(src, radius, angle));
            const double errAcross =
                meanAbsError(out, referenceMotion(src, radius, angle + 1.5707963267948966));
            const double errLonger = meanAbsError(out, referenceMotion(src, radius * 1.6, angle));
            EXPECT_LT(err, 7.5) << "angle " << angle << " radius " << radius;
            EXPECT_GT(errAcross, 2 * err) << "angle " << angle << " radius " << radius;
            EXPECT_GT(errLonger, 1.5 * err) << "angle " << angle << " radius " << radius;
        }
    }
}

TEST(MotionBlur, LineKernelMatchesTheSegmentMean) {
    const QImage src = noisyScreen(120, 80, 4);
    MotionBlur blur;
    QImage out;
    ASSERT_TRUE(blur.apply(src, out, 6.0, 0.7, MotionBlur::Method::LineKernel));
    EXPECT_LT(meanAbsError(out, referenceMotion(src, 6.0, 0.7)), 1.0);
}

TEST(MotionBlur, KeepsBrightnessAndDirection) {
    // Noise inside a flat frame wider than the blur: every tap stays on the
    // picture's own pixels, so the mean level must stay put. Rounding up and
    // down alternate between passes, so no drift creeps in.
    QImage src(200, 120, QImage::Format_RGB32);
    src.fill(qRgb(128, 128, 128));
    const QImage noise = noisyScreen(100, 40, 5);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 100; ++x) {
            src.setPixel(50 + x, 40 + y, noise.pixel(x, y));
        }
    }
    MotionBlur blur;
    QImage out;
    for (const double angle : {0.3, 2.0, -1.2}) {
        ASSERT_TRUE(blur.apply(src, out, 25, angle));
        EXPECT_NEAR(meanLevel(out), meanLevel(src), 0.15) << angle;
    }

    // Horizontal stripes blurred horizontally do not change at all.
    QImage stripes(64, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            stripes.setPixel(x, y, (y / 3) % 2 ? qRgb(250, 10, 10) : qRgb(5, 5, 200));
        }
    }
    ASSERT_TRUE(blur.apply(stripes, out, 10, 0));
    EXPECT_EQ(comparePictures(out, stripes).maxChannelError, 0);
    // Blurred vertically they smear into each other.
    ASSERT_TRUE(blur.apply(stripes, out, 10, 1.5707963267948966));
    EXPECT_GT(comparePictures(out, stripes).maxChannelError, 60);
}

TEST(MotionBlur, SmallRadiusCopiesAndBadInput) {
    const QImage src = noisyScreen(50, 30, 6);
    MotionBlur blur;
    QImage out(5, 5, QImage::Format_RGB888); // wrong size and format: replaced
    ASSERT_TRUE(blur.apply(src, out, 0.3, 1.0));
    EXPECT_EQ(out.size(), src.size());
    EXPECT_EQ(comparePictures(out, src).maxChannelError, 0);
    ASSERT_TRUE(blur.apply(src, out, 5, std::nan("")));
    EXPECT_EQ(comparePictures(out, src).maxChannelError, 0);
    EXPECT_FALSE(blur.apply(QImage(), out, 5, 0));
    EXPECT_FALSE(blur.apply(src.convertToFormat(QImage::Format_Grayscale8), out, 5, 0));
    // A one-pixel frame survives any radius.
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(qRgb(1, 2, 3));
    ASSERT_TRUE(blur.apply(dot, out, 40, 0.8));
    EXPECT_EQ(out.pixel(0, 0), qRgb(1, 2, 3));
}
