#pragma once

#include "render/CursorArt.h"

#include <QImage>
#include <QPointF>
#include <QRectF>

class QPainter;

namespace orvane {

// Hot spots, as fractions of the drawn size from the image's top-left corner:
// the arrow's tip and the hand's fingertip (on the top edge).
inline constexpr double kArrowHotX = 0.015625;
inline constexpr double kArrowHotY = 0.0078125;
inline constexpr double kHandHotX = 0.296875;
inline constexpr double kHandHotY = 0.0;

// Drop shadow under a still cursor, output pixels: 2 pixels down, a blur of 4
// (a Gaussian of sigma 2), black at 45% opacity.
inline constexpr double kCursorShadowOffsetY = 2.0;
inline constexpr double kCursorShadowSigma = 2.0;
inline constexpr double kCursorShadowAlpha = 0.45;

// The square (height x height) a cursor image is drawn into so that its hot
// spot lands on `tip`.
QRectF cursorRect(QPointF tip, double height, bool pointer);

// How many translucent copies a smear of this length (pixels) draws: 0 for a
// smear of 1.2 or less (one image with a shadow instead), else the integer part
// of length / 4 clamped to [3, 9].
int smearCopyCount(double length);

// Keeps the last cursor picture drawArrowCursor made: the art scaled to its
// height at its sub-pixel position, with or without the shadow beneath it. A
// cursor drawn at the same size frame after frame is then a plain copy, and
// its shadow is blurred only once. Owned by one renderer; one thread at a time.
class CursorSpriteCache {
public:
    // The picture of `art` drawn into a height x height square at sub-pixel
    // offset `frac`; its top-left corner belongs at the square's whole-pixel
    // corner minus padding() on both axes.
    const QImage& sprite(const QImage& art, double height, QPointF frac, bool shadow);
    static int padding();

private:
    qint64 artKey_ = 0;
    double height_ = -1;
    QPointF frac_{-1, -1};
    bool shadow_ = false;
    QImage sprite_;
};

// Draws the hand (pointer) or the arrow as a height x height square placed by
// its hot spot at `tip`. A smear vector longer than 1.2 pixels draws
// smearCopyCount() copies at opacity 1/n spread evenly from -smear/2 to
// +smear/2 around the true position; otherwise one image with its drop shadow.
// A missing image draws nothing. `cache` may be null (the picture is then made
// on the spot).
void drawArrowCursor(QPainter& painter, const CursorImages& art, QPointF tip, double height,
                     bool pointer, QPointF smear, CursorSpriteCache* cache = nullptr);

} // namespace orvane
