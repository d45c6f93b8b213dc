#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane {

// One 8-bit plane: `height` rows of `width` samples, each row `stride` bytes
// after the previous one. A view: it owns nothing.
struct Plane {
    std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0; // bytes
    int width = 0;             // samples
    int height = 0;            // rows

    std::uint8_t* row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
};

// A picture in 8-bit YUV 4:2:0 with three planes (I420): luma at full size,
// Cb (u) and Cr (v) at (width + 1) / 2 x (height + 1) / 2. Orvane's pictures
// in this form are BT.709, limited range (luma 16...235), chroma sited at the
// centre of each 2 x 2 block. A view: it owns nothing.
struct YuvView {
    Plane y;
    Plane u;
    Plane v;

    int width() const { return y.width; }
    int height() const { return y.height; }
    bool isNull() const { return y.data == nullptr || y.width <= 0 || y.height <= 0; }
};

inline int chromaSize(int lumaSize) { return (lumaSize + 1) / 2; }

// An I420 picture that owns its pixels. Rows are padded so that vector code
// may read and write 32 bytes past the last sample of any row.
class YuvImage {
public:
    YuvImage() = default;
    // A picture of width x height pixels (nothing when either is not positive),
    // filled with black.
    YuvImage(int width, int height);

    bool isNull() const { return width_ <= 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    YuvView view();
    YuvView view() const; // the same pixels; the caller promises not to write

private:
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t lumaStride_ = 0;
    std::ptrdiff_t chromaStride_ = 0;
    std::vector<std::uint8_t> bytes_;
};

} // namespace orvane
