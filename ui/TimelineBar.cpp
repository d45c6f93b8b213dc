#include "TimelineBar.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <utility>

namespace orvane {

using namespace TimelineGeometry;

namespace {
constexpr double kHandleWidth = 5;
constexpr double kHandleInset = 6;     // handles sit 6 points inside the clip's ends
constexpr double kPlayheadWidth = 2.5;

// A small film-strip glyph, drawn rather than loaded so the bar needs no icons.
void drawFilm(QPainter& p, QRectF r, QColor c) {
    p.save();
    p.setPen(QPen(c, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, 1.5, 1.5);
    const double hole = r.height() / 5;
    for (int i = 0; i < 3; ++i) {
        const double y = r.top() + hole * (1 + 1.5 * i);
        p.fillRect(QRectF(r.left() + 1.5, y, 1.5, hole * 0.8), c);
        p.fillRect(QRectF(r.right() - 3, y, 1.5, hole * 0.8), c);
    }
    p.restore();
}

void drawMagnifier(QPainter& p, QRectF r, QColor c) {
    p.save();
    p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const double d = r.width() * 0.68;
    p.drawEllipse(QRectF(r.left(), r.top(), d, d));
    p.drawLine(QPointF(r.left() + d * 0.85, r.top() + d * 0.85), r.bottomRight());
    p.restore();
}

} // namespace

TimelineBar::TimelineBar(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(static_cast<int>(kBarHeight));
}

QSize TimelineBar::sizeHint() const {
    return {600, static_cast<int>(barHeight())};
}

QSize TimelineBar::minimumSizeHint() const {
    return {120, static_cast<int>(barHeight())};
}

double TimelineBar::barHeight() const {
    return wave_.empty() ? kBarHeight : kBarHeightWithSound;
}

double TimelineBar::scrubBottom() const {
    return wave_.empty() ? kVideoHeight : kVideoHeight + kTrackGap + kWaveHeight;
}

double TimelineBar::zoomTop() const {
    return scrubBottom() + kTrackGap;
}

QRectF TimelineBar::waveRect() const {
    if (wave_.empty()) {
        return {};
    }
    return {0, kVideoHeight + kTrackGap, width_(), kWaveHeight};
}

void TimelineBar::setWaveform(std::vector<float> peaks, double bucketSeconds) {
    if (!(std::isfinite(bucketSeconds) && bucketSeconds > 0)) {
        peaks.clear();
    }
    if (peaks == wave_ && bucketSeconds == waveBucket_) {
        return;
    }
    const bool heightChanges = peaks.empty() != wave_.empty();
    wave_ = std::move(peaks);
    waveBucket_ = bucketSeconds;
    waveColumnsWidth_ = -1;
    if (heightChanges) {
        setFixedHeight(static_cast<int>(barHeight()));
        updateGeometry();
    }
    update();
}

const std::vector<float>& TimelineBar::waveColumns(int w) const {
    if (w == waveColumnsWidth_ && in_.duration == waveColumnsDuration_) {
        return waveColumns_;
    }
    // Each column shows the loudest bucket it covers, so a short loud sound
    // is never lost between columns of a long take.
    waveColumns_.assign(static_cast<std::size_t>(std::max(w, 0)), 0.0f);
    const double duration = std::max(in_.duration, 1e-4);
    const double bucketsPerColumn = duration / std::max(w, 1) / waveBucket_;
    for (int x = 0; x < w; ++x) {
        const auto first = static_cast<std::size_t>(std::floor(x * bucketsPerColumn));
        auto last = static_cast<std::size_t>(std::ceil((x + 1) * bucketsPerColumn));
        last = std::min(std::max(last, first + 1), wave_.size());
        float peak = 0.0f;
        for (std::size_t i = first; i < last; ++i) {
            peak = std::max(peak, wave_[i]);
        }
        waveColumns_[static_cast<std::size_t>(x)] = peak;
    }
    waveColumnsWidth_ = w;
    waveColumnsDuration_ = in_.duration;
    return waveColumns_;
}

TimelineBar::Inputs TimelineBar::barInputs() {
    // A boundary being dragged keeps the scale it was grabbed on, so the
    // line stays under the mouse; the gaps narrow again on release.
    if (gesture_ != Gesture::boundary) {
        scale_ = BarScale(given_.sections, given_.duration, width_());
    }
    Inputs bar = given_;
    if (scale_.identity()) {
        return bar;
    }
    bar.duration = std::max(scale_.barDuration(), 0.001);
    for (ZoomEffect& z : bar.zooms) {
        z.start = scale_.toBar(z.start);
        z.end = scale_.toBar(z.end);
    }
    bar.current = scale_.toBar(bar.current);
    bar.trimStart = scale_.toBar(bar.trimStart);
    bar.trimEnd = scale_.toBar(bar.trimEnd);
    for (Section& c : bar.sections) {
        c.start = scale_.toBar(c.start);
        c.end = scale_.toBar(c.end);
    }
    return bar;
}

void TimelineBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    in_ = barInputs(); // the gaps keep their width in points
    update();
}

void TimelineBar::setInputs(Inputs inputs) {
    // The owner pushes the inputs on every playhead tick and every edit; an
    // unchanged bar is not repainted, and a moved playhead repaints only the
    // strips it leaves and enters.
    if (inputs == given_) {
        return;
    }
    given_ = std::move(inputs);
    Inputs before = std::exchange(in_, barInputs());
    before.current = in_.current;
    if (before == in_) {
        update(playheadArea(lastPlayheadX_));
        update(playheadArea(xForTime(in_.current, in_.duration, width_())));
        return;
    }
    update();
}

QRect TimelineBar::playheadArea(double x) const {
    if (x < 0) {
        return rect();
    }
    // The capsule, its shadow and its knob, with a pixel of anti-aliasing.
    const int left = static_cast<int>(std::floor(x - 5.5)) - 2;
    const int right = static_cast<int>(std::ceil(x + 5.5)) + 2;
    return QRect(left, 0, right - left, height());
}

void TimelineBar::setColors(QColor accent, QColor videoTint) {
    accent_ = accent;
    videoTint_ = videoTint;
    update();
}

std::optional<double> TimelineBar::addButtonLeft() const {
    if (!hoverX_ || zoomDrag_) {
        return std::nullopt;
    }
    return addPillLeft(*hoverX_, width_(), in_.zooms, in_.duration);
}

// --- Geometry of the handles --------------------------------------------------------

QRectF TimelineBar::leftHandleRect() const {
    const double x = xForTime(in_.trimStart, in_.duration, width_()) + kHandleInset;
    return {x, 6, kHandleWidth, kVideoHeight - 12};
}

QRectF TimelineBar::rightHandleRect() const {
    const double x = xForTime(in_.trimEnd, in_.duration, width_()) - kHandleInset - kHandleWidth;
    return {x, 6, kHandleWidth, kVideoHeight - 12};
}

// --- Zoom track gesture --------------------------------------------------------------------

void TimelineBar::onZoomDrag(double startX, double dx, double w) {
    if (!zoomDrag_) {
        const auto hit = zoomHit(startX, w, in_.zooms, in_.duration);
        if (hit && hit->index >= 0 && static_cast<std::size_t>(hit->index) < in_.zooms.size()) {
            const ZoomEffect& z = in_.zooms[static_cast<std::size_t>(hit->index)];
            zoomDrag_ = ZoomDrag{hit->index, hit->mode, z.start, z.end};
            if (onSelect) {
                onSelect(hit->index);
            }
        } else {
            zoomDrag_ = ZoomDrag{-1, DragMode::move, 0, 0};
        }
        zoomMoved_ = false;
    }
    if (zoomDrag_->idx < 0 || std::abs(dx) <= kDragSlop) {
        return;
    }
    const ZoomDrag& d = *zoomDrag_;
    const double t = zoomDragTarget(d.mode, d.baseS, d.baseE, dx, w, in_.duration,
                                    leftEnd(d.idx, in_.zooms), rightStart(d.idx, in_.zooms));
    if (!zoomMoved_) {
        // A pill pushed against a neighbour or an end of the take does not
        // move: no edit yet, so no undo step.
        double lands = t;
        switch (d.mode) {
        case DragMode::start:
            lands = std::max(t, 0.0);
            break;
        case DragMode::end:
            lands = std::min(t, in_.duration);
            break;
        case DragMode::move:
            lands = std::clamp(t, 0.0, std::max(in_.duration - (d.baseE - d.baseS), 0.0));
            break;
        }
        if (lands == (d.mode == DragMode::end ? d.baseE : d.baseS)) {
            return;
        }
        zoomMoved_ = true;
        if (onEditBegin) {
            onEditBegin();
        }
    }
    switch (d.mode) {
    case DragMode::start:
        if (onBandTrim) {
            onBandTrim(d.idx, true, take(t));
        }
        break;
    case DragMode::end:
        if (onBandTrim) {
            onBandTrim(d.idx, false, take(t));
        }
        break;
    case DragMode::move:
        if (onBandMove) {
            onBandMove(d.idx, take(t));
        }
        break;
    }
}

void TimelineBar::onZoomDragEnd(double startX, double dx, double w) {
    if (zoomDrag_ && zoomDrag_->idx < 0 && std::abs(dx) <= kDragSlop) {
        // A click on empty track adds a segment under the add button.
        if (const auto left = addPillLeft(startX, w, in_.zooms, in_.duration)) {
            if (onAddZoom && w > 0) {
                onAddZoom(take((*left + kAddWidth / 2) / w * in_.duration));
            }
        }
    }
    zoomDrag_.reset();
    zoomMoved_ = false;
    update();
}

void TimelineBar::handleTrimDrag(double dx) {
    const bool left = gesture_ == Gesture::leftHandle;
    const double base = trimBase_.value_or(left ? in_.trimStart : in_.trimEnd);
    const double to = left ? leftTrimDrag(base, dx, width_(), in_.duration, in_.trimEnd)
                           : rightTrimDrag(base, dx, width_(), in_.duration, in_.trimStart);
    if (!trimBase_) {
        // Until the trim really changes, the press is no edit: a handle held
        // still, or pushed against its limit, leaves no undo step behind.
        if (to == base) {
            return;
        }
        trimBase_ = base;
        if (onEditBegin) {
            onEditBegin();
        }
    }
    if (onTrim) {
        if (left) {
            onTrim(take(to), given_.trimEnd);
        } else {
            onTrim(given_.trimStart, take(to));
        }
    }
}

// --- Mouse ---------------------------------------------------------------------------------

void TimelineBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPointF pos = event->position();
    pressX_ = pos.x();
    if (pos.y() < scrubBottom()) {
        // Only the handle itself grabs: a press beside it is a press on the
        // clip, which seeks and selects like anywhere else on the track.
        const auto boundary = pos.y() < kVideoHeight ? boundaryAt(pos.x()) : std::nullopt;
        if (leftHandleRect().contains(pos)) {
            gesture_ = Gesture::leftHandle;
        } else if (rightHandleRect().contains(pos)) {
            gesture_ = Gesture::rightHandle;
        } else if (boundary) {
            gesture_ = Gesture::boundary;
            boundary_ = *boundary;
            boundaryMoved_ = false;
        } else {
            gesture_ = Gesture::video;
            vidDragged_ = false;
            if (onSeek && width_() > 0) {
                onSeek(take(in_.duration * std::clamp(pos.x() / width_(), 0.0, 1.0)));
            }
        }
    } else if (pos.y() >= zoomTop()) {
        gesture_ = Gesture::zoom;
        hoverX_.reset();
        onZoomDrag(pressX_, 0, width_());
    } else {
        gesture_ = Gesture::none;
    }
    update();
}

