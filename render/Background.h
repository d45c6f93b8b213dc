#pragma once

#include "render/BackgroundPresets.h"

#include <QImage>
#include <QRect>
#include <QSize>

class QPainter;

namespace orvane {

// The background of one export (or one preview setting), prepared once: either
// a photograph, blurred if asked, or a two-colour gradient. It never moves with
// the camera. The prepared picture is also kept rendered at the last output
// size asked for, so drawing each frame is a plain copy.
//
// One thread at a time (the compositor that owns it); copies share the prepared
// image but not the per-size rendering.
class Background {
public:
    // Background `index` for an export of output width `outputWidth` pixels:
    // the photograph b - 5 at full size when there is one (with bgBlur > 0.001:
    // a Gaussian blur of bgBlur x 40 x outputWidth / 640 image pixels), else the
    // gradient of backgroundChoice(). Never fails: a missing or undecodable
    // photograph falls back to the gradient.
    static Background prepare(int index, double bgBlur, int outputWidth);

    // The same picture for the live preview, made from the preview-size
    // photograph of BGPreviews (larger side 1600) with the blur scaled to it,
    // so it matches the export at a fraction of the cost. `outputWidth` is the
    // export's output width, whatever size the preview draws at. Main thread
    // only (the cache is).
    static Background preparePreview(int index, double bgBlur, int outputWidth);

    // preparePreview() in two halves, so that the blur can run elsewhere: the
    // unblurred preview background and the Gaussian sigma (preview pixels; 0:
    // none) that preparePreview() would apply to its image. Main thread only.
    struct PreviewPlan;
    static PreviewPlan planPreview(int index, double bgBlur, int outputWidth);

    // A ready image (not blurred further) or a gradient preset (clamped to the
    // table).
    static Background fromImage(QImage image);
    static Background fromGradient(int preset);

    bool isImage() const { return !image_.isNull(); }
    const QImage& image() const { return image_; }
    const GradientPreset& gradient() const { return gradient_; }

    // Paints the background over the rectangle (0, 0, size): the image scaled
    // by k = max(W / iw, H / ih) and centred so it covers everything, or the
    // linear gradient from the top-left corner (first colour) to the
    // bottom-right corner (second colour), padded beyond both ends.
    void paint(QPainter& painter, QSize size) const;

    // Fills `target` (Format_RGB32 or Format_ARGB32_Premultiplied) with the
    // background, from the rendering cached for target's size and format,
    // except inside `skip` (the caller is about to cover it). Returns the
    // cached rendering so callers can reuse it (for example to repaint the
    // video's corners); null for an unusable target.
    const QImage& fill(QImage& target, const QRect& skip = QRect());

private:
    QImage image_;
    GradientPreset gradient_ = bgPresets[0];
    QImage rendered_;
};

struct Background::PreviewPlan {
    Background sharp;
    double sigma = 0;
};

} // namespace orvane
