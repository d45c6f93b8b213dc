#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

namespace orvane {

// Orvane's own overlay for choosing a region of a display: it covers the
// screen, dimmed, the user drags a rectangle (its size shown beside it,
// snapped to even pixels), and a release chooses it; Esc cancels. On X11 it
// shows a picture of the screen taken before it opened, so it works without a
// compositor; on Wayland (always composited, and no program may picture the
// screen) it is see-through over the live screen. Main thread only.
class RegionSelector : public QWidget {
    Q_OBJECT

public:
    // Smallest region a drag can choose, in pixels.
    static constexpr int kMinimumSide = 16;

    explicit RegionSelector(QWidget* parent = nullptr);

    // Covers `screenArea` (global coordinates) showing `picture` of it; a
    // null picture: see-through (where the desktop composites windows).
    void showOver(const QRect& screenArea, const QImage& picture);
    // The rectangle being dragged, in pixels of the screen from its corner.
    QRect selection() const { return selection_; }

    // A dragged rectangle from `from` to `to` (pixels of the screen),
    // normalised, kept inside `bounds` and rounded down to even sizes.
    static QRect snapped(QPoint from, QPoint to, QSize bounds);

signals:
    void chosen(const QRect& region);
    void cancelled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPoint pixelAt(QPointF local) const;

    QImage picture_;
    QPoint anchor_;
    QRect selection_;
    bool dragging_ = false;
};

} // namespace orvane