void TimelineBar::mouseMoveEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    const double dx = pos.x() - pressX_;
    switch (gesture_) {
    case Gesture::video:
        if (std::abs(dx) > kDragSlop) {
            vidDragged_ = true;
        }
        if (onSeek && width_() > 0) {
            onSeek(take(in_.duration * std::clamp(pos.x() / width_(), 0.0, 1.0)));
        }
        break;
    case Gesture::leftHandle:
    case Gesture::rightHandle:
        handleTrimDrag(dx);
        break;
    case Gesture::zoom:
        onZoomDrag(pressX_, dx, width_());
        break;
    case Gesture::boundary:
        if (std::abs(dx) > kDragSlop && width_() > 0) {
            if (!boundaryMoved_ && onEditBegin) {
                onEditBegin();
            }
            boundaryMoved_ = true;
            if (onSectionBoundary) {
                onSectionBoundary(
                    boundary_, take(in_.duration * std::clamp(pos.x() / width_(), 0.0, 1.0)));
            }
        }
        break;
    case Gesture::none:
        if (pos.y() >= zoomTop()) {
            hoverX_ = pos.x();
        } else {
            hoverX_.reset();
        }
        break;
    }
    update();
}

void TimelineBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const double dx = event->position().x() - pressX_;
    switch (gesture_) {
    case Gesture::video:
        if (!vidDragged_ && onSelectVideo) {
            onSelectVideo();
        }
        if (!vidDragged_ && onSelectSection && width_() > 0) {
            // The section under the click (the whole take while undivided).
            const double t = in_.duration * std::clamp(pressX_ / width_(), 0.0, 1.0);
            const auto i = sections::indexAt(in_.sections, t);
            onSelectSection(i ? static_cast<int>(*i) : 0);
        }
        vidDragged_ = false;
        break;
    case Gesture::boundary:
        boundary_ = -1;
        gesture_ = Gesture::none;
        in_ = barInputs();
        break;
    case Gesture::leftHandle:
    case Gesture::rightHandle:
        trimBase_.reset();
        break;
    case Gesture::zoom:
        onZoomDragEnd(pressX_, dx, width_());
        if (event->position().y() >= zoomTop() && rect().contains(event->position().toPoint())) {
            hoverX_ = event->position().x();
        }
        break;
    case Gesture::none:
        break;
    }
    gesture_ = Gesture::none;
    update();
}

