#include "render/BackgroundPresets.h"

#include "render/ResourcePaths.h"

#include <QImageReader>

namespace orvane {

BackgroundChoice backgroundChoice(int index) {
    if (index < kGradientCount) {
        return {std::nullopt, index >= 0 ? index : 0};
    }
    const int image = index - kGradientCount;
    if (image < kBackgroundImageCount) {
        return {image, 0};
    }
    return {std::nullopt, 0};
}

QString backgroundImageName(int image) {
    return QString::asprintf("obg_%02d.jpg", image + 1);
}

QString backgroundImagePath(int image) {
    if (image < 0 || image >= kBackgroundImageCount) {
        return {};
    }
    return resourcePath(QStringLiteral("backgrounds/") + backgroundImageName(image));
}

std::optional<QImage> bgImage(int image) {
    const QString path = backgroundImagePath(image);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage decoded = reader.read();
    if (decoded.isNull()) {
        return std::nullopt;
    }
    return decoded.convertToFormat(QImage::Format_RGB32);
}

} // namespace orvane
