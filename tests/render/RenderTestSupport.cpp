#include "RenderTestSupport.h"

#include <QDir>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace orvane::test {

QImage makeScreen(int width, int height) {
    QImage img(width, height, QImage::Format_RGB32);
    QPainter p(&img);
    const int tile = std::max(4, width / 8);
    for (int y = 0; y < height; y += tile) {
        for (int x = 0; x < width; x += tile) {
            const int i = x / tile + 3 * (y / tile);
            p.fillRect(x, y, tile, tile,
                       QColor::fromHsv((i * 47) % 360, 120 + (i * 31) % 100, 150 + (i * 17) % 100));
        }
    }
    p.setPen(QPen(QColor(20, 20, 30), 1));
    for (int x = 0; x < width; x += tile) {
        p.drawLine(x, 0, x, height);
    }
    for (int y = 0; y < height; y += tile) {
        p.drawLine(0, y, width, y);
    }
    p.setPen(QPen(QColor(250, 250, 250), 3));
    p.drawLine(0, 0, width, height);
    return img;
}

SourceFrame frameOf(const QImage& image, double time) {
    return {image.constBits(), image.width(), image.height(), image.bytesPerLine(), time};
}


Timeline timelineWith(const std::vector<ZoomEffect>& zooms, const std::vector<Moment>& clicks,
                      double duration) {
    Timeline tl;
    tl.build(zooms, clicks, duration, 2.0);
    return tl;
}


QImage solidSquare(int side, QColor colour) {
    QImage img(side, side, QImage::Format_ARGB32_Premultiplied);
    img.fill(colour);
    return img;
}

PictureDiff comparePictures(const QImage& a, const QImage& b, int threshold) {
    PictureDiff diff;
    if (a.size() != b.size()) {
        diff.maxChannelError = 255;
        diff.differing = std::max<long>(1, long(a.width()) * a.height());
        return diff;
    }
    const QImage ca = a.convertToFormat(QImage::Format_ARGB32);
    const QImage cb = b.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < ca.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(ca.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(cb.constScanLine(y));
        for (int x = 0; x < ca.width(); ++x) {
            const int e = std::max(
                {std::abs(qRed(ra[x]) - qRed(rb[x])), std::abs(qGreen(ra[x]) - qGreen(rb[x])),
                 std::abs(qBlue(ra[x]) - qBlue(rb[x])), std::abs(qAlpha(ra[x]) - qAlpha(rb[x]))});
            diff.maxChannelError = std::max(diff.maxChannelError, e);
            if (e > threshold) {
                ++diff.differing;
            }
        }
    }
    return diff;
}

QString checkReference(const QImage& actual, const QString& name, int maxChannelError,
                       double maxDifferingFraction) {
    const QDir dir(QStringLiteral(ORVANE_RENDER_REFERENCE_DIR));
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    const char* update = std::getenv("ORVANE_UPDATE_REFERENCES");
    if (update != nullptr && std::strcmp(update, "1") == 0) {
        QDir().mkpath(dir.path());
        const QImage opaque = actual.convertToFormat(QImage::Format_RGB32);
        return opaque.save(path) ? QString() : QStringLiteral("cannot write ") + path;
    }
    const QImage reference(path);
    if (reference.isNull()) {
        return QStringLiteral("missing reference ") + path +
               QStringLiteral(" (run with ORVANE_UPDATE_REFERENCES=1 to create it)");
    }
    const PictureDiff d = comparePictures(actual.convertToFormat(QImage::Format_RGB32),
                                          reference.convertToFormat(QImage::Format_RGB32));
    const long allowed = static_cast<long>(maxDifferingFraction * actual.width() * actual.height());
    if (d.maxChannelError > maxChannelError || d.differing > allowed) {
        actual.save(QDir::temp().filePath(name + QStringLiteral("-actual.png")));
        return QStringLiteral("%1: largest channel error %2 (allowed %3), %4 pixels differ "
                              "(allowed %5); actual picture saved to %6")
            .arg(name)
            .arg(d.maxChannelError)
            .arg(maxChannelError)
            .arg(d.differing)
            .arg(allowed)
            .arg(QDir::temp().filePath(name + QStringLiteral("-actual.png")));
    }
    return {};
}

} // namespace orvane::test
