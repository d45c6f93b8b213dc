#pragma once

#include "ZoomPlayer.h"

#include "render/FrameCompositor.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace orvane {

namespace ui {
class MoviePlayer;
}

// The live preview: the movie framed as the export frames it (the canvas at
// the output aspect inside a 24-point margin, the background, the video inset
// by the padding with rounded corners, the zoom camera, the synthetic cursor
// and the motion blur), drawn on every display tick by the same compositor the
// export uses, at view scale. Ticks run at about 60 Hz while the widget is
// visible and stop while it is hidden. A jump of the movie time by more than
// 0.25 s (a seek, the loop restart) snaps the camera and the cursor. At the end
// of the movie playback restarts at `loopStart`. Main thread only; the player
// must outlive the view.
class ZoomHostView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMargin = 24;          // points around the canvas
    static constexpr double kJump = 0.25;       // seconds of movie time that count as a jump

    ZoomHostView(ui::MoviePlayer& player, ZoomPlayer settings, QWidget* parent = nullptr);
    ~ZoomHostView() override;

    // Takes new settings (the timeline and the look); the springs carry on.
    void update(const ZoomPlayer& settings);
    const ZoomPlayer& settings() const { return settings_; }

    // The canvas rectangle in widget points, for tests and hit testing.
    QRectF canvasRect() const;
    // Runs one tick now (the display timer calls it); exposed for tests.
    void tick();
    // What the last tick composed.
    const ComposedFrame& lastComposed() const { return compositor_->last(); }
    const QImage& canvas() const { return canvas_; }
    bool ticking() const { return timer_.isActive(); }
    int tickCount() const { return ticks_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyBackground();
    void loop();

    ui::MoviePlayer& player_;
    ZoomPlayer settings_;
    std::unique_ptr<FrameCompositor> compositor_;
    int bgIndex_ = -1;
    double bgBlur_ = -1;
    int bgOutputWidth_ = -1;
    QImage canvas_;       // device pixels, reused between ticks
    QTimer timer_;
    double lastVideoT_ = -999;
    int ticks_ = 0;
};

} // namespace orvane
