// Background presets, photographs, the preview and thumbnail caches and the
// prepared export background.
#include "render/Background.h"

#include "RenderTestSupport.h"
#include "render/BackgroundCache.h"
#include "render/BackgroundPresets.h"
#include "render/ResourcePaths.h"

#include <QPainter>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

namespace {

// Points ORVANE_RESOURCES somewhere else for the life of the object.
class ResourceOverride {
public:
    explicit ResourceOverride(const QString& dir) { qputenv("ORVANE_RESOURCES", dir.toUtf8()); }
    ~ResourceOverride() { qunsetenv("ORVANE_RESOURCES"); }
    ResourceOverride(const ResourceOverride&) = delete;
    ResourceOverride& operator=(const ResourceOverride&) = delete;
};

// Mean absolute difference between horizontally adjacent pixels (green):
// a measure of how much fine detail a picture has.
double fineDetail(const QImage& img) {
    double sum = 0;
    long n = 0;
    for (int y = 0; y < img.height(); y += 3) {
        for (int x = 1; x < img.width(); ++x) {
            sum += std::abs(qGreen(img.pixel(x, y)) - qGreen(img.pixel(x - 1, y)));
            ++n;
        }
    }
    return sum / double(n);
}

QColor colorOf(const Rgb& c) {
    return QColor::fromRgbF(static_cast<float>(c.r), static_cast<float>(c.g),
                            static_cast<float>(c.b));
}

} // namespace

TEST(BackgroundPresets, IndexRules) {
    for (int b = 0; b < 5; ++b) {
        EXPECT_EQ(backgroundChoice(b), (BackgroundChoice{std::nullopt, b}));
    }
    EXPECT_EQ(backgroundChoice(-3), (BackgroundChoice{std::nullopt, 0}));
    EXPECT_EQ(backgroundChoice(5), (BackgroundChoice{0, 0}));   // obg_01
    EXPECT_EQ(backgroundChoice(31), (BackgroundChoice{26, 0})); // obg_27
    EXPECT_EQ(backgroundChoice(32), (BackgroundChoice{std::nullopt, 0}));
    EXPECT_EQ(backgroundChoice(1000), (BackgroundChoice{std::nullopt, 0}));
    EXPECT_EQ(backgroundImageName(0), QStringLiteral("obg_01.jpg"));
    EXPECT_EQ(backgroundImageName(26), QStringLiteral("obg_27.jpg"));
    EXPECT_DOUBLE_EQ(bgPresets[2].first.r, 0.35);
    EXPECT_DOUBLE_EQ(bgPresets[4].second.g, 0.64);
}

TEST(BackgroundPresets, ShippedPhotographs) {
    ASSERT_FALSE(resourceDir().isEmpty());
    for (int i = 0; i < kBackgroundImageCount; ++i) {
        EXPECT_FALSE(backgroundImagePath(i).isEmpty()) << i;
    }
    EXPECT_TRUE(backgroundImagePath(27).isEmpty());
    EXPECT_TRUE(backgroundImagePath(-1).isEmpty());
    const auto first = bgImage(0);
    ASSERT_TRUE(first.has_value());
    EXPECT_GE(first->width(), 2560);
    EXPECT_GE(first->height(), 1600);
    EXPECT_FALSE(bgImage(27).has_value());
}

TEST(BackgroundCaches, PreviewAndThumbSizes) {
    const auto preview = BGPreviews::shared().image(3);
    ASSERT_TRUE(preview.has_value());
    EXPECT_EQ(std::max(preview->width(), preview->height()), 1600);
    EXPECT_NEAR(double(preview->width()) / preview->height(), 1.6, 0.01);
    // The second call answers from the cache: the very same pixels.
    EXPECT_EQ(BGPreviews::shared().image(3)->cacheKey(), preview->cacheKey());

    const auto thumb = BGThumbs::shared().thumb(3);
    ASSERT_TRUE(thumb.has_value());
    EXPECT_EQ(std::max(thumb->width(), thumb->height()), 140);
    EXPECT_FALSE(BGThumbs::shared().thumb(40).has_value());
}

