#include "FrameFitter.h"

#include "media/AvHandles.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvane {

struct FrameFitter::Scaler {
    av::SwsPtr sws;
};

FrameFitter::FrameFitter(int width, int height)
    : width_(width), height_(height),
      buffer_(static_cast<std::size_t>(width) * height * 4, 0),
      scaler_(std::make_unique<Scaler>()) {}

FrameFitter::~FrameFitter() = default;
FrameFitter::FrameFitter(FrameFitter&&) noexcept = default;
FrameFitter& FrameFitter::operator=(FrameFitter&&) noexcept = default;

FrameFitter::Image FrameFitter::fit(const std::uint8_t* src, int srcWidth, int srcHeight,
                                    int srcStride) {
    if (srcWidth == width_ && srcHeight == height_) {
        passThrough_ = true;
        return {src, srcStride};
    }
    passThrough_ = false;
    if (srcWidth != lastW_ || srcHeight != lastH_) {
        lastW_ = srcWidth;
        lastH_ = srcHeight;
        const double srcAspect = static_cast<double>(srcWidth) / srcHeight;
        const double dstAspect = static_cast<double>(width_) / height_;
        if (std::abs(srcAspect / dstAspect - 1.0) < 0.01) {
            boxX_ = boxY_ = 0;
            boxW_ = width_;
            boxH_ = height_;
        } else {
            const double scale = std::min(static_cast<double>(width_) / srcWidth,
                                          static_cast<double>(height_) / srcHeight);
            boxW_ = std::clamp(static_cast<int>(std::lround(srcWidth * scale)), 1, width_);
            boxH_ = std::clamp(static_cast<int>(std::lround(srcHeight * scale)), 1, height_);
            boxX_ = (width_ - boxW_) / 2;
            boxY_ = (height_ - boxH_) / 2;
        }
        // Opaque black around the picture.
        for (std::size_t i = 0; i < buffer_.size(); i += 4) {
            buffer_[i] = buffer_[i + 1] = buffer_[i + 2] = 0;
            buffer_[i + 3] = 255;
        }
        av::SwsPtr& sws = scaler_->sws;
        sws.reset(sws_getCachedContext(sws.release(), srcWidth, srcHeight, AV_PIX_FMT_BGRA,
                                       boxW_, boxH_, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr,
                                       nullptr, nullptr));
    }
    if (!scaler_->sws) {
        return {buffer_.data(), width_ * 4};
    }
    const std::uint8_t* srcPlanes[4] = {src, nullptr, nullptr, nullptr};
    const int srcStrides[4] = {srcStride, 0, 0, 0};
    std::uint8_t* dst = buffer_.data() + (static_cast<std::size_t>(boxY_) * width_ + boxX_) * 4;
    std::uint8_t* dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
    const int dstStrides[4] = {width_ * 4, 0, 0, 0};
    sws_scale(scaler_->sws.get(), srcPlanes, srcStrides, 0, srcHeight, dstPlanes, dstStrides);
    return {buffer_.data(), width_ * 4};
}

FrameFitter::Box FrameFitter::box() const {
    if (passThrough_ || lastW_ < 0) {
        return {0, 0, width_, height_};
    }
    return {boxX_, boxY_, boxW_, boxH_};
}

} // namespace orvane
