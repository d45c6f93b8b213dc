#pragma once

#include "render/Background.h"
#include "render/CursorArt.h"
#include "render/CursorDrawing.h"
#include "render/ImageFilter.h"
#include "render/PlaneScaler.h"
#include "render/SourceReduction.h"
#include "render/Spring.h"
#include "render/YuvPatch.h"
#include "media/YuvImage.h"
#include "timeline/Cam.h"
#include "timeline/Timeline.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QColor>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvane {

// The look settings the compositor needs, as plain values (the Recorder holds
// them; the export and the preview copy them in).
struct CompositorSettings {
    double smoothness = 0.4;  // 0...1: shapes the synthetic cursor and its spring
    double motionBlur = 0.5;  // 0...1; at or below 0.001 nothing is blurred
    double padding = 0.08;    // fraction of the output's shorter side, each side
    double cornerRadius = 14; // per 640 pixels of output width
};

// One decoded frame as the decoder hands it over: BGRA bytes (B, G, R, A in
// memory), borrowed for the call only. Frames are taken as opaque: when the
// alpha bytes are not 255 (a BGR0 frame), the compositor draws from an opaque
// copy, which costs one pass over the frame.
struct SourceFrame {
    const unsigned char* data = nullptr;
    int width = 0;             // pixels
    int height = 0;            // pixels
    std::ptrdiff_t stride = 0; // bytes per row, at least width x 4
    double time = 0;           // presentation time, seconds; non-finite counts as 0
    // Names the pixels: a nonzero value equal to the previous call's says the
    // pixels are the same as then (the preview drawing one decoded frame on
    // several ticks), so work derived from them alone may be reused. 0: unknown.
    std::uint64_t picture = 0;
};

// What compose() worked out for the last frame, for the caller and for tests.
struct ComposedFrame {
    double time = 0;          // the frame time used, seconds
    double dt = 0;            // time step the springs advanced, seconds
    int substeps = 0;         // equal sub-steps of dt
    CamState target;          // Timeline::state(time)
    CamState simulated;       // camera spring position (not clamped)
    CamState velocity;        // camera spring velocity (x, y, w per second)
    CamState drawn;           // the clamped camera the frame is drawn with
    double reduction = 1;     // source pixels per pixel of the copy drawn (1: the source itself)
    double blurRadius = 0;    // motion blur radius, source pixels (0: none)
    double blurAngle = 0;     // radians, y-up (0 = right, pi/2 = up)
    bool blurred = false;     // the source was blurred (radius above 0.75)
    bool drawnFrame = false;  // false: the frame was skipped
    bool cursorShown = false; // the timeline has clicks or cursor samples
    bool pointer = false;     // hand rather than arrow
    QPointF cursorTip;        // output pixels
    QPointF cursorPosition;   // cursor spring position, normalised (y down)
    QPointF cursorTarget;     // where the cursor spring is heading, normalised
    QPointF cursorVelocity;   // cursor spring velocity, normalised units per second
    double cursorHeight = 0;  // output pixels
    QPointF smear;            // cursor smear vector, output pixels
};

// Draws output frames: background, the video inside its rounded rectangle under
// the smoothed camera (blurred along the camera's motion), and the synthetic
// cursor. Where the video shows at less than 0.75 of its size (a small
// preview, a 9:16 export of a wide screen) it is drawn from a box-reduced copy
// (HalfScale.h), so fine detail does not alias into moire. It is the one renderer of Orvane: the export calls it for every
// source frame in order, the live preview at view scale; each keeps its own
// instance, since the springs and the motion blur carry state from frame to
// frame.
//
// All geometry follows the output image it is given: the video rectangle, the
// corner radius and the cursor size scale with it, so one compositor draws the
// same picture at any size. Buffers (the blurred source, the background at the
// output size) are made on first use and reused while the sizes stay.
//
// Not thread-safe: one thread at a time per instance (the export's compose
// worker, or the main thread for the preview). The Timeline is held by value.
class FrameCompositor {
public:
    FrameCompositor(Timeline timeline, CompositorSettings settings, Background background,
                    CursorImages cursors = CursorImages::shared());

