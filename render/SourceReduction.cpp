#include "render/SourceReduction.h"

#include "render/HalfScale.h"

namespace orvane {

const QImage* SourceReduction::bgra(const QImage& src, int halvings, std::uint64_t picture) {
    if (halvings < 1 || src.isNull()) {
        return nullptr;
    }
    if (picture != 0 && picture == picture_ && halvings == halvings_ && src.size() == size_ &&
        levels_.size() >= static_cast<std::size_t>(halvings)) {
        return &levels_[static_cast<std::size_t>(halvings) - 1];
    }
    picture_ = 0; // forgotten until the chain below is complete
    if (levels_.size() < static_cast<std::size_t>(halvings)) {
        levels_.resize(static_cast<std::size_t>(halvings));
    }
    const QImage* from = &src;
    for (int k = 0; k < halvings; ++k) {
        QImage& to = levels_[static_cast<std::size_t>(k)];
        if (!halfscale::halveBgra(*from, to)) {
            return nullptr;
        }
        from = &to;
    }
    ++bgraReductions_;
    picture_ = picture;
    halvings_ = halvings;
    size_ = src.size();
    return from;
}

YuvView SourceReduction::yuv(const YuvView& src, int halvings) {
    if (halvings < 1 || src.isNull()) {
        return {};
    }
    if (yuvLevels_.size() < static_cast<std::size_t>(halvings)) {
        yuvLevels_.resize(static_cast<std::size_t>(halvings));
    }
    YuvView from = src;
    for (int k = 0; k < halvings; ++k) {
        YuvImage& level = yuvLevels_[static_cast<std::size_t>(k)];
        const int w = halfscale::halfSize(from.width());
        const int h = halfscale::halfSize(from.height());
        if (level.width() != w || level.height() != h) {
            level = YuvImage(w, h);
        }
        const YuvView to = level.view();
        // The source's chroma planes may be larger than I420 needs (a decoder's
        // padding); only the part I420 defines is reduced.
        const Plane fromU{from.u.data, from.u.stride, chromaSize(from.width()),
                          chromaSize(from.height())};
        const Plane fromV{from.v.data, from.v.stride, chromaSize(from.width()),
                          chromaSize(from.height())};
        if (to.isNull() || !halfscale::halvePlane(from.y, to.y) ||
            !halfscale::halvePlane(fromU, to.u) || !halfscale::halvePlane(fromV, to.v)) {
            return {};
        }
        from = to;
    }
    return from;
}

} // namespace orvane
