#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QAbstractButton;
class QApplication;
class QPalette;

namespace orvane {

// Orvane's dark visual vocabulary, defined once: colour roles, font roles and
// the button styles every widget of the window uses. Main thread only.
namespace Theme {

enum class Color {
    windowBackground,
    primaryText,
    secondaryText,
    surface,
    raisedSurface,
    stroke,
    strongStroke,
    accent,
    danger,
    success,
    scrim,
    videoTint, // the video clip on the timeline bar
};

enum class Font { title, heading, body, caption, footnote, label, callout };

enum class ButtonStyle {
    primary,              // body font, heavier weight, filled rounded rectangle
    secondary,            // caption font, surface fill, strong-stroke border
    secondaryDestructive, // the same with text in the danger colour
    transport,            // 36-point circle with a symbol
    transportProminent,   // 46-point circle (play/pause)
};

QColor color(Color role);
QFont font(Font role);
// "rgba(r, g, b, a)" of a role, for style sheets.
QString css(Color role);

// The dark palette for Qt's Fusion style.
QPalette palette();
// Fusion, the palette, the default font and the one style sheet.
void apply(QApplication& app);
// Gives a button one of the styles (a property the style sheet keys on) and,
// for the transport styles, its fixed circle size.
void setButtonStyle(QAbstractButton* button, ButtonStyle style);
// The picture with every opaque pixel painted in `color` (alpha kept).
QPixmap tinted(const QPixmap& pixmap, const QColor& color);

} // namespace Theme
} // namespace orvane