void TimelineBar::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    QWidget::enterEvent(event);
    update();
}

void TimelineBar::leaveEvent(QEvent* event) {
    hovering_ = false;
    hoverX_.reset();
    QWidget::leaveEvent(event);
    update();
}

// --- Painting --------------------------------------------------------------------------------

void TimelineBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintVideoTrack(p);
    paintWaveform(p);
    paintZoomTrack(p);
    paintPlayhead(p);
}

void TimelineBar::paintVideoTrack(QPainter& p) const {
    const double w = width_();
    const QRectF track(0, 0, w, kVideoHeight);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 14));
    p.drawRoundedRect(track, 8, 8);

    // The kept range in the tint; the trimmed-off ends stay dim.
    const double x0 = xForTime(in_.trimStart, in_.duration, w);
    const double x1 = xForTime(in_.trimEnd, in_.duration, w);
    QColor clip = videoTint_;
    if (in_.videoSelected) {
        clip = clip.lighter(135);
    }
    p.setBrush(clip);
    p.drawRoundedRect(QRectF(x0, 0, std::max(x1 - x0, 0.0), kVideoHeight), 8, 8);
    if (in_.videoSelected) {
        p.setPen(QPen(QColor(255, 255, 255, 200), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(x0, 0, std::max(x1 - x0, 0.0), kVideoHeight).adjusted(0.75, 0.75, -0.75, -0.75), 8, 8);
    }

    // Caption: film glyph, "Video" and the trimmed length.
    QFont font = p.font();
    font.setPixelSize(11);
    font.setWeight(QFont::DemiBold);
    p.setFont(font);
    const QColor text(255, 255, 255, 220);
    const double cx = x0 + kHandleInset + kHandleWidth + 8;
    drawFilm(p, QRectF(cx, kVideoHeight / 2 - 5, 12, 10), text);
    p.setPen(text);
    const QString caption = QStringLiteral("Video");
    p.drawText(QPointF(cx + 17, kVideoHeight / 2 + 4), caption);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(11);
    p.setFont(mono);
    p.setPen(QColor(255, 255, 255, 150));
    const QString length =
        QString::fromStdString(durationLabel(std::max(given_.trimEnd - given_.trimStart, 0.0)));
    p.drawText(QPointF(cx + 17 + QFontMetricsF(font).horizontalAdvance(caption) + 8,
                       kVideoHeight / 2 + 4),
               length);

    paintSections(p);

    // Trim handles.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawRoundedRect(leftHandleRect(), 2.5, 2.5);
    p.drawRoundedRect(rightHandleRect(), 2.5, 2.5);
}

