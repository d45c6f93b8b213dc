#include "render/FrameCompositor.h"

#include "render/OutputGeometry.h"
#include "render/Squircle.h"

#include <QPainter>
#include <QPainterPath>
#include <QScopeGuard>
#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

constexpr double kFirstStep = 1.0 / 60.0; // seconds, for the first frame
constexpr double kLongestStep = 0.1;      // longer gaps advance this much only
constexpr double kMinSmooth = 0.02;       // below: the camera jumps to its target
constexpr double kMinBlurSetting = 0.001;
constexpr double kMinBlurRadius = 0.75; // source pixels
constexpr double kCornerSmoothing = 0.6;
constexpr double kCursorHeight = 0.08; // of the output height

bool usableOutput(const QImage& out) {
    return !out.isNull() && (out.format() == QImage::Format_ARGB32_Premultiplied ||
                             out.format() == QImage::Format_RGB32);
}

bool usableSource(const SourceFrame& f) {
    return f.data != nullptr && f.width > 0 && f.height > 0 &&
           f.stride >= static_cast<std::ptrdiff_t>(f.width) * 4;
}

// Whether the frame's alpha bytes say opaque, judged from a few pixels: a
// decoder fills the alpha byte of a whole frame alike (255, or 0 for "x"
// formats such as BGR0).
bool alphaIsOpaque(const SourceFrame& f) {
    for (const int y : {0, f.height / 2, f.height - 1}) {
        const unsigned char* row = f.data + std::ptrdiff_t(y) * f.stride;
        if (row[3] != 255 || row[std::ptrdiff_t(f.width - 1) * 4 + 3] != 255) {
            return false;
        }
    }
    return true;
}

} // namespace

FrameCompositor::FrameCompositor(Timeline timeline, CompositorSettings settings,
                                 Background background, CursorImages cursors)
    : timeline_(std::move(timeline)), settings_(settings), background_(std::move(background)),
      cursors_(std::move(cursors)) {}

void FrameCompositor::reset() {
    hasPrevious_ = false;
    previousTime_ = 0;
    primed_ = false;
    cam_ = {0.5, 0.5, 1};
    camVelocity_ = {0, 0, 0};
    previousDrawn_ = {0.5, 0.5, 1};
    cursorPrimed_ = false;
    cursor_ = {0.5, 0.5};
    cursorVelocity_ = {0, 0};
    last_ = {};
}

void FrameCompositor::stepCamera(double t, const spring::Steps& steps) {
    const CamState target = timeline_.state(t);
    last_.target = target;
    const double smooth = timeline_.frame(t).smooth;
    if (primed_ && smooth >= kMinSmooth) {
        const double omega = spring::omegaForPeriod(0.6 * smooth + 0.18);
        spring::advance(cam_.x, camVelocity_.x, target.x, omega, steps);
        spring::advance(cam_.y, camVelocity_.y, target.y, omega, steps);
        spring::advance(cam_.w, camVelocity_.w, target.w, omega, steps);
    } else {
        cam_ = target;
        camVelocity_ = {0, 0, 0};
    }
    last_.simulated = cam_;
    last_.velocity = camVelocity_;
    last_.drawn = clampCamera(cam_);
}

void FrameCompositor::measureMotion(int sourceW, int sourceH) {
    last_.blurRadius = 0;
    last_.blurAngle = 0;
    if (!(settings_.motionBlur > kMinBlurSetting)) {
        return;
    }
    const CamState& d = last_.drawn;
    const double dx = (d.x - previousDrawn_.x) * sourceW;
    const double dy = (d.y - previousDrawn_.y) * sourceH;
    const double m = std::min(sourceW, sourceH);
    const double zoomChange = std::abs(1 / d.w - 1 / previousDrawn_.w);
    const double amount = zoomChange * m * 0.5 + std::hypot(dx, dy) - 0.02 * m;
    last_.blurAngle = std::atan2(-dy, dx);
    last_.blurRadius = std::min(settings_.motionBlur * std::max(amount, 0.0) * 0.7, 0.045 * m);
}

void FrameCompositor::drawVideo(QImage& out, const QImage& source, const QRectF& video,
                                const QImage& background) {
    if (video.isEmpty()) {
        return;
    }
    const double outW = out.width();
    const double outH = out.height();
    const QTransform camera = cameraTransform(outW, outH, video, last_.drawn);
    const double radius = videoCornerRadius(settings_.cornerRadius, outW);

    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(camera);
    // The video goes in through the plain scaled-image path (the fast one); the
    // rounded corners are then cut by painting the background back over what
    // lies outside the squircle, anti-aliased. A clip path would cost more and
    // is not anti-aliased in the raster engine.
    painter.drawImage(video, source);
    if (radius > 0 && !background.isNull()) {
        const QPainterPath corners = squircleCornersPath(video, radius, kCornerSmoothing);
        // The background never moves with the camera: paint it in output pixels.
        painter.resetTransform();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QBrush(background));
        painter.drawPath(camera.map(corners));
    }
}