    // Composes the frame into `out`, a caller-owned image of any size in
    // Format_ARGB32_Premultiplied or Format_RGB32 (the output is opaque). The
    // drawing is in out's pixels whatever its device pixel ratio says.
    // Returns false when the frame is skipped: no pixel data, a size or
    // stride that does not fit, or an unusable `out`. A skipped frame still
    // advances the camera simulation (and the previous-frame time), but not the
    // cursor spring, and leaves `out` untouched.
    //
    // The springs advance by the difference of frame times (the export's
    // clock), unless `step` gives the seconds to advance instead: the live
    // preview passes the wall-clock time since its previous tick, so a glide
    // keeps its real speed while paused (when the frame time stands still)
    // however often it draws. A step outside [0, 0.1] (or not finite) counts
    // as 1/60 s.
    bool compose(const SourceFrame& frame, QImage& out, std::optional<double> step = std::nullopt);

    // What the view shows before the movie's first frame: the background and
    // the video's rectangle (for a source of sourceW x sourceH pixels) filled
    // with `fill`, with its rounded corners, unzoomed. The springs are not
    // touched. Returns false for an unusable `out` or source size.
    bool composeEmpty(int sourceW, int sourceH, QImage& out, QColor fill = Qt::black);

    // The same picture drawn straight into an I420 picture (BT.709, limited
    // range) for the encoder, from an I420 source frame shown at `time`
    // seconds: the video is resampled plane by plane, and only the small
    // parts QPainter must draw (the rounded corners, the cursor) go through
    // BGRA. This saves the export two whole-frame colour conversions and
    // moves 1.5 bytes per pixel instead of 4. The same springs, blur and
    // geometry as compose(); one instance should use one of the two. Skips
    // (returns false) like compose() for an empty source or output.
    //
    // `clock`, when given, is the time the springs run on instead of `time`:
    // the export of a take with cuts and speeds shows take time `time` at
    // output time `clock`, and the camera moves at the output's pace (across
    // a cut it goes on from where it was, and in a sped-up part it keeps a
    // speed the eye can follow).
    bool composeYuv(const YuvView& frame, double time, const YuvView& out,
                    std::optional<double> clock = std::nullopt);

    // What the last compose() call worked out.
    const ComposedFrame& last() const { return last_; }

    // Settings may change between frames (the preview's inspector), and so may
    // the background and the timeline (an edit). None of them resets the
    // springs, so an edit glides rather than jumps.
    void setSettings(const CompositorSettings& settings) { settings_ = settings; }
    void setBackground(Background background) {
        background_ = std::move(background);
        backgroundYuvStale_ = true;
    }
    void setTimeline(Timeline timeline) { timeline_ = std::move(timeline); }
    const CompositorSettings& settings() const { return settings_; }

    // Forgets the springs and the previous frame, as at the start of an export
    // (the preview calls it after a seek).
    void reset();

private:
    spring::Steps beginFrame(double t, std::optional<double> step);
    void endFrame(double t);
    void stepCamera(double t, const spring::Steps& steps);
    void measureMotion(int sourceW, int sourceH);
    void drawVideo(QImage& out, const QImage& source, const QRectF& part, const QRectF& target,
                   const QRectF& video, const QImage& background);
    bool stepCursor(double t, const spring::Steps& steps, const QRectF& video, int sourceW,
                    double outW, double outH);
    void drawCursor(QImage& out, double t, const spring::Steps& steps, const QRectF& video,
                    int sourceW);
    YuvView yuvBackground(int width, int height);
    void drawCornersYuv(const YuvView& out, const QRectF& video, const QRectF& covered);
    void drawCursorYuv(const YuvView& out, double t, const spring::Steps& steps,
                       const QRectF& video, int sourceW);

    Timeline timeline_;
    CompositorSettings settings_;
    Background background_;
    CursorImages cursors_;

    // Per-export simulation state.
    bool hasPrevious_ = false;
    double previousTime_ = 0;
    double previousClock_ = 0; // composeYuv's clock at the previous frame
    bool primed_ = false;
    CamState cam_{0.5, 0.5, 1};
    CamState camVelocity_{0, 0, 0};
    CamState previousDrawn_{0.5, 0.5, 1};
    bool cursorPrimed_ = false;
    QPointF cursor_{0.5, 0.5};
    QPointF cursorVelocity_{0, 0};

    // Reused buffers.
    SourceReduction reduction_;
    MotionBlur motionBlur_;
    QImage blurred_;
    QImage opaque_; // opaque copy of frames whose alpha bytes are not 255
    CursorSpriteCache sprites_;

    // Buffers of the I420 path.
    PlaneScaler scaler_;
    YuvImage blurredYuv_;
    QImage backgroundBgra_;   // the background at the output size
    YuvImage backgroundYuv_;  // the same in I420
    bool backgroundYuvStale_ = true;
    YuvPatch patch_;

    ComposedFrame last_;
};

} // namespace orvane
