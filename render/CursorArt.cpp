#include "render/CursorArt.h"

#include "render/ResourcePaths.h"

#include <QFile>
#include <QPdfDocument>

namespace orvane {

std::optional<QImage> CursorArt::loadFile(const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    // Only hand real PDF files to the PDF engine: it leaks its parser state
    // when asked to load something else.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(5) != "%PDF-") {
        return std::nullopt;
    }
    file.close();
    QPdfDocument doc;
    if (doc.load(path) != QPdfDocument::Error::None || doc.pageCount() < 1) {
        return std::nullopt;
    }
    // render() scales the page's media box to the requested size on each axis,
    // which is the 256 / width, 256 / height scaling the art is made for.
    QImage image = doc.render(0, QSize(kSize, kSize));
    if (image.isNull() || image.size() != QSize(kSize, kSize)) {
        return std::nullopt;
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

std::optional<QImage> CursorArt::load(const QString& name) {
    return loadFile(resourcePath(QStringLiteral("cursors/") + name + QStringLiteral(".pdf")));
}

const std::optional<QImage>& CursorArt::arrow() {
    static const std::optional<QImage> image = load(QStringLiteral("cursor-arrow"));
    return image;
}

const std::optional<QImage>& CursorArt::hand() {
    static const std::optional<QImage> image = load(QStringLiteral("cursor-pointer"));
    return image;
}

} // namespace orvane