std::optional<int> TimelineBar::boundaryAt(double x) const {
    constexpr double kGrab = 5; // points either side of a boundary
    std::optional<int> best;
    double bestDistance = kGrab;
    for (std::size_t i = 1; i < in_.sections.size(); ++i) {
        const double bx = xForTime(in_.sections[i].start, in_.duration, width_());
        const double d = std::abs(bx - x);
        // The grab reaches at most a third into the section on that side, so
        // the middle of a narrow gap picks its section.
        const Section& side = x < bx ? in_.sections[i - 1] : in_.sections[i];
        const double sideWidth = xForTime(side.end, in_.duration, width_()) -
                                 xForTime(side.start, in_.duration, width_());
        if (d <= bestDistance && d <= sideWidth / 3) {
            best = static_cast<int>(i);
            bestDistance = d;
        }
    }
    return best;
}

void TimelineBar::paintSections(QPainter& p) const {
    const double w = width_();
    QFont font = p.font();
    font.setPixelSize(10);
    font.setWeight(QFont::Bold);
    p.setFont(font);
    for (std::size_t i = 0; i < in_.sections.size(); ++i) {
        const Section& s = in_.sections[i];
        const double a = xForTime(s.start, in_.duration, w);
        const double b = xForTime(s.end, in_.duration, w);
        const QRectF r(a, 0, std::max(b - a, 1.0), kVideoHeight);
        if (s.cut) {
            // A cut part: dimmed and hatched, still there to be picked and
            // restored.
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, 130));
            p.drawRect(r);
            p.setBrush(QBrush(QColor(255, 255, 255, 70), Qt::BDiagPattern));
            p.drawRect(r);
        } else if (s.speed != 1 && r.width() > 26) {
            p.setPen(QColor(255, 255, 255, 235));
            const QString label = QString::number(s.speed, 'g', 3) + QLatin1Char('x');
            p.drawText(r.adjusted(4, 3, -4, 0), Qt::AlignRight | Qt::AlignTop, label);
        }
        if (in_.selectedSection && *in_.selectedSection == static_cast<int>(i)) {
            p.setPen(QPen(accent_, 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(1, 1, -1, -1));
        }
        if (i > 0) {
            // The boundary, which can be dragged.
            p.setPen(QPen(QColor(255, 255, 255, 200), 1.5));
            p.drawLine(QPointF(a, 3), QPointF(a, kVideoHeight - 3));
        }
    }
}

