#include "ui/Symbols.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace orvane::ui;

// The names the window's texts refer to.
const QStringList kWindowSymbols = {
    "play.fill",       "pause.fill",      "arrow.counterclockwise",
    "arrow.clockwise", "keyboard",        "record.circle",
    "stop.fill",       "trash",           "rectangle.dashed",
    "rectangle.dashed.badge.record",      "rectangle",
    "square",          "rectangle.portrait", "film",
    "magnifyingglass", "plus",            "checkmark.circle.fill",
    "circle",          "xmark",           "ellipsis.circle",
    "square.and.arrow.up"};

struct Coverage {
    int opaque = 0;      // alpha above 128
    int clear = 0;       // alpha 0
    int lightOpaque = 0; // opaque and light enough to read on a dark background
};

Coverage coverageOf(const QImage& image) {
    Coverage c;
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QColor px = QColor::fromRgba(img.pixel(x, y));
            if (px.alpha() == 0) {
                ++c.clear;
            } else if (px.alpha() > 128) {
                ++c.opaque;
                c.lightOpaque += px.lightness() > 180 ? 1 : 0;
            }
        }
    }
    return c;
}

TEST(Symbols, TheSetHoldsExactlyTheWindowsNames) {
    const auto& names = symbolNames();
    EXPECT_EQ(std::set<QString>(names.begin(), names.end()),
              std::set<QString>(kWindowSymbols.begin(), kWindowSymbols.end()));
    EXPECT_EQ(names.size(), kWindowSymbols.size());
}

TEST(Symbols, EveryIconLoadsAndDrawsLightShapesOnTransparent) {
    for (const QString& name : kWindowSymbols) {
        SCOPED_TRACE(name.toStdString());
        const QString path = symbolPath(name);
        ASSERT_FALSE(path.isEmpty());
        EXPECT_TRUE(path.endsWith("icons/" + name + ".svg")) << path.toStdString();
        const QIcon icon = symbol(name);
        ASSERT_FALSE(icon.isNull());
        const QImage image = icon.pixmap(48, 48).toImage();
        ASSERT_EQ(image.size(), QSize(48, 48));
        const Coverage c = coverageOf(image);
        // Something is drawn, it is light, and it leaves the rest see-through.
        EXPECT_GT(c.opaque, 48 * 48 / 50) << "too little drawn";
        EXPECT_GT(c.lightOpaque, c.opaque * 9 / 10) << "shapes are not light";
        EXPECT_GT(c.clear, 48 * 48 / 4) << "background is not transparent";
    }
}

TEST(Symbols, PixmapsRenderAtTheAskedSizeAndPixelRatio) {
    for (const QString& name : kWindowSymbols) {
        SCOPED_TRACE(name.toStdString());
        const QPixmap pm = symbolPixmap(name, 20, 2.0);
        ASSERT_FALSE(pm.isNull());
        EXPECT_EQ(pm.size(), QSize(40, 40));
        EXPECT_DOUBLE_EQ(pm.devicePixelRatio(), 2.0);
        const Coverage c = coverageOf(pm.toImage());
        EXPECT_GT(c.opaque, 40 * 40 / 50);
        EXPECT_GT(c.clear, 40 * 40 / 4);
    }
}

TEST(Symbols, NoTwoSymbolsLookAlike) {
    std::set<QByteArray> seen;
    for (const QString& name : kWindowSymbols) {
        const QImage img = symbolPixmap(name, 32).toImage().convertToFormat(QImage::Format_ARGB32);
        const QByteArray bytes(reinterpret_cast<const char*>(img.constBits()),
                               static_cast<int>(img.sizeInBytes()));
        EXPECT_TRUE(seen.insert(bytes).second) << name.toStdString() << " repeats another symbol";
    }
}

TEST(Symbols, UnknownNamesGiveNothing) {
    EXPECT_TRUE(symbol("no.such.symbol").isNull());
    EXPECT_TRUE(symbolPixmap("no.such.symbol", 16).isNull());
    EXPECT_TRUE(symbolPath("../icons/play.fill").isEmpty());
    EXPECT_TRUE(symbolPixmap("play.fill", 0).isNull());
}

TEST(Symbols, FilesAreFoundThroughTheResourceFolder) {
    // ORVANE_RESOURCES points the lookup elsewhere, as an installed copy does.
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkpath("icons"));
    const QString copy = root.filePath("icons/xmark.svg");
    ASSERT_TRUE(QFile::copy(symbolPath("xmark"), copy));
    qputenv("ORVANE_RESOURCES", root.path().toUtf8());
    const QString found = symbolPath("xmark");
    const QString missing = symbolPath("plus");
    qunsetenv("ORVANE_RESOURCES");
    EXPECT_EQ(QFileInfo(found).canonicalFilePath(), QFileInfo(copy).canonicalFilePath());
    EXPECT_TRUE(missing.isEmpty());
}

} // namespace
