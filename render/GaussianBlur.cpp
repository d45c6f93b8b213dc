// Gaussian blur of the image-filter module, on OpenCV's imgproc.
#include "render/ImageFilter.h"

#include "render/OpenCvImage.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

// Above this sigma the blur runs on a copy reduced so that the remaining sigma
// is about this size; the detail lost by the reduction is far below what such
// a blur keeps anyway.
constexpr double kDirectSigma = 8.0;

} // namespace

bool isFilterableFormat(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return true;
    default:
        return false;
    }
}

bool gaussianBlur(QImage& image, double sigma) {
    if (!isFilterableFormat(image)) {
        return false;
    }
    if (!(sigma > 0) || image.isNull()) {
        return true;
    }
    cv::Mat mat = cvwrap::view(image);
    const int factor = sigma > kDirectSigma ? static_cast<int>(sigma / (kDirectSigma / 2)) : 1;
    const int smallW = image.width() / factor;
    const int smallH = image.height() / factor;
    if (factor <= 1 || smallW < 8 || smallH < 8) {
        cv::GaussianBlur(mat, mat, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        return true;
    }
    // Reduce with area averaging (itself a small box blur), blur with the
    // remaining sigma and scale back up bilinearly.
    cv::Mat small;
    cv::resize(mat, small, cv::Size(smallW, smallH), 0, 0, cv::INTER_AREA);
    const double sx = sigma * smallW / image.width();
    const double sy = sigma * smallH / image.height();
    cv::GaussianBlur(small, small, cv::Size(0, 0), sx, sy, cv::BORDER_REPLICATE);
    cv::resize(small, mat, mat.size(), 0, 0, cv::INTER_LINEAR);
    return true;
}

} // namespace orvane
