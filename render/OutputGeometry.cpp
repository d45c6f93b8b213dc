#include "render/OutputGeometry.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

double sanePadding(double padding) {
    return std::isfinite(padding) && padding > 0 ? padding : 0;
}

} // namespace

double outputAspect(int formatIndex, int videoW, int videoH) {
    const int row = std::clamp(formatIndex, 0, static_cast<int>(formatPresets.size()) - 1);
    const double aspect = formatPresets[static_cast<std::size_t>(row)].aspect;
    if (aspect > 0) {
        return aspect;
    }
    if (videoW <= 0 || videoH <= 0) {
        return double(kFallbackVideoWidth) / kFallbackVideoHeight;
    }
    return double(videoW) / double(videoH);
}

std::optional<OutputSize> outputSize(double videoW, double videoH, double aspect, double padding) {
    if (!std::isfinite(videoW) || !std::isfinite(videoH)) {
        return std::nullopt;
    }
    const double w = std::trunc(videoW);
    const double h = std::trunc(videoH);
    if (w <= 0 || h <= 0) {
        return std::nullopt;
    }
    const double v = w / h;
    const double a = std::isfinite(aspect) && aspect > 0 ? aspect : v;
    const double p = std::min(sanePadding(padding), 0.45);

    double outW = 0;
    double outH = 0;
    if (v <= a) {
        outH = h / (1 - 2 * p);
        outW = a * outH;
    } else {
        outW = w / (1 - 2 * p);
        outH = outW / a;
    }
    const double m = std::max(outW, outH);
    if (m > kMaxOutputSide) {
        outW *= kMaxOutputSide / m;
        outH *= kMaxOutputSide / m;
    }
    // An extreme aspect can leave one side far below a pixel (or overflow an
    // int before the limit above applies, which it cannot after it).
    if (!(outW >= 2) || !(outH >= 2)) {
        return std::nullopt;
    }
    const int evenW = static_cast<int>(outW) & ~1;
    const int evenH = static_cast<int>(outH) & ~1;
    return OutputSize{evenW, evenH};
}

QRectF videoRect(double outW, double outH, double padding, double videoW, double videoH) {
    const double pad = sanePadding(padding) * std::min(outW, outH);
    const double boxW = std::max(outW - 2 * pad, 0.0);
    const double boxH = std::max(outH - 2 * pad, 0.0);
    double width = boxW;
    double height = 0;
    if (videoW > 0 && videoH > 0) {
        const double aspect = videoW / videoH;
        height = width / aspect;
        if (boxH < height) {
            height = boxH;
            width = height * aspect;
        }
    } else {
        width = 0;
    }
    return {(outW - width) / 2, (outH - height) / 2, width, height};
}

double videoCornerRadius(double cornerRadius, double outW) {
    const double r = cornerRadius * outW / 640;
    return std::isfinite(r) && r > 0 ? r : 0;
}

CamState clampCamera(CamState cam) {
    double w = cam.w;
    if (!(w >= 0.001)) { // also catches NaN
        w = std::isnan(w) ? 1 : 0.001;
    }
    if (w >= 1) {
        w = 1;
    }
    const double q = w / 2;
    const auto centre = [q](double v) {
        return std::isfinite(v) ? std::min(std::max(v, q), 1 - q) : 0.5;
    };
    return {centre(cam.x), centre(cam.y), w};
}

QTransform cameraTransform(double outW, double outH, const QRectF& video, const CamState& cam) {
    const double z = 1 / cam.w;
    QTransform t;
    t.translate(outW / 2, outH / 2);
    t.scale(z, z);
    t.translate(-(video.x() + cam.x * video.width()), -(video.y() + cam.y * video.height()));
    return t;
}

QPointF mapToOutput(double outW, double outH, const QRectF& video, const CamState& cam, double px,
                    double py) {
    const double z = 1 / cam.w;
    return {outW / 2 + z * (px - cam.x) * video.width(),
            outH / 2 + z * (py - cam.y) * video.height()};
}

} // namespace orvane
