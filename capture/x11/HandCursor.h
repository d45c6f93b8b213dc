#pragma once

// Internal to the X11 backend: tells whether a cursor is the pointing hand.

#include "XcbHandles.h"

#include <cstdint>
#include <string_view>
#include <unordered_set>

namespace orvane::x11 {

// Cursor themes name their cursors (libXcursor sets the name through XFixes
// when it loads one), and the pointing hand goes by several names: hand1,
// hand2, hand, pointer, pointing_hand and the hash aliases themes carry for
// toolkits that look cursors up by the hash of their bitmap.
bool isHandCursorName(std::string_view name);

// Recognises unnamed cursors by their shape. A cursor made from the core
// "cursor" font (XCreateFontCursor with XC_hand1 or XC_hand2, as toolkits do
// without a cursor theme) carries no name; its image is the font's mask glyph,
// so the hashes of those glyphs, rendered once on the server, identify it.
class HandShapes {
public:
    // Renders the hand glyphs through `conn`. Without the cursor font the set
    // stays empty and only names count.
    explicit HandShapes(xcb_connection_t* conn);

    // `argb` holds width x height premultiplied ARGB pixels as XFixes reports
    // them; the shape is where alpha is not zero.
    bool matches(int width, int height, const std::uint32_t* argb) const;

    std::size_t known() const { return hashes_.size(); }

    // The hash of a cursor shape: its size and which pixels are not transparent.
    static std::uint64_t shapeHash(int width, int height, const std::uint32_t* argb);

private:
    std::unordered_set<std::uint64_t> hashes_;
};

} // namespace orvane::x11
