#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace orvane {

// Brings captured BGRA pixels to the stream's configured size. A source of the
// configured size passes through untouched; one of nearly the same shape (a
// side rounded down to even, a display scaled to 3840) is scaled to fill; one of
// another shape (a window resized mid-take) is scaled to fit and centred on
// black. One thread at a time (the capture thread).
class FrameFitter {
public:
    FrameFitter(int width, int height);
    ~FrameFitter();
    FrameFitter(FrameFitter&&) noexcept;
    FrameFitter& operator=(FrameFitter&&) noexcept;
    FrameFitter(const FrameFitter&) = delete;
    FrameFitter& operator=(const FrameFitter&) = delete;

    // The fitted image: either `src` itself or the fitter's own buffer. Valid
    // until the next call.
    struct Image {
        const std::uint8_t* pixels;
        int stride;
    };
    Image fit(const std::uint8_t* src, int srcWidth, int srcHeight, int srcStride);

    // Where the last fitted source landed in the image, in pixels (the whole
    // image for a source that passes through or fills it).
    struct Box {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    Box box() const;

private:
    int width_;
    int height_;
    std::vector<std::uint8_t> buffer_;
    struct Scaler; // the swscale context, in av::SwsPtr (FFmpeg stays out of this header)
    std::unique_ptr<Scaler> scaler_;
    int lastW_ = -1;
    int lastH_ = -1;
    int boxX_ = 0, boxY_ = 0, boxW_ = 0, boxH_ = 0; // where the source lands in the buffer
    bool passThrough_ = true;
};

} // namespace orvane