void FrameCompositor::drawCursor(QImage& out, double t, const spring::Steps& steps,
                                 const QRectF& video, int sourceW) {
    last_.cursorShown = !timeline_.clicks.empty() || !timeline_.track.empty();
    if (!last_.cursorShown) {
        return;
    }
    const NormPoint target = timeline_.cursor(t, settings_.smoothness);
    if (cursorPrimed_) {
        const double dist = std::hypot(target.x - cursor_.x(), target.y - cursor_.y());
        // A smoothness outside 0...1 would make the period negative and the
        // spring blow up; the setting is clamped here.
        const double s =
            std::clamp(std::isfinite(settings_.smoothness) ? settings_.smoothness : 0, 0.0, 1.0);
        const double period = std::min((dist * 2.2 + 1) * (s * 0.09 + 0.04), 0.24);
        const double omega = spring::omegaForPeriod(period);
        spring::advance(cursor_.rx(), cursorVelocity_.rx(), target.x, omega, steps);
        spring::advance(cursor_.ry(), cursorVelocity_.ry(), target.y, omega, steps);
    } else {
        cursor_ = {target.x, target.y};
        cursorVelocity_ = {0, 0};
    }
    const double outW = out.width();
    const double outH = out.height();
    const CamState& cam = last_.drawn;
    last_.cursorPosition = cursor_;
    last_.cursorTip = mapToOutput(outW, outH, video, cam, cursor_.x(), cursor_.y());
    last_.cursorHeight = kCursorHeight * outH * timeline_.cursorScale(t);
    last_.pointer = timeline_.isPointer(t);
    // The blur radius is in source pixels; the smear is drawn in output pixels,
    // so it is scaled by the video's on-screen size as well as by the zoom.
    const double toOutput = sourceW > 0 ? video.width() / sourceW : 0;
    const double length = last_.blurRadius * toOutput / cam.w;
    last_.smear = {std::cos(last_.blurAngle) * length, -std::sin(last_.blurAngle) * length};

    QPainter painter(&out);
    drawArrowCursor(painter, cursors_, last_.cursorTip, last_.cursorHeight, last_.pointer,
                    last_.smear, &sprites_);
    cursorPrimed_ = true;
}

bool FrameCompositor::compose(const SourceFrame& frame, QImage& out) {
    const double t = std::isfinite(frame.time) ? frame.time : 0;
    double dt = kFirstStep;
    if (hasPrevious_) {
        const double d = t - previousTime_;
        dt = d >= kLongestStep ? kLongestStep : std::max(d, spring::kMaxStep);
    }
    const spring::Steps steps = spring::steps(dt);
    last_ = {};
    last_.time = t;
    last_.dt = dt;
    last_.substeps = steps.n;

    stepCamera(t, steps);
    const bool sourceOk = usableSource(frame);
    if (sourceOk) {
        measureMotion(frame.width, frame.height);
    }
    const auto remember = [&] {
        hasPrevious_ = true;
        previousTime_ = t;
        previousDrawn_ = last_.drawn;
        primed_ = true;
    };
    if (!sourceOk || !usableOutput(out)) {
        remember();
        return false;
    }

    // Geometry is in pixels: a device pixel ratio on `out` would make QPainter
    // scale everything once more, so it is set aside while drawing.
    const qreal dpr = out.devicePixelRatio();
    out.setDevicePixelRatio(1);
    const auto restoreDpr = qScopeGuard([&] { out.setDevicePixelRatio(dpr); });

    // A read-only view of the decoder's pixels: no copy.
    const QImage source(frame.data, frame.width, frame.height, static_cast<qsizetype>(frame.stride),
                        QImage::Format_RGB32);
    const QImage* video = &source;
    if (!alphaIsOpaque(frame)) {
        // The drawing copies alpha through, which would leave a transparent
        // (and, premultiplied, invalid) video: make an opaque copy first.
        if (opaque_.size() != source.size()) {
            opaque_ = QImage(source.size(), QImage::Format_RGB32);
        }
        for (int y = 0; y < frame.height; ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
            auto* outRow = reinterpret_cast<QRgb*>(opaque_.scanLine(y));
            for (int x = 0; x < frame.width; ++x) {
                outRow[x] = in[x] | 0xff000000u;
            }
        }
        video = &opaque_;
    }
    if (last_.blurRadius > kMinBlurRadius &&
        motionBlur_.apply(*video, blurred_, last_.blurRadius, last_.blurAngle)) {
        video = &blurred_;
        last_.blurred = true;
    }

    const QRectF rect =
        videoRect(out.width(), out.height(), settings_.padding, frame.width, frame.height);
    // The video covers its rectangle completely (the scaled draw fills whole
    // pixels), so the background is copied only around it; a pixel's margin
    // keeps the edge pixels safe.
    const QRectF covered =
        cameraTransform(out.width(), out.height(), rect, last_.drawn).mapRect(rect);
    const QRect inner(QPoint(static_cast<int>(std::ceil(covered.left())) + 1,
                             static_cast<int>(std::ceil(covered.top())) + 1),
                      QPoint(static_cast<int>(std::floor(covered.right())) - 2,
                             static_cast<int>(std::floor(covered.bottom())) - 2));
    const QImage& background = background_.fill(out, rect.isEmpty() ? QRect() : inner);
    drawVideo(out, *video, rect, background);
    drawCursor(out, t, steps, rect, frame.width);
    last_.drawnFrame = true;
    remember();
    return true;
}

} // namespace orvane
