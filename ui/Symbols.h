#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace orvane::ui {

// Orvane's own symbol images, drawn for the dark theme (light shapes on
// transparent), shipped as SVG files in resources/icons/ and named like the
// system symbols the window's texts refer to: "play.fill", "pause.fill",
// "arrow.counterclockwise", "keyboard", "record.circle" and the rest of
// symbolNames(). They need no icon theme on the machine.
//
// Threads: main thread (QIcon and QPixmap are GUI objects; a QGuiApplication
// must exist).

// Every symbol name the program uses, in no particular order.
const QStringList& symbolNames();

// The symbol as an icon that scales to any size, or a null icon when `name` is
// unknown or its file is missing. Loaded once, then shared.
QIcon symbol(const QString& name);

// The symbol rendered at `size` device-independent pixels for a screen with
// `devicePixelRatio`, transparent around the shape; a null pixmap when `name`
// is unknown or its file is missing.
QPixmap symbolPixmap(const QString& name, int size, qreal devicePixelRatio = 1.0);

// The SVG file of a symbol, or an empty string when it is missing.
QString symbolPath(const QString& name);

} // namespace orvane::ui
