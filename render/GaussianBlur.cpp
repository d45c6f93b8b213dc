// Gaussian blur of the image-filter module, on OpenCV's imgproc.
#include "render/ImageFilter.h"
#include "render/OpenCvImage.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

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
    if (factor <= 1 || image.width() / factor < 8 || image.height() / factor < 8) {
        cv::GaussianBlur(mat, mat, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        return true;
    }
    // Pad with copies of the border first (a blur this wide reaches far past
    // the edge, and the edge pixels themselves must weigh in fully, not
    // averaged with their neighbours by the reduction), reduce with area
    // averaging (itself a small box blur), blur with the remaining sigma, scale
    // back up bilinearly and keep the middle.
    const int pad = static_cast<int>(std::ceil(3 * sigma));
    cv::Mat padded;
    cv::copyMakeBorder(mat, padded, pad, pad, pad, pad, cv::BORDER_REPLICATE);
    const cv::Size smallSize(std::max(1, padded.cols / factor), std::max(1, padded.rows / factor));
    cv::Mat small;
    cv::resize(padded, small, smallSize, 0, 0, cv::INTER_AREA);
    const double sx = sigma * smallSize.width / padded.cols;
    const double sy = sigma * smallSize.height / padded.rows;
    cv::GaussianBlur(small, small, cv::Size(0, 0), sx, sy, cv::BORDER_REPLICATE);
    cv::resize(small, padded, padded.size(), 0, 0, cv::INTER_LINEAR);
    padded(cv::Rect(pad, pad, mat.cols, mat.rows)).copyTo(mat);
    return true;
}

} // namespace orvane
