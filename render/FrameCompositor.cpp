#include "render/FrameCompositor.h"

#include "render/HalfScale.h"
#include "render/OutputGeometry.h"
#include "render/Squircle.h"
#include "media/YuvConversion.h"

#include <QPainter>
#include <QPainterPath>
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvane {

namespace {

constexpr double kFirstStep = 1.0 / 60.0; // seconds, for the first frame
constexpr double kLongestStep = 0.1;      // longer gaps advance this much only
constexpr double kMinSmooth = 0.02;       // below: the camera jumps to its target
constexpr double kMinBlurSetting = 0.001;
constexpr double kMinBlurRadius = 0.75; // source pixels
constexpr double kLongBlur = 12;         // pixels of the copy blurred
constexpr double kLongBlurMaxScale = 2.5; // output pixels per pixel of that copy
constexpr double kCornerSmoothing = 0.6;
// How far (output pixels) the painted-over corner pieces reach past the video's
// edges, so that the edge pixels near a corner are covered fully.
constexpr double kCornerOutset = 1.5;
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

bool usableYuv(const YuvView& v) {
    return !v.isNull() && v.u.data != nullptr && v.v.data != nullptr &&
           v.u.width >= chromaSize(v.width()) && v.v.width >= chromaSize(v.width()) &&
           v.u.height >= chromaSize(v.height()) && v.v.height >= chromaSize(v.height());
}

// The pixels whose centres lie inside `r`.
QRect centresInside(const QRectF& r) {
    const int left = static_cast<int>(std::ceil(r.left() - 0.5));
    const int top = static_cast<int>(std::ceil(r.top() - 0.5));
    const int right = static_cast<int>(std::ceil(r.right() - 0.5)); // exclusive
    const int bottom = static_cast<int>(std::ceil(r.bottom() - 0.5));
    return QRect(left, top, std::max(right - left, 0), std::max(bottom - top, 0));
}

// Copies `from` into `to` everywhere except inside `keep`.
void copyAround(const Plane& from, const Plane& to, const QRect& keep) {
    const QRect k = keep.intersected(QRect(0, 0, to.width, to.height));
    const auto bytes = [](int n) { return static_cast<std::size_t>(std::max(n, 0)); };
    for (int y = 0; y < to.height; ++y) {
        if (k.isEmpty() || y < k.top() || y > k.bottom()) {
            std::memcpy(to.row(y), from.row(y), bytes(to.width));
            continue;
        }
        std::memcpy(to.row(y), from.row(y), bytes(k.left()));
        std::memcpy(to.row(y) + k.right() + 1, from.row(y) + k.right() + 1,
                    bytes(to.width - k.right() - 1));
    }
}

// How many times the source is halved before it is drawn under `camera` into
// `rect`: none at 0.75 output pixels per source pixel or more. A long motion
// blur (`blurRadius` source pixels) leaves no detail along its line for a
// full-size copy to keep, so it is made on a copy halved once more while that
// copy would still be drawn at under 2.5 times its size: a quarter of the
// work on the frames that cost the most. The reduced copy keeps at least two
// pixels on its shorter side.
int prefilterHalvings(const QTransform& camera, const QRectF& rect, int sourceW, int sourceH,
                      double blurRadius) {
    if (rect.isEmpty() || sourceW <= 0 || sourceH <= 0) {
        return 0;
    }
    int limit = 0;
    while (limit < 8 && (std::min(sourceW, sourceH) >> (limit + 1)) >= 2) {
        ++limit;
    }
    const double scale = camera.m11() * rect.width() / sourceW;
    int k = halfscale::halvingsFor(scale, limit);
    if (blurRadius > kMinBlurRadius && k < limit && std::ldexp(blurRadius, -k) >= kLongBlur &&
        std::ldexp(scale, k + 1) < kLongBlurMaxScale) {
        ++k;
    }
    return k;
}

} // namespace

FrameCompositor::FrameCompositor(Timeline timeline, CompositorSettings settings,
                                 Background background, CursorImages cursors)
    : timeline_(std::move(timeline)), settings_(settings), background_(std::move(background)),
      cursors_(std::move(cursors)) {}

void FrameCompositor::reset() {
    hasPrevious_ = false;
    previousTime_ = 0;
    previousClock_ = 0;
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

void FrameCompositor::drawVideo(QImage& out, const QImage& source, const QRectF& part,
                                const QRectF& target, const QRectF& video,
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
    if (part == QRectF(source.rect())) {
        painter.drawImage(target, source);
    } else {
        painter.drawImage(target, source, part);
    }
    if (radius > 0 && !background.isNull()) {
        const QPainterPath corners = squircleCornersPath(video, radius, kCornerSmoothing, kCornerOutset * last_.drawn.w);
        // The background never moves with the camera: paint it in output pixels.
        painter.resetTransform();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QBrush(background));
        painter.drawPath(camera.map(corners));
    }
}

bool FrameCompositor::stepCursor(double t, const spring::Steps& steps, const QRectF& video,
                                 int sourceW, double outW, double outH) {
    last_.cursorShown = !timeline_.cursorInPicture &&
                        (!timeline_.clicks.empty() || !timeline_.track.empty());
    if (!last_.cursorShown) {
        return false;
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
    const CamState& cam = last_.drawn;
    last_.cursorPosition = cursor_;
    last_.cursorTarget = {target.x, target.y};
    last_.cursorVelocity = cursorVelocity_;
    last_.cursorTip = mapToOutput(outW, outH, video, cam, cursor_.x(), cursor_.y());
    last_.cursorHeight = kCursorHeight * outH * timeline_.cursorScale(t);
    last_.pointer = timeline_.isPointer(t);
    // The blur radius is in source pixels; the smear is drawn in output pixels,
    // so it is scaled by the video's on-screen size as well as by the zoom.
    const double toOutput = sourceW > 0 ? video.width() / sourceW : 0;
    const double length = last_.blurRadius * toOutput / cam.w;
    last_.smear = {std::cos(last_.blurAngle) * length, -std::sin(last_.blurAngle) * length};
    cursorPrimed_ = true;
    return true;
}

void FrameCompositor::drawCursor(QImage& out, double t, const spring::Steps& steps,
                                 const QRectF& video, int sourceW) {
    if (!stepCursor(t, steps, video, sourceW, out.width(), out.height())) {
        return;
    }
    QPainter painter(&out);
    drawArrowCursor(painter, cursors_, last_.cursorTip, last_.cursorHeight, last_.pointer,
                    last_.smear, &sprites_);
}

spring::Steps FrameCompositor::beginFrame(double t, std::optional<double> step) {
    double dt = kFirstStep;
    if (step) {
        // The caller's clock, taken as it is however short, so that the
        // springs move as far in a second whether that second brought one
        // call or fifty. A gap too long (or a clock going back) counts as one
        // display frame, so a glide that starts after a long rest starts
        // smoothly; no time at all moves nothing.
        const double d = std::isfinite(*step) ? *step : -1;
        dt = d >= 0 && d <= kLongestStep ? d : kFirstStep;
    } else if (hasPrevious_) {
        const double d = t - previousTime_;
        dt = d >= kLongestStep ? kLongestStep : std::max(d, spring::kMaxStep);
    }
    const spring::Steps steps = spring::steps(dt);
    last_ = {};
    last_.time = t;
    last_.dt = dt;
    last_.substeps = steps.n;
    stepCamera(t, steps);
    return steps;
}

void FrameCompositor::endFrame(double t) {
    hasPrevious_ = true;
    previousTime_ = t;
    previousDrawn_ = last_.drawn;
    primed_ = true;
}

bool FrameCompositor::compose(const SourceFrame& frame, QImage& out, std::optional<double> step) {
    const double t = std::isfinite(frame.time) ? frame.time : 0;
    const spring::Steps steps = beginFrame(t, step);
    const bool sourceOk = usableSource(frame);
    if (sourceOk) {
        measureMotion(frame.width, frame.height);
    }
    if (!sourceOk || !usableOutput(out)) {
        endFrame(t);
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

    const QRectF rect =
        videoRect(out.width(), out.height(), settings_.padding, frame.width, frame.height);
    const QTransform camera = cameraTransform(out.width(), out.height(), rect, last_.drawn);
    // Drawn well below its size, the video comes from a reduced copy (the
    // prefilter against moire); `reduce` source pixels make one of its pixels.
    const int halvings = prefilterHalvings(camera, rect, frame.width, frame.height, last_.blurRadius);
    double reduce = 1;
    if (halvings > 0) {
        if (const QImage* reduced = reduction_.bgra(*video, halvings, frame.picture)) {
            video = reduced;
            reduce = std::ldexp(1.0, halvings);
        }
    }
    last_.reduction = reduce;
    // What is drawn: `part` of `video` (in its pixels) into `target` (output
    // coordinates before the camera); at first the whole frame into the whole
    // video rectangle. A reduced copy of an odd-sized frame reaches half a
    // reduced pixel past the frame, which is left out.
    QRectF part(0, 0, frame.width / reduce, frame.height / reduce);
    QRectF target = rect;
    const QRectF covered = camera.mapRect(rect);
    if (last_.blurRadius > kMinBlurRadius && !rect.isEmpty()) {
        // The blur radius is in source pixels; on a reduced copy it is shorter
        // alike. Zoomed in, most of the frame lies outside the output: only
        // the visible part is blurred, with a margin the blur reads from.
        const double r = last_.blurRadius / reduce;
        const QRectF seen = covered.intersected(QRectF(0, 0, out.width(), out.height()));
        const double kx = part.width() / covered.width();
        const double ky = part.height() / covered.height();
        const double margin = std::ceil(r) + 3;
        const QRect crop = QRectF((seen.left() - covered.left()) * kx - margin,
                                  (seen.top() - covered.top()) * ky - margin,
                                  seen.width() * kx + 2 * margin, seen.height() * ky + 2 * margin)
                               .toAlignedRect()
                               .intersected(video->rect());
        if (!crop.isEmpty()) {
            // A view of the crop in the frame's own pixels: no copy.
            const QImage inside(video->constBits() + std::ptrdiff_t(crop.y()) * video->bytesPerLine() +
                                    std::ptrdiff_t(crop.x()) * 4,
                                crop.width(), crop.height(), video->bytesPerLine(), video->format());
            if (motionBlur_.apply(inside, blurred_, r, last_.blurAngle)) {
                const QRectF kept = part.intersected(QRectF(crop));
                const double sx = rect.width() / part.width();
                const double sy = rect.height() / part.height();
                target = QRectF(rect.x() + kept.x() * sx, rect.y() + kept.y() * sy,
                                kept.width() * sx, kept.height() * sy);
                part = kept.translated(-QPointF(crop.topLeft()));
                video = &blurred_;
                last_.blurred = true;
            }
        }
    }

    // The video covers its rectangle completely (the scaled draw fills whole
    // pixels), so the background is copied only around it; a pixel's margin
    // keeps the edge pixels safe.
    const QRect inner(QPoint(static_cast<int>(std::ceil(covered.left())) + 1,
                             static_cast<int>(std::ceil(covered.top())) + 1),
                      QPoint(static_cast<int>(std::floor(covered.right())) - 2,
                             static_cast<int>(std::floor(covered.bottom())) - 2));
    const QImage& background = background_.fill(out, rect.isEmpty() ? QRect() : inner);
    drawVideo(out, *video, part, target, rect, background);
    drawCursor(out, t, steps, rect, frame.width);
    last_.drawnFrame = true;
    endFrame(t);
    return true;
}

} // namespace orvane

namespace orvane {

YuvView FrameCompositor::yuvBackground(int width, int height) {
    if (backgroundYuvStale_ || backgroundYuv_.width() != width ||
        backgroundYuv_.height() != height) {
        backgroundBgra_ = QImage(width, height, QImage::Format_RGB32);
        backgroundYuv_ = YuvImage(width, height);
        if (!backgroundBgra_.isNull() && !backgroundYuv_.isNull()) {
            background_.fill(backgroundBgra_);
            yuv::fromBgra(backgroundBgra_.constBits(), backgroundBgra_.bytesPerLine(), width,
                          height, backgroundYuv_.view());
        }
        backgroundYuvStale_ = false;
    }
    return backgroundYuv_.view();
}

void FrameCompositor::drawCornersYuv(const YuvView& out, const QRectF& video,
                                     const QRectF& covered) {
    const double radius = videoCornerRadius(settings_.cornerRadius, out.width());
    if (!(radius > 0) || video.isEmpty() || backgroundBgra_.isNull()) {
        return;
    }
    const QTransform camera = cameraTransform(out.width(), out.height(), video, last_.drawn);
    const QPainterPath corners = camera.map(squircleCornersPath(video, radius, kCornerSmoothing, kCornerOutset * last_.drawn.w));
    // A smoothed corner reaches about 1.6 radii along each edge.
    const double reach = 1.7 * radius / last_.drawn.w + 2;
    for (const QPointF& corner : {covered.topLeft(), covered.topRight(), covered.bottomLeft(),
                                  covered.bottomRight()}) {
        const QRectF box = QRectF(corner.x() - reach, corner.y() - reach, 2 * reach, 2 * reach)
                               .intersected(covered.adjusted(-1, -1, 1, 1));
        if (box.isEmpty() || !patch_.load(out, box.toAlignedRect())) {
            continue;
        }
        {
            QPainter painter(&patch_.image());
            painter.translate(-patch_.origin());
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QBrush(backgroundBgra_));
            painter.drawPath(corners);
        }
        patch_.store(out);
    }
}

void FrameCompositor::drawCursorYuv(const YuvView& out, double t, const spring::Steps& steps,
                                    const QRectF& video, int sourceW) {
    if (!stepCursor(t, steps, video, sourceW, out.width(), out.height())) {
        return;
    }
    const QRectF art = cursorRect(last_.cursorTip, last_.cursorHeight, last_.pointer);
    const double margin = CursorSpriteCache::padding() + 2;
    const QRectF reach = art.adjusted(-margin - std::abs(last_.smear.x()) / 2,
                                      -margin - std::abs(last_.smear.y()) / 2,
                                      margin + std::abs(last_.smear.x()) / 2,
                                      margin + std::abs(last_.smear.y()) / 2);
    if (!reach.isValid() || !std::isfinite(reach.left()) || !std::isfinite(reach.right()) ||
        !std::isfinite(reach.top()) || !std::isfinite(reach.bottom()) ||
        !patch_.load(out, reach.toAlignedRect())) {
        return;
    }
    {
        QPainter painter(&patch_.image());
        painter.translate(-patch_.origin());
        drawArrowCursor(painter, cursors_, last_.cursorTip, last_.cursorHeight, last_.pointer,
                        last_.smear, &sprites_);
    }
    patch_.store(out);
}

bool FrameCompositor::composeYuv(const YuvView& frame, double time, const YuvView& out,
                                 std::optional<double> clock) {
    const double t = std::isfinite(time) ? time : 0;
    // On the caller's clock the steps are worked out as for frame times.
    std::optional<double> step;
    if (clock && std::isfinite(*clock)) {
        if (hasPrevious_) {
            const double d = *clock - previousClock_;
            step = d >= kLongestStep ? kLongestStep : std::max(d, spring::kMaxStep);
        }
        previousClock_ = *clock;
    }
    const spring::Steps steps = beginFrame(t, step);
    const bool sourceOk = usableYuv(frame);
    if (sourceOk) {
        measureMotion(frame.width(), frame.height());
    }
    if (!sourceOk || !usableYuv(out)) {
        endFrame(t);
        return false;
    }
    const int outW = out.width();
    const int outH = out.height();
    const int srcW = frame.width();
    const int srcH = frame.height();

    const QRectF rect = videoRect(outW, outH, settings_.padding, srcW, srcH);
    const QTransform camera = cameraTransform(outW, outH, rect, last_.drawn);

    // As in compose(): well below its size the video is drawn from a reduced
    // copy, `reduce` source pixels to one of its pixels.
    YuvView video = frame;
    double reduce = 1;
    if (const int halvings = prefilterHalvings(camera, rect, srcW, srcH, last_.blurRadius); halvings > 0) {
        if (const YuvView reduced = reduction_.yuv(frame, halvings); !reduced.isNull()) {
            video = reduced;
            reduce = std::ldexp(1.0, halvings);
        }
    }
    last_.reduction = reduce;
    if (last_.blurRadius > kMinBlurRadius) {
        if (blurredYuv_.width() != video.width() || blurredYuv_.height() != video.height()) {
            blurredYuv_ = YuvImage(video.width(), video.height());
        }
        const YuvView b = blurredYuv_.view();
        // Chroma planes are half the size, so the blur is half as long there.
        const double r = last_.blurRadius / reduce;
        const double a = last_.blurAngle;
        if (!b.isNull() && motionBlur_.applyPlane(video.y, b.y, r, a) &&
            motionBlur_.applyPlane(Plane{video.u.data, video.u.stride, b.u.width, b.u.height},
                                   b.u, r / 2, a) &&
            motionBlur_.applyPlane(Plane{video.v.data, video.v.stride, b.v.width, b.v.height},
                                   b.v, r / 2, a)) {
            video = b;
            last_.blurred = true;
        }
    }

    const QRectF covered = rect.isEmpty() ? QRectF() : camera.mapRect(rect);
    const QRect lumaArea = centresInside(covered).intersected(QRect(0, 0, outW, outH));
    const QRectF half(covered.x() / 2, covered.y() / 2, covered.width() / 2, covered.height() / 2);
    const QRect chromaArea =
        centresInside(half).intersected(QRect(0, 0, out.u.width, out.u.height));

    const YuvView background = yuvBackground(outW, outH);
    if (!background.isNull()) {
        copyAround(background.y, out.y, lumaArea);
        copyAround(background.u, out.u, chromaArea);
        copyAround(background.v, out.v, chromaArea);
    }
    if (!rect.isEmpty()) {
        // Source sample s lands at camera(rect.x + s x rect.w / srcW); a
        // sample of the reduced copy stands for `reduce` source samples.
        PlaneMapping luma;
        luma.scaleX = camera.m11() * rect.width() / srcW * reduce;
        luma.scaleY = camera.m22() * rect.height() / srcH * reduce;
        luma.offsetX = camera.m11() * rect.x() + camera.dx();
        luma.offsetY = camera.m22() * rect.y() + camera.dy();
        scaler_.scale(video.y, out.y, lumaArea, luma);
        // Chroma coordinates are half the luma ones on both sides, so only the
        // offsets halve.
        PlaneMapping chroma = luma;
        chroma.offsetX /= 2;
        chroma.offsetY /= 2;
        scaler_.scale(video.u, out.u, chromaArea, chroma);
        scaler_.scale(video.v, out.v, chromaArea, chroma);
        drawCornersYuv(out, rect, covered);
    }
    drawCursorYuv(out, t, steps, rect, srcW);
    last_.drawnFrame = true;
    endFrame(t);
    return true;
}

} // namespace orvane

namespace orvane {

bool FrameCompositor::composeEmpty(int sourceW, int sourceH, QImage& out, QColor fill) {
    if (!usableOutput(out) || sourceW <= 0 || sourceH <= 0) {
        return false;
    }
    const qreal dpr = out.devicePixelRatio();
    out.setDevicePixelRatio(1);
    const auto restoreDpr = qScopeGuard([&] { out.setDevicePixelRatio(dpr); });
    background_.fill(out);
    const QRectF rect = videoRect(out.width(), out.height(), settings_.padding, sourceW, sourceH);
    if (rect.isEmpty()) {
        return true;
    }
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(squirclePath(rect, videoCornerRadius(settings_.cornerRadius, out.width()),
                                  kCornerSmoothing));
    return true;
}

} // namespace orvane
