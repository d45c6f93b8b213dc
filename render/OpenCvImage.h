#pragma once

// Internal to render/: views of QImage pixels as OpenCV matrices, without
// copies. Include from .cpp files only; OpenCV stays out of public headers.

#include <QImage>
#include <opencv2/core.hpp>

namespace orvane::cvwrap {

// A CV_8UC4 matrix over the image's own pixels (and its row stride). The image
// must outlive the matrix and must not detach while it is used: callers take
// bits() of a non-const image first, which detaches once, up front.
inline cv::Mat view(QImage& image) {
    return cv::Mat(image.height(), image.width(), CV_8UC4, image.bits(),
                   static_cast<size_t>(image.bytesPerLine()));
}

// A read-only view; OpenCV has no const Mat over foreign memory, so the cast is
// confined here and the matrix is only ever passed as an input.
inline cv::Mat constView(const QImage& image) {
    return cv::Mat(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.constBits()),
                   static_cast<size_t>(image.bytesPerLine()));
}

} // namespace orvane::cvwrap
