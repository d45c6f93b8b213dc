#include "ToggleSwitch.h"

#include "Theme.h"

#include <QPainter>

namespace orvane {

namespace {
constexpr int kKnobInset = 2; // points between the knob and the track's edge
constexpr int kLabelGap = 12; // points at least between the label and the track
} // namespace

ToggleSwitch::ToggleSwitch(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(text()) + kLabelGap + kTrackWidth,
            std::max(fm.height(), kTrackHeight) + 4};
}

QSize ToggleSwitch::minimumSizeHint() const {
    return sizeHint();
}

QRect ToggleSwitch::trackRect() const {
    return {width() - kTrackWidth, (height() - kTrackHeight) / 2, kTrackWidth, kTrackHeight};
}

bool ToggleSwitch::hitButton(const QPoint& pos) const {
    // The whole row answers, as a labelled switch does, not only the track.
    return rect().contains(pos);
}

void ToggleSwitch::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    const QRect track = trackRect();
    p.setPen(isEnabled() ? Theme::color(Theme::Color::primaryText)
                         : Theme::color(Theme::Color::secondaryText));
    p.drawText(QRect(0, 0, track.left() - kLabelGap, height()), Qt::AlignVCenter | Qt::AlignLeft,
               text());

    const QColor fill =
        isChecked() ? Theme::color(Theme::Color::accent) : Theme::color(Theme::Color::strongStroke);
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? fill : fill.darker(150));
    const double radius = kTrackHeight / 2.0;
    p.drawRoundedRect(QRectF(track), radius, radius);

    const int knob = kTrackHeight - 2 * kKnobInset;
    const int knobX =
        isChecked() ? track.right() + 1 - kKnobInset - knob : track.left() + kKnobInset;
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(knobX, track.top() + kKnobInset, knob, knob));

    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Theme::color(Theme::Color::accent), 1.5));
        p.drawRoundedRect(QRectF(track).adjusted(-2, -2, 2, 2), radius + 2, radius + 2);
    }
}

} // namespace orvane
