#pragma once

// Helpers shared by the render tests: synthetic source frames, timelines and
// picture comparison with tolerance.

#include "TimelineFixtures.h"
#include "render/FrameCompositor.h"
#include "timeline/Timeline.h"

#include <QImage>
#include <QString>
#include <optional>
#include <vector>

namespace orvane::test {

// A recognisable "screen": coloured tiles, a dark grid and a bright diagonal, so
// that scaling, placement and blur show. Format_RGB32 (BGRA in memory, alpha 255).
QImage makeScreen(int width, int height);

// The frame view the compositor takes, over `image`'s pixels.
SourceFrame frameOf(const QImage& image, double time);

// A timeline with one segment per entry (and no clicks unless given). The
// segments come from segment() of TimelineFixtures.h.
Timeline timelineWith(const std::vector<ZoomEffect>& zooms, const std::vector<Moment>& clicks = {},
                      double duration = 10);

// An opaque square test image for cursor drawing.
QImage solidSquare(int side, QColor colour);

// Picture comparison: the largest channel difference and how many pixels
// differ by more than `threshold` in any channel.
struct PictureDiff {
    int maxChannelError = 0;
    long differing = 0;
};
PictureDiff comparePictures(const QImage& a, const QImage& b, int threshold = 2);

// Compares `actual` with references/<name>.png. With ORVANE_UPDATE_REFERENCES=1
// in the environment the reference is rewritten instead (and the check passes).
// Returns an empty string on success, else what differed.
QString checkReference(const QImage& actual, const QString& name, int maxChannelError,
                       double maxDifferingFraction);

} // namespace orvane::test
