#include "ZoomHostView.h"

#include "render/BackgroundPresets.h"
#include "render/OutputGeometry.h"
#include "ui/player/MoviePlayer.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace orvane {

namespace {
CompositorSettings compositorSettings(const ZoomPlayer& s) {
    CompositorSettings c;
    c.smoothness = s.smoothness;
    c.motionBlur = s.motionBlur;
    c.padding = s.padding;
    c.cornerRadius = s.cornerRadius;
    return c;
}
} // namespace

ZoomHostView::ZoomHostView(ui::MoviePlayer& player, ZoomPlayer settings, QWidget* parent)
    : QWidget(parent), player_(player), settings_(std::move(settings)) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(160, 120);
    compositor_ = std::make_unique<FrameCompositor>(settings_.timeline,
                                                    compositorSettings(settings_),
                                                    Background::fromGradient(0));
    applyBackground();
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(16);
    connect(&timer_, &QTimer::timeout, this, &ZoomHostView::tick);
    connect(&player_, &ui::MoviePlayer::playedToEnd, this, &ZoomHostView::loop);
}

ZoomHostView::~ZoomHostView() = default;

void ZoomHostView::update(const ZoomPlayer& settings) {
    settings_ = settings;
    // The springs carry on, so an edit glides rather than jumps.
    compositor_->setTimeline(settings_.timeline);
    compositor_->setSettings(compositorSettings(settings_));
    applyBackground();
    tick();
}

void ZoomHostView::applyBackground() {
    const int index = std::clamp(settings_.background, 0, kGradientCount + kBackgroundImageCount - 1);
    const double blur = std::clamp(settings_.bgBlur, 0.0, 1.0);
    // The blur scales with the export's output width, so the preview shows the
    // background the export will draw.
    const auto out = outputSize(settings_.videoWidth, settings_.videoHeight, settings_.outputAspect,
                                settings_.padding);
    const int outputWidth = out ? out->width : kFallbackVideoWidth;
    if (index == bgIndex_ && blur == bgBlur_ && outputWidth == bgOutputWidth_) {
        return;
    }
    bgIndex_ = index;
    bgBlur_ = blur;
    bgOutputWidth_ = outputWidth;
    compositor_->setBackground(Background::preparePreview(index, blur, outputWidth));
}

QRectF ZoomHostView::canvasRect() const {
    const double iw = width() - 2.0 * kMargin;
    const double ih = height() - 2.0 * kMargin;
    if (iw <= 0 || ih <= 0 || !(settings_.outputAspect > 0)) {
        return {};
    }
    double w = iw;
    double h = w / settings_.outputAspect;
    if (ih < h) {
        h = ih;
        w = h * settings_.outputAspect;
    }
    return {(width() - w) / 2, (height() - h) / 2, w, h};
}

void ZoomHostView::tick() {
    const QRectF canvas = canvasRect();
    if (canvas.isEmpty()) {
        return;
    }
    auto frame = player_.currentFrame();
    if (!frame || frame->image.isNull()) {
        return;
    }
    double t = player_.currentTime();
    if (!std::isfinite(t)) {
        t = 0;
    }
    // A seek or the loop restart: start the springs afresh (they snap).
    if (std::abs(t - lastVideoT_) > kJump) {
        compositor_->reset();
    }
    lastVideoT_ = t;

    const qreal dpr = devicePixelRatioF();
    const QSize pixels(std::max(2, static_cast<int>(std::lround(canvas.width() * dpr))),
                       std::max(2, static_cast<int>(std::lround(canvas.height() * dpr))));
    if (canvas_.size() != pixels) {
        canvas_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        canvas_.setDevicePixelRatio(dpr);
    }
    const QImage& img = frame->image;
    SourceFrame src;
    src.data = img.constBits();
    src.width = img.width();
    src.height = img.height();
    src.stride = img.bytesPerLine();
    src.time = t;
    compositor_->compose(src, canvas_);
    ++ticks_;
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
    timer_.start();
}

void ZoomHostView::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

void ZoomHostView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    tick();
}

void ZoomHostView::loop() {
    player_.seekExact(settings_.loopStart);
    player_.play();
}

} // namespace orvane
