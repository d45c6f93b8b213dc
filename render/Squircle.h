#pragma once

#include <QPainterPath>
#include <QRectF>

namespace orvane {

// The rounded outline of the video: a rectangle whose corners are cubic curves
// that reach (smoothing + 1) x radius along each edge, for a softer start than a
// circular arc. The radius is limited to half the shorter side; a radius of 0 or
// less gives the plain rectangle. The export uses smoothing 0.6.
//
// The path starts at (minX + e, minY) and runs along the minY edge first, then
// up the maxX side, back along maxY and down the minX side, with each control
// point 62% of the way from its curve's end point to the rectangle's corner.
// Pure; any thread.
QPainterPath squirclePath(const QRectF& rect, double radius, double smoothing);

// The four pieces of `rect` that squirclePath() cuts away, as closed paths
// (empty for a radius of 0 or less). Painting over them is the cheap way to
// round a picture already drawn into the rectangle. With an `outset`, each
// piece also reaches that far beyond the rectangle's two edges, so that the
// pixels the edges cut through are covered fully near a corner: otherwise
// anti-aliasing leaves a faint square outline of mixed pixels around it.
QPainterPath squircleCornersPath(const QRectF& rect, double radius, double smoothing,
                                 double outset = 0);

} // namespace orvane