TEST(BackgroundCaches, MissingFileStoresNothing) {
    ScaledBackgroundCache cache(140);
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    {
        ResourceOverride elsewhere(empty.path());
        EXPECT_FALSE(cache.get(0).has_value());
    }
    // Nothing was stored for the miss: with the resources back, it loads.
    const auto later = cache.get(0);
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ(later->width(), 140);
}

TEST(ExportBackground, FallsBackToTheGradient) {
    // No photograph for 32: gradient preset 0.
    const Background beyond = Background::prepare(32, 0.5, 640);
    EXPECT_FALSE(beyond.isImage());
    EXPECT_DOUBLE_EQ(beyond.gradient().first.r, bgPresets[0].first.r);
    // A gradient index uses its own preset and is never blurred.
    const Background g3 = Background::prepare(3, 1.0, 640);
    EXPECT_FALSE(g3.isImage());
    EXPECT_DOUBLE_EQ(g3.gradient().second.b, bgPresets[3].second.b);
    // A photograph that is missing falls back to preset 0 too.
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    ResourceOverride elsewhere(empty.path());
    const Background missing = Background::prepare(7, 0, 640);
    EXPECT_FALSE(missing.isImage());
    EXPECT_DOUBLE_EQ(missing.gradient().first.b, bgPresets[0].first.b);
}

TEST(ExportBackground, PhotographBlurOnlyAboveThreshold) {
    const Background sharp = Background::prepare(5, 0.001, 640);
    ASSERT_TRUE(sharp.isImage());
    const auto original = bgImage(0);
    ASSERT_TRUE(original.has_value());
    EXPECT_EQ(comparePictures(sharp.image(), *original).maxChannelError, 0);

    const Background soft = Background::prepare(5, 0.2, 640);
    const Background softer = Background::prepare(5, 0.2, 2560); // larger output, wider blur
    ASSERT_TRUE(soft.isImage());
    EXPECT_EQ(soft.image().size(), original->size());
    const double d0 = fineDetail(sharp.image());
    const double d1 = fineDetail(soft.image());
    const double d2 = fineDetail(softer.image());
    EXPECT_LT(d1, d0 * 0.6);
    EXPECT_LT(d2, d1);
}

TEST(ExportBackground, ImageIsAspectFilledAndCentred) {
    // 100 x 100 in 192 x 108 is drawn 192 x 192, overhanging 42 above and below
    // (the 1000 x 1000 in 1920 x 1080 case at a tenth of the size).
    QImage img(100, 100, QImage::Format_RGB32);
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            img.setPixel(x, y, qRgb(0, 0, static_cast<int>(y * 2.55)));
        }
    }
    Background bg = Background::fromImage(img);
    QImage out(192, 108, QImage::Format_RGB32);
    bg.fill(out);
    // Output row y shows image row (y + 42) / 1.92.
    for (const int y : {0, 54, 107}) {
        const double imageRow = (y + 0.5 + 42) / 1.92 - 0.5;
        EXPECT_NEAR(qBlue(out.pixel(96, y)), imageRow * 2.55, 3) << "row " << y;
        EXPECT_EQ(qBlue(out.pixel(0, y)), qBlue(out.pixel(191, y))); // covers the width
    }
}

TEST(ExportBackground, GradientRunsCornerToCorner) {
    Background bg = Background::fromGradient(2);
    QImage out(200, 100, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::black);
    const QImage& cached = bg.fill(out);
    EXPECT_EQ(cached.size(), out.size());
    const QColor first = colorOf(bgPresets[2].first);
    const QColor second = colorOf(bgPresets[2].second);
    const QRgb tl = out.pixel(0, 0);
    const QRgb br = out.pixel(199, 99);
    EXPECT_NEAR(qRed(tl), first.red(), 3);
    EXPECT_NEAR(qBlue(tl), first.blue(), 3);
    EXPECT_NEAR(qRed(br), second.red(), 3);
    EXPECT_NEAR(qGreen(br), second.green(), 3);
    // Halfway along the diagonal, halfway between the colours.
    EXPECT_NEAR(qRed(out.pixel(100, 50)), (first.red() + second.red()) / 2.0, 3);
    EXPECT_EQ(qAlpha(out.pixel(150, 10)), 255);
    // Out-of-range presets clamp to the table.
    EXPECT_DOUBLE_EQ(Background::fromGradient(9).gradient().first.r, bgPresets[4].first.r);
    // An unusable target is left alone.
    QImage wrong(10, 10, QImage::Format_RGB888);
    wrong.fill(Qt::red);
    EXPECT_TRUE(bg.fill(wrong).isNull());
    EXPECT_EQ(wrong.pixel(5, 5), qRgb(255, 0, 0));
}

