#pragma once

// Internal to the Wayland backend: the pointing-hand shapes of the cursor
// theme, for recognising the hand in the stream's cursor bitmaps.

#include "capture/CursorShape.h"

#include <QString>
#include <QStringList>

namespace orvane::wayland {

// The shapes of every image (every size) of the hand cursors (hand1, hand2,
// hand, pointer, pointing_hand and their hash aliases) in `theme` and the
// themes it inherits, read from the Xcursor files under `searchPath`. The
// compositor sends an application's cursor as the very image the application
// loaded from the theme, so a bitmap whose shape is one of these is the hand.
HandShapeSet loadCursorThemeHands(const QString& theme, const QStringList& searchPath);

// The theme and search path the desktop's applications use: XCURSOR_THEME
// (else "default", then "Adwaita"), XCURSOR_PATH (else ~/.local/share/icons,
// ~/.icons, the XDG data folders' icons and /usr/share/pixmaps).
HandShapeSet loadDesktopCursorHands();

// The shapes of the images in one Xcursor file's bytes (for tests).
HandShapeSet xcursorShapes(const QByteArray& file);

} // namespace orvane::wayland