void TimelineBar::paintZoomTrack(QPainter& p) const {
    const double w = width_();
    const double top = zoomTop();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 10));
    p.drawRoundedRect(QRectF(0, top, w, kZoomHeight), 8, 8);

    QFont label = p.font();
    label.setPixelSize(11);
    label.setWeight(QFont::DemiBold);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(11);

    for (std::size_t i = 0; i < in_.zooms.size(); ++i) {
        const ZoomEffect& z = in_.zooms[i];
        const double a = xForTime(z.start, in_.duration, w) + 1;
        const double b = xForTime(z.end, in_.duration, w) - 1;
        const double pw = std::max(b - a, 0.0);
        const bool selected = in_.selected && *in_.selected == static_cast<int>(i);
        const QRectF pill(a, top, pw, kZoomHeight);
        p.setPen(selected ? QPen(QColor(255, 255, 255, 230), 1.5) : Qt::NoPen);
        p.setBrush(selected ? accent_ : accent_.darker(140));
        p.drawRoundedRect(pill.adjusted(0.75, 0.75, -0.75, -0.75), 8, 8);

        if (pw > kLabelMinWidth) {
            const QColor text(255, 255, 255, selected ? 242 : 178);
            double x = a + 8;
            drawMagnifier(p, QRectF(x, top + kZoomHeight / 2 - 5, 10, 10), text);
            x += 10 + 5;
            p.setFont(label);
            p.setPen(text);
            p.drawText(QPointF(x, top + kZoomHeight / 2 + 4), QStringLiteral("Zoom"));
            x += QFontMetricsF(label).horizontalAdvance(QStringLiteral("Zoom")) + 5;
            p.setFont(mono);
            p.drawText(QPointF(x, top + kZoomHeight / 2 + 4),
                       QString::asprintf("%.1f×", z.zoom));
        }
        if (hovering_ && pw >= kGripMinWidth) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 200));
            p.drawRoundedRect(QRectF(a + 3, top + 6, kHandleWidth, kZoomHeight - 12), 2.5, 2.5);
            p.drawRoundedRect(QRectF(b - 3 - kHandleWidth, top + 6, kHandleWidth, kZoomHeight - 12),
                              2.5, 2.5);
        }
    }

    if (const auto left = addButtonLeft()) {
        const QRectF button(*left, top + 4, kAddWidth, kZoomHeight - 8);
        p.setPen(QPen(accent_, 1.2));
        p.setBrush(QColor(accent_.red(), accent_.green(), accent_.blue(), 40));
        p.drawRoundedRect(button, 8, 8);
        const QPointF c = button.center();
        p.setPen(QPen(accent_.lighter(130), 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(c.x() - 5, c.y()), QPointF(c.x() + 5, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - 5), QPointF(c.x(), c.y() + 5));
    }
}