TEST(ExportBackground, PreviewMatchesTheExport) {
    // The preview's background, made from the 1600-pixel photograph, looks like
    // the export's at the same output size, blurred or not.
    for (const double blur : {0.0, 0.4}) {
        Background exported = Background::prepare(9, blur, 2284);
        Background preview = Background::preparePreview(9, blur, 2284);
        ASSERT_TRUE(exported.isImage());
        ASSERT_TRUE(preview.isImage());
        EXPECT_EQ(preview.image().width(), 1600);
        QImage a(228, 142, QImage::Format_RGB32);
        QImage b(228, 142, QImage::Format_RGB32);
        exported.fill(a);
        preview.fill(b);
        const PictureDiff d = comparePictures(a, b, 6);
        EXPECT_LE(d.maxChannelError, 14) << blur;
        EXPECT_LT(d.differing, 228 * 142 / 100) << blur;
    }
    // And the blur is really there: the fine detail (grain) is gone alike.
    Background sharp = Background::preparePreview(9, 0, 2284);
    Background soft = Background::preparePreview(9, 0.4, 2284);
    Background softExport = Background::prepare(9, 0.4, 2284);
    QImage a(1142, 714, QImage::Format_RGB32);
    QImage b(1142, 714, QImage::Format_RGB32);
    QImage c(1142, 714, QImage::Format_RGB32);
    sharp.fill(a);
    soft.fill(b);
    softExport.fill(c);
    EXPECT_LT(fineDetail(b), fineDetail(a) * 0.7);
    EXPECT_NEAR(fineDetail(b), fineDetail(c), fineDetail(a) * 0.15);
    // Gradients need no photograph.
    EXPECT_FALSE(Background::preparePreview(2, 0.5, 2284).isImage());
}

TEST(ResourcePaths, LookupOrderAndMissingFiles) {
    // The build tree finds the source tree's resources.
    const QString dir = resourceDir();
    ASSERT_FALSE(dir.isEmpty());
    EXPECT_TRUE(QFileInfo(dir + QStringLiteral("/cursors/cursor-arrow.pdf")).isFile());
    EXPECT_EQ(resourcePath(QStringLiteral("cursors/cursor-arrow.pdf")),
              dir + QStringLiteral("/cursors/cursor-arrow.pdf"));
    EXPECT_TRUE(resourcePath(QStringLiteral("cursors/no-such-file.pdf")).isEmpty());
    EXPECT_TRUE(resourcePath(QStringLiteral("cursors")).isEmpty()); // a folder is not a file

    // $ORVANE_RESOURCES comes first when it names a folder...
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    ASSERT_TRUE(QDir(other.path()).mkpath(QStringLiteral("backgrounds")));
    QFile marker(other.filePath(QStringLiteral("backgrounds/obg_02.jpg")));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    {
        ResourceOverride elsewhere(other.path());
        EXPECT_EQ(resourceDir(), QDir(other.path()).absolutePath());
        EXPECT_EQ(backgroundImagePath(1), other.filePath(QStringLiteral("backgrounds/obg_02.jpg")));
        EXPECT_TRUE(backgroundImagePath(0).isEmpty());
        // ... and an empty file there is no picture.
        EXPECT_FALSE(bgImage(1).has_value());
    }
    // ...and is ignored when it names nothing.
    {
        ResourceOverride nowhere(other.filePath(QStringLiteral("missing")));
        EXPECT_EQ(resourceDir(), dir);
    }
}
