#include "ZoomHostView.h"

#include "render/BackgroundPresets.h"
#include "render/LookSettings.h"
#include "render/OutputGeometry.h"
#include "ui/player/MoviePlayer.h"

#include <QMouseEvent>
#include <QPainter>

#include <chrono>
#include <cmath>

namespace orvane {


ZoomHostView::ZoomHostView(ui::MoviePlayer& player, ZoomPlayer settings, QWidget* parent,
                           Clock clock)
    : QWidget(parent), player_(player), settings_(std::move(settings)), clock_(std::move(clock)) {
    if (!clock_) {
        clock_ = [] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                .count();
        };
    }
    lastTick_ = clock_();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(160, 120);
    compositor_ = std::make_unique<FrameCompositor>(settings_.timeline,
                                                    compositorSettings(settings_.look),
                                                    Background::fromGradient(0));
    // The worker hands its result over as a queued call; one still in the
    // queue when the view goes is dropped with it.
    blur_ = std::make_unique<AsyncBlur>([this](std::uint64_t serial, QImage image) {
        QMetaObject::invokeMethod(
            this, [this, serial, image = std::move(image)] { onBlurReady(serial, image); },
            Qt::QueuedConnection);
    });
    applyBackground();
    // The sound is heard as the look says, like the picture is drawn.
    player_.setSoundMix(settings_.look.sound);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &ZoomHostView::tick);
    connect(&player_, &ui::MoviePlayer::playedToEnd, this, &ZoomHostView::loop);
    // What makes a paused picture change: a new frame, a new playhead (a seek),
    // and playback starting or stopping.
    connect(&player_, &ui::MoviePlayer::frameChanged, this, &ZoomHostView::invalidate);
    connect(&player_, &ui::MoviePlayer::playingChanged, this, &ZoomHostView::invalidate);
    connect(&player_, &ui::MoviePlayer::timeChanged, this, [this](double t) {
        if (t != lastVideoT_) {
            invalidate();
        }
    });
}

ZoomHostView::~ZoomHostView() = default;

void ZoomHostView::update(const ZoomPlayer& settings) {
    settings_ = settings;
    player_.setSoundMix(settings_.look.sound);
    // The springs carry on, so an edit glides rather than jumps.
    compositor_->setTimeline(settings_.timeline);
    compositor_->setSettings(compositorSettings(settings_.look));
    applyBackground();
    invalidate();
    tick();
}

void ZoomHostView::applyBackground() {
    const int index = std::clamp(settings_.look.background, 0, kGradientCount + kBackgroundImageCount - 1);
    const double blur = std::clamp(settings_.look.bgBlur, 0.0, 1.0);
    // The blur scales with the export's output width, so the preview shows the
    // background the export will draw.
    const auto out = outputSize(settings_.videoWidth, settings_.videoHeight,
                                outputAspect(settings_.look, settings_.videoWidth,
                                                            settings_.videoHeight),
                                settings_.look.padding);
    const int outputWidth = out ? out->width : kFallbackVideoWidth;
    if (index == bgIndex_ && blur == bgBlur_ && outputWidth == bgOutputWidth_) {
        return;
    }
    bgIndex_ = index;
    bgBlur_ = blur;
    bgOutputWidth_ = outputWidth;
    Background::PreviewPlan plan = Background::planPreview(index, blur, outputWidth);
    if (plan.sigma > 0) {
        // The blur goes to the worker; the background shown now stays until
        // the newest request is done.
        blur_->request(plan.sharp.image(), plan.sigma);
        blurPending_ = true;
        return;
    }
    // A gradient or a sharp photograph is ready now; a blur still being made
    // for an earlier setting must not replace it.
    blur_->cancel();
    blurPending_ = false;
    compositor_->setBackground(std::move(plan.sharp));
    invalidate();
}

void ZoomHostView::onBlurReady(std::uint64_t serial, const QImage& image) {
    if (serial != blur_->latest()) {
        return;
    }
    blurPending_ = false;
    compositor_->setBackground(Background::fromImage(image));
    invalidate();
}

QRectF ZoomHostView::canvasRect() const {
    const double iw = width() - 2.0 * kMargin;
    const double ih = height() - 2.0 * kMargin;
    const double outputAspect = orvane::outputAspect(settings_.look, settings_.videoWidth,
                                                            settings_.videoHeight);
    if (iw <= 0 || ih <= 0 || !(outputAspect > 0)) {
        return {};
    }
    double w = iw;
    double h = w / outputAspect;
    if (ih < h) {
        h = ih;
        w = h * outputAspect;
    }
    return {(width() - w) / 2, (height() - h) / 2, w, h};
}

