#include "media/YuvImage.h"

#include <algorithm>

namespace orvane {

namespace {

constexpr std::ptrdiff_t kRowSlack = 32;

std::ptrdiff_t paddedStride(int width) {
    return (static_cast<std::ptrdiff_t>(width) + kRowSlack + 31) / 32 * 32;
}

} // namespace

YuvImage::YuvImage(int width, int height) {
    if (width <= 0 || height <= 0) {
        return;
    }
    width_ = width;
    height_ = height;
    lumaStride_ = paddedStride(width);
    chromaStride_ = paddedStride(chromaSize(width));
    const auto luma = static_cast<std::size_t>(lumaStride_) * static_cast<std::size_t>(height);
    const auto chroma =
        static_cast<std::size_t>(chromaStride_) * static_cast<std::size_t>(chromaSize(height));
    bytes_.assign(luma + 2 * chroma + kRowSlack, 128);
    std::fill(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(luma), 16);
}

YuvView YuvImage::view() {
    if (isNull()) {
        return {};
    }
    std::uint8_t* base = bytes_.data();
    const int cw = chromaSize(width_);
    const int ch = chromaSize(height_);
    const auto luma = lumaStride_ * height_;
    const auto chroma = chromaStride_ * ch;
    return {{base, lumaStride_, width_, height_},
            {base + luma, chromaStride_, cw, ch},
            {base + luma + chroma, chromaStride_, cw, ch}};
}

YuvView YuvImage::view() const { return const_cast<YuvImage*>(this)->view(); }

} // namespace orvane
