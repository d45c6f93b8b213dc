#include "HandCursor.h"

#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace orvane::x11 {

namespace {

// Glyph indices in the core cursor font (X11/cursorfont.h); each shape's mask
// is the glyph after it.
constexpr std::uint8_t kHand1 = 58;
constexpr std::uint8_t kHand2 = 60;

// The bitmap the server builds for a glyph cursor's mask: the glyph drawn into
// a depth-1 pixmap with the same metrics the server uses (dix/cursor.c:
// CursorMetricsFromGlyph and ServerBitsFromGlyph).
std::optional<std::uint64_t> glyphShapeHash(xcb_connection_t* conn, xcb_font_t font,
                                            const xcb_charinfo_t& ci, std::uint8_t glyph) {
    const int left = ci.left_side_bearing;
    const int right = ci.right_side_bearing;
    const int width = left > 0 ? right : right - left;
    const int height = ci.ascent + ci.descent;
    const int xhot = left > 0 ? 0 : -left;
    if (width < 1 || height < 1 || width > 256 || height > 256) {
        return std::nullopt;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    const xcb_pixmap_t pixmap = xcb_generate_id(conn);
    const xcb_gcontext_t gc = xcb_generate_id(conn);
    ErrorTrap trap(conn);
    trap.check(xcb_create_pixmap_checked(conn, 1, pixmap, root, static_cast<std::uint16_t>(width),
                                         static_cast<std::uint16_t>(height)));
    const std::uint32_t values[] = {0, 0, font};
    trap.check(xcb_create_gc_checked(conn, gc, pixmap,
                                     XCB_GC_FOREGROUND | XCB_GC_BACKGROUND | XCB_GC_FONT, values));
    std::optional<std::uint64_t> result;
    if (trap.ok()) {
        const xcb_rectangle_t all{0, 0, static_cast<std::uint16_t>(width),
                                  static_cast<std::uint16_t>(height)};
        xcb_poly_fill_rectangle(conn, pixmap, gc, 1, &all);
        const std::uint32_t one = 1;
        xcb_change_gc(conn, gc, XCB_GC_FOREGROUND, &one);
        // PolyText8 items: length, delta, then the characters.
        const std::array<std::uint8_t, 3> item{1, 0, glyph};
        xcb_poly_text_8(conn, pixmap, gc, static_cast<std::int16_t>(xhot), ci.ascent,
                        static_cast<std::uint32_t>(item.size()), item.data());
        xcb_generic_error_t* error = nullptr;
        Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
            conn,
            xcb_get_image(conn, XCB_IMAGE_FORMAT_XY_PIXMAP, pixmap, 0, 0,
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 1),
            &error));
        trap.note(error);
        if (image) {
            const xcb_setup_t* setup = xcb_get_setup(conn);
            const int pad = setup->bitmap_format_scanline_pad;
            const int stride = ((width + pad - 1) / pad) * pad / 8;
            const bool lsbFirst = setup->bitmap_format_bit_order == XCB_IMAGE_ORDER_LSB_FIRST;
            const std::uint8_t* data = xcb_get_image_data(image.get());
            if (xcb_get_image_data_length(image.get()) >= stride * height) {
                std::vector<bool> bits(static_cast<std::size_t>(width) * height);
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < width; ++x) {
                        const std::uint8_t byte = data[y * stride + x / 8];
                        const int bit = lsbFirst ? (x % 8) : (7 - x % 8);
                        bits[static_cast<std::size_t>(y) * width + x] = ((byte >> bit) & 1) != 0;
                    }
                }
                result = cursorShapeHash(width, height, bits);
            }
        }
    }
    xcb_free_gc(conn, gc);
    xcb_free_pixmap(conn, pixmap);
    return result;
}

} // namespace

HandShapeSet renderHandGlyphShapes(xcb_connection_t* conn) {
    HandShapeSet shapes;
    const xcb_font_t font = xcb_generate_id(conn);
    ErrorTrap trap(conn);
    if (!trap.check(xcb_open_font_checked(conn, font, 6, "cursor"))) {
        return shapes;
    }
    Reply<xcb_query_font_reply_t> info(
        xcb_query_font_reply(conn, xcb_query_font(conn, font), nullptr));
    if (info) {
        const xcb_charinfo_t* chars = xcb_query_font_char_infos(info.get());
        const int count = xcb_query_font_char_infos_length(info.get());
        for (std::uint8_t shape : {kHand1, kHand2}) {
            const int mask = shape + 1;
            const int index = mask - info->min_char_or_byte2;
            if (info->min_byte1 != 0 || index < 0 || index >= count) {
                continue;
            }
            if (auto h = glyphShapeHash(conn, font, chars[index], static_cast<std::uint8_t>(mask))) {
                shapes.add(*h);
            }
        }
    }
    xcb_close_font(conn, font);
    xcb_flush(conn);
    return shapes;
}

} // namespace orvane::x11