bool ZoomHostView::playing() const {
    return player_.isPlaying();
}

void ZoomHostView::invalidate() {
    dirty_ = true;
    startTicks();
}

void ZoomHostView::setAlwaysDraw(bool always) {
    alwaysDraw_ = always;
    invalidate();
}

void ZoomHostView::startTicks() {
    if (isVisible() && !timer_.isActive()) {
        timer_.start();
    }
}

bool ZoomHostView::computeSettled() const {
    const ComposedFrame& f = compositor_->last();
    if (f.blurred) {
        return false; // the next picture is sharper
    }
    const auto still = [](double position, double target, double velocity) {
        return std::abs(position - target) < kSettledDistance && std::abs(velocity) < kSettledSpeed;
    };
    if (!still(f.simulated.x, f.target.x, f.velocity.x) ||
        !still(f.simulated.y, f.target.y, f.velocity.y) ||
        !still(f.simulated.w, f.target.w, f.velocity.w)) {
        return false;
    }
    return !f.cursorShown ||
           (still(f.cursorPosition.x(), f.cursorTarget.x(), f.cursorVelocity.x()) &&
            still(f.cursorPosition.y(), f.cursorTarget.y(), f.cursorVelocity.y()));
}

void ZoomHostView::tick() {
    ++ticks_;
    // The springs advance by the real time since the previous tick, whether
    // or not that tick composed.
    const double now = clock_();
    const double step = now - lastTick_;
    lastTick_ = now;

    const bool isPlaying = playing();
    if (!isPlaying && !dirty_ && settled_ && !alwaysDraw_) {
        timer_.stop();
        return;
    }
    const QRectF canvas = canvasRect();
    if (canvas.isEmpty()) {
        timer_.stop();
        return;
    }
    // Taking the frame may report a new one (frameChanged): that is the one
    // drawn now, so the change is consumed afterwards.
    auto frame = player_.currentFrame();
    dirty_ = false;

    const qreal dpr = devicePixelRatioF();
    const QSize pixels(std::max(2, static_cast<int>(std::lround(canvas.width() * dpr))),
                       std::max(2, static_cast<int>(std::lround(canvas.height() * dpr))));
    if (canvas_.size() != pixels) {
        canvas_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        canvas_.setDevicePixelRatio(dpr);
    }

    if (!frame || frame->image.isNull()) {
        // No picture yet: the frame it will sit in.
        const int w = settings_.videoWidth > 0 ? settings_.videoWidth : 1600;
        const int h = settings_.videoHeight > 0 ? settings_.videoHeight
                                                : static_cast<int>(std::lround(w / std::max(settings_.aspect, 0.01)));
        compositor_->composeEmpty(w, h, canvas_);
    } else {
        double t = player_.currentTime();
        if (!std::isfinite(t)) {
            t = 0;
        }
        // A seek or the loop restart: start the springs afresh (they snap).
        if (std::abs(t - lastVideoT_) > kJump) {
            compositor_->reset();
        }
        lastVideoT_ = t;
        const QImage& img = frame->image;
        if (img.constBits() != pictureBits_ || frame->time != pictureTime_) {
            pictureBits_ = img.constBits();
            pictureTime_ = frame->time;
            ++picture_;
        }
        SourceFrame src;
        src.data = img.constBits();
        src.width = img.width();
        src.height = img.height();
        src.stride = img.bytesPerLine();
        src.time = t;
        src.picture = picture_;
        compositor_->compose(src, canvas_, step);
    }
    ++composes_;
    // Nothing moves in the empty rectangle.
    settled_ = !frame || frame->image.isNull() || computeSettled();
    if (!isPlaying && settled_ && !alwaysDraw_) {
        timer_.stop();
    } else {
        startTicks();
    }
    QWidget::update();
}

void ZoomHostView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (!canvas_.isNull()) {
        p.drawImage(canvasRect(), canvas_);
    }
}

void ZoomHostView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && settings_.onBackgroundTap) {
        settings_.onBackgroundTap();
    }
}

void ZoomHostView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    invalidate();
}

void ZoomHostView::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

void ZoomHostView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    invalidate();
    tick();
}

void ZoomHostView::loop() {
    player_.seekExact(settings_.loopStart);
    player_.play();
}

} // namespace orvane