void TimelineBar::paintWaveform(QPainter& p) const {
    if (wave_.empty()) {
        return;
    }
    const QRectF strip = waveRect();
    p.setPen(Qt::NoPen);
    p.setBrush(videoTint_.darker(160));
    p.drawRoundedRect(strip, 6, 6);
    const double w = width_();
    const double trimA = xForTime(in_.trimStart, in_.duration, w);
    const double trimB = in_.trimEnd > in_.trimStart ? xForTime(in_.trimEnd, in_.duration, w) : w;
    QColor inside = accent_.lighter(130);
    QColor outside = inside;
    outside.setAlphaF(0.35f);
    // One vertical line per pixel column, centred on the strip's middle; the
    // part outside the trimmed range is dimmed like the video track's.
    const std::vector<float>& columns = waveColumns(static_cast<int>(w));
    const double mid = strip.center().y();
    const double half = (strip.height() - 4) / 2;
    p.setRenderHint(QPainter::Antialiasing, false);
    for (std::size_t x = 0; x < columns.size(); ++x) {
        const double h = std::max(static_cast<double>(columns[x]) * half, columns[x] > 0 ? 0.5 : 0.0);
        if (h <= 0) {
            continue;
        }
        const bool in = static_cast<double>(x) >= trimA && static_cast<double>(x) < trimB;
        p.fillRect(QRectF(static_cast<double>(x), mid - h, 1, 2 * h), in ? inside : outside);
    }
    p.setRenderHint(QPainter::Antialiasing, true);
}

void TimelineBar::paintPlayhead(QPainter& p) const {
    const double x = xForTime(in_.current, in_.duration, width_());
    lastPlayheadX_ = x;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawRoundedRect(QRectF(x - kPlayheadWidth / 2 + 0.5, 1, kPlayheadWidth, barHeight()),
                      kPlayheadWidth / 2, kPlayheadWidth / 2); // shadow
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(x - kPlayheadWidth / 2, 0, kPlayheadWidth, barHeight()),
                      kPlayheadWidth / 2, kPlayheadWidth / 2);
    p.drawRoundedRect(QRectF(x - 5.5, 0, 11, 6), 2, 2);
}

} // namespace orvane
