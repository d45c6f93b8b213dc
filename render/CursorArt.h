#pragma once

#include <QImage>
#include <QString>
#include <optional>

namespace orvane {

// The two cursor images, rasterised from the vector resources
// cursors/cursor-arrow.pdf and cursors/cursor-pointer.pdf.
class CursorArt {
public:
    // Side of the rasterised images, pixels.
    static constexpr int kSize = 256;

    // Renders page 1 of the resource "cursors/<name>.pdf" to a kSize x kSize
    // image (Format_ARGB32_Premultiplied, transparent around the art), the page
    // stretched to the square. None when the file is missing, is not a PDF or
    // has no page. Any thread may call it.
    static std::optional<QImage> load(const QString& name);
    // The same for a PDF file given by path.
    static std::optional<QImage> loadFile(const QString& path);

    // The shared arrow ("cursor-arrow") and pointing hand ("cursor-pointer"):
    // each loaded once on first use (thread-safe) and kept for the life of the
    // process. None when its resource is missing; that cursor is then never
    // drawn.
    static const std::optional<QImage>& arrow();
    static const std::optional<QImage>& hand();
};

// The pair of images a renderer draws with. The compositor takes one so a
// caller (or a test) can leave either out; shared() is the art above. QImage
// copies share their pixels, so copying this is cheap.
struct CursorImages {
    std::optional<QImage> arrow;
    std::optional<QImage> hand;

    static CursorImages shared() { return {CursorArt::arrow(), CursorArt::hand()}; }
};

} // namespace orvane
