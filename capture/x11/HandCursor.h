#pragma once

// Internal to the X11 backend: the shapes of the core font's pointing hands.

#include "XcbHandles.h"

#include "capture/CursorShape.h"

namespace orvane::x11 {

// A cursor made from the core "cursor" font (XCreateFontCursor with XC_hand1
// or XC_hand2, as toolkits do without a cursor theme) carries no name; its
// image is the font's mask glyph, so the shapes of those glyphs, rendered once
// on the server through `conn`, identify it. Empty without the cursor font
// (then only names count).
HandShapeSet renderHandGlyphShapes(xcb_connection_t* conn);

} // namespace orvane::x11
