#pragma once

#include "editing/BarScale.h"
#include "editing/TimelineGeometry.h"

#include "timeline/Section.h"
#include "timeline/ZoomEffect.h"

#include <QColor>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace orvane {

// The editor strip under the preview: the video track (scrub, trim handles) and
// the zoom track (one pill per segment: select, move, resize at either edge, and
// an add button that follows the mouse through the free gaps), with the playhead
// across both. It holds no document state: the owner sets the inputs on every
// change and connects the callbacks to the session's edit operations. Main
// thread only.
class TimelineBar : public QWidget {
    Q_OBJECT

public:
    // Inputs, set by the owner.
    struct Inputs {
        double duration = 0.001; // seconds; the owner passes max(duration, 0.001)
        std::vector<ZoomEffect> zooms;
        double current = 0; // playhead, seconds
        std::optional<int> selected;
        double trimStart = 0;
        double trimEnd = 0;
        bool videoSelected = false;
        // The take's sections, in take time (empty: undivided), and the
        // selected one. Cut sections are hatched, sped-up ones labelled.
        std::vector<Section> sections;
        std::optional<int> selectedSection;
        friend bool operator==(const Inputs&, const Inputs&) = default;
    };

    // Callbacks, each optional.
    std::function<void(double)> onSeek;                 // scrub or press on the video track
    std::function<void(int)> onSelect;                  // a segment was pressed
    std::function<void()> onSelectVideo;                // the video track was clicked
    std::function<void(double, double)> onTrim;         // new trim range during a handle drag
    std::function<void(int, bool, double)> onBandTrim;  // index, start edge?, new edge time
    std::function<void(int, double)> onBandMove;        // index, new start
    std::function<void(double)> onAddZoom;              // time under the add button's centre
    std::function<void()> onEditBegin;                  // first movement of an editing drag
    std::function<void(int)> onSelectSection;           // the section clicked on the video track
    std::function<void(int, double)> onSectionBoundary; // index of the section it starts, new time

    explicit TimelineBar(QWidget* parent = nullptr);

    // Repaints only what changed: nothing for equal inputs, the playhead's
    // strips when only `current` moved.
    void setInputs(Inputs inputs);
    const Inputs& inputs() const { return given_; }
    // The squeezed scale the bar draws on (cut parts as narrow gaps).
    const BarScale& scale() const { return scale_; }
    void setColors(QColor accent, QColor videoTint);

    // The take's sound as peaks (0...1) per bucket of `bucketSeconds` from
    // time 0, already mixed at the current volumes. Non-empty peaks show as a
    // strip under the video track and make the bar kWaveHeight + kTrackGap
    // taller; empty peaks (a take without sound) remove it again.
    void setWaveform(std::vector<float> peaks, double bucketSeconds);
    bool hasWaveform() const { return !wave_.empty(); }
    // Where the sound strip is (empty without sound), for tests and painting.
    QRectF waveRect() const;

    // The zoom-track gesture, exposed for tests: called with the press x, the
    // horizontal translation so far and the bar width, in points.
    void onZoomDrag(double startX, double dx, double w);
    void onZoomDragEnd(double startX, double dx, double w);

    // Where the add button would sit now (left x), if anywhere.
    std::optional<double> addButtonLeft() const;
    // Whether the mouse is over the bar (edge grips show while it is).
    bool hovering() const { return hovering_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct ZoomDrag {
        int idx = -1;
        TimelineGeometry::DragMode mode = TimelineGeometry::DragMode::move;
        double baseS = 0;
        double baseE = 0;
    };
    enum class Gesture { none, video, leftHandle, rightHandle, zoom, boundary };

    double width_() const { return static_cast<double>(width()); }
    // The bottom of the part that seeks when pressed: the video track and the
    // sound strip under it.
    double scrubBottom() const;
    double zoomTop() const;
    double barHeight() const;
    // The peak of each pixel column of the strip, for a bar `w` points wide.
    const std::vector<float>& waveColumns(int w) const;
    QRectF leftHandleRect() const;
    QRectF rightHandleRect() const;
    void handleTrimDrag(double dx);
    // The boundary between two sections within a few points of x: the index
    // of the section it starts.
    std::optional<int> boundaryAt(double x) const;
    void paintSections(class QPainter& p) const;
    // The strip the playhead at x covers; the whole bar for x < 0.
    QRect playheadArea(double x) const;

    void paintVideoTrack(class QPainter& p) const;
    void paintWaveform(class QPainter& p) const;
    void paintZoomTrack(class QPainter& p) const;
    void paintPlayhead(class QPainter& p) const;

    // The inputs on the bar's scale: every time in bar time (BarScale).
    // Callbacks hand take times back.
    Inputs barInputs();
    double take(double barTime) const { return scale_.toTake(barTime); }

    Inputs given_; // as the owner set them, in take time
    BarScale scale_;
    Inputs in_;    // the same in bar time; everything below works on these
    int boundary_ = -1;           // the boundary being dragged
    bool boundaryMoved_ = false;  // its drag has recorded an undo step
    QColor accent_{0x4F, 0x7C, 0xFF};
    QColor videoTint_{0x3A, 0x3F, 0x4B};
    std::vector<float> wave_;
    double waveBucket_ = 0.01; // seconds per peak
    // waveColumns(), kept for the width and duration it was made for.
    mutable std::vector<float> waveColumns_;
    mutable int waveColumnsWidth_ = -1;
    mutable double waveColumnsDuration_ = -1;

    // Transient gesture state.
    Gesture gesture_ = Gesture::none;
    double pressX_ = 0;
    std::optional<double> trimBase_;
    bool vidDragged_ = false;
    std::optional<ZoomDrag> zoomDrag_;
    bool zoomMoved_ = false;
    bool hovering_ = false;
    std::optional<double> hoverX_;
    // Where the playhead was last painted (points; -1: not yet), so that a
    // move repaints the strip it leaves.
    mutable double lastPlayheadX_ = -1;
};

} // namespace orvane
