#pragma once

#include "Anchor.h"
#include "Cam.h"
#include "CursorSample.h"
#include "Moment.h"
#include "SharedTrack.h"
#include "ZoomEffect.h"

#include <optional>
#include <vector>

namespace orvane {

// The derived, read-only zoom timeline of one take: keyframes built from the zoom
// segments, the clicks (for the synthetic cursor and the click pulse) and the
// smoothed cursor track. A value: the preview and the export each hold their own
// copy. Copies share only the read-only buffer of the cursor track (which is
// smoothed once per take and can be millions of bytes), never anything a copy
// can change. All query functions are pure functions of t and safe to call from
// any thread on a const copy.
struct Timeline {
    // What the keyframes alone say about one instant.
    struct Frame {
        double cx = 0.5; // centre x, clamped so that the view stays inside the frame
        double cy = 0.5;
        double w = 1;      // visible width fraction
        double zoom = 2.2; // zoom level of the current keyframe pair (the larger)
        double smooth = 0.8; // smoothness of the current segment
        std::optional<double> fx;
        std::optional<double> fy;

        friend bool operator==(const Frame&, const Frame&) = default;
    };

    std::vector<Anchor> anchors;      // keyframes, strictly increasing in t
    std::vector<Moment> clicks;       // sorted by t
    SharedTrack track;                // smoothed cursor samples, in time order
    double duration = 0;              // seconds
    double zoom = 2.2;                // default zoom level; build() sets the session's
    // The recording's own pictures show the cursor (a desktop that could not
    // send it apart): no cursor is drawn over them.
    bool cursorInPicture = false;

    // Replaces the keyframes from the segments (four each, plus one full-frame
    // keyframe at each end); sets duration, zoom and the sorted clicks. Leaves
    // `track` alone.
    void build(const std::vector<ZoomEffect>& zooms, const std::vector<Moment>& clicks,
               double duration, double defaultZoom);

    // Camera path (keyframes only): where the camera is and how far it is zoomed.
    Frame frame(double t) const;
    // Camera target: the frame with its centre pulled toward the focus lock or the
    // cursor in proportion to the zoom progress, clamped inside the frame.
    CamState state(double t) const;

    // Cursor position, normalised (y down): the track when there is one, else the
    // synthetic cursor gliding between clicks. `smoothness` (0...1) only shapes
    // the synthetic glide.
    NormPoint cursor(double t, double smoothness) const;
    NormPoint synthCursor(double t, double smoothness) const;
    // Cursor scale: 0.7 at a click, back to 1 within 0.14 s on either side.
    double cursorScale(double t) const;
    // Whether the pointing hand was showing at t.
    bool isPointer(double t) const;

private:
    Frame anchorFrame(const Anchor& a) const;
};

} // namespace orvane
