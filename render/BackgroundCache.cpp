#include "render/BackgroundCache.h"

#include "render/BackgroundPresets.h"

#include <QImageReader>
#include <algorithm>
#include <cmath>

namespace orvane {

std::optional<QImage> ScaledBackgroundCache::get(int image) {
    if (const auto it = entries_.find(image); it != entries_.end()) {
        return it->second;
    }
    const QString path = backgroundImagePath(image);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        return std::nullopt;
    }
    // With an orientation that swaps the axes, the larger side is the other one;
    // the limit applies to the larger side either way, so only the ratio matters.
    const int larger = std::max(size.width(), size.height());
    if (larger > maxSide_) {
        const double k = double(maxSide_) / larger;
        size = QSize(std::max(1, static_cast<int>(std::lround(size.width() * k))),
                     std::max(1, static_cast<int>(std::lround(size.height() * k))));
        reader.setScaledSize(size);
    }
    QImage decoded = reader.read();
    if (decoded.isNull()) {
        return std::nullopt;
    }
    decoded = decoded.convertToFormat(QImage::Format_RGB32);
    entries_.emplace(image, decoded);
    return decoded;
}

BGPreviews& BGPreviews::shared() {
    static BGPreviews instance;
    return instance;
}

BGThumbs& BGThumbs::shared() {
    static BGThumbs instance;
    return instance;
}

} // namespace orvane
