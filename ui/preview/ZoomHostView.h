#pragma once

#include "ZoomPlayer.h"

#include "render/AsyncBlur.h"
#include "render/FrameCompositor.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

namespace orvane {

namespace ui {
class MoviePlayer;
}

// The live preview: the movie framed as the export frames it (the canvas at
// the output aspect inside a 24-point margin, the background, the video inset
// by the padding with rounded corners, the zoom camera, the synthetic cursor
// and the motion blur), drawn by the same compositor the export uses, at view
// scale. Before the movie's first frame it shows the background and the empty
// video rectangle.
//
// When it draws: a display tick runs about every 16 ms while the widget is
// visible and there is something to show: while the movie plays, while a
// spring (camera or cursor) is still moving or the motion blur still shows,
// and once after any change (new settings, a seek, a resize, a new frame, a
// new background). Paused with everything settled, the ticks stop and nothing
// is composed, so a still picture costs nothing.
//
// The springs advance by the wall-clock time between ticks (a gap over 0.1 s,
// such as the first tick after a rest, counts as 1/60 s), so an edit glides at
// the same speed paused or playing, however often ticks come. A jump of the
// movie time by more than 0.25 s (a seek, the loop restart) snaps the camera
// and the cursor. At the end of the movie playback restarts at `loopStart`.
//
// A photograph background's blur is made on a worker thread (AsyncBlur); the
// previous background stays on screen until it is ready.
//
// Main thread only; the player must outlive the view.
class ZoomHostView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMargin = 24;          // points around the canvas
    static constexpr double kJump = 0.25;       // seconds of movie time that count as a jump
    static constexpr int kTickMs = 16;          // display tick while drawing
    // A spring counts as settled within these of its target (normalised
    // units; 1e-4 is a fifth of a pixel of a 1920-pixel video) and below this
    // speed (normalised units per second).
    static constexpr double kSettledDistance = 1e-4;
    static constexpr double kSettledSpeed = 1e-3;

    // Seconds on a monotonic clock; the tests inject their own.
    using Clock = std::function<double()>;

    ZoomHostView(ui::MoviePlayer& player, ZoomPlayer settings, QWidget* parent = nullptr,
                 Clock clock = {});
    ~ZoomHostView() override;

    // Takes new settings (the timeline and the look); the springs carry on.
    void update(const ZoomPlayer& settings);
    const ZoomPlayer& settings() const { return settings_; }

    // The canvas rectangle in widget points, for tests and hit testing.
    QRectF canvasRect() const;
    // Runs one tick now (the display timer calls it): composes when there is
    // something to show (see the class comment), else does nothing.
    void tick();
    // What the last composition worked out.
    const ComposedFrame& lastComposed() const { return compositor_->last(); }
    const QImage& canvas() const { return canvas_; }
    // Whether the display ticks are running.
    bool ticking() const { return timer_.isActive(); }
    // Ticks that ran, and how many of them composed a picture.
    int tickCount() const { return ticks_; }
    int composeCount() const { return composes_; }
    // The springs are at rest and no motion blur shows.
    bool settled() const { return settled_; }
    // Composes on every tick whether or not anything changed, as the preview
    // once did; the idle benchmark's baseline. Off by default.
    void setAlwaysDraw(bool always);
    // A background blur is being made on the worker.
    bool backgroundPending() const { return blurPending_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyBackground();
    void onBlurReady(std::uint64_t serial, const QImage& image);
    void loop();
    // Something changed: compose on the next tick, and run the ticks.
    void invalidate();
    void startTicks();
    bool computeSettled() const;
    bool playing() const;

    ui::MoviePlayer& player_;
    ZoomPlayer settings_;
    Clock clock_;
    std::unique_ptr<FrameCompositor> compositor_;
    int bgIndex_ = -1;
    double bgBlur_ = -1;
    int bgOutputWidth_ = -1;
    bool blurPending_ = false;
    QImage canvas_;       // device pixels, reused between ticks
    QTimer timer_;
    double lastTick_ = 0;       // clock seconds of the previous tick
    double lastVideoT_ = -999;  // movie time seen on the previous composition
    bool dirty_ = true;         // something changed since the last composition
    bool settled_ = false;
    bool alwaysDraw_ = false;
    const void* pictureBits_ = nullptr; // the frame drawn last: its pixels and time
    double pictureTime_ = -1;
    std::uint64_t picture_ = 0;
    int ticks_ = 0;
    int composes_ = 0;
    // Last: its worker is joined before anything it could report to goes.
    std::unique_ptr<AsyncBlur> blur_;
};

} // namespace orvane
