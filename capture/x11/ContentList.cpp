#include "ContentList.h"

#include "X11Source.h"
#include "XcbHandles.h"

#include <xcb/randr.h>

namespace orvane {

using namespace x11;

namespace {

QString atomName(xcb_connection_t* c, xcb_atom_t atom) {
    Reply<xcb_get_atom_name_reply_t> name(
        xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr));
    if (!name) {
        return {};
    }
    return QString::fromUtf8(xcb_get_atom_name_name(name.get()),
                             xcb_get_atom_name_name_length(name.get()));
}

QString textProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, property, type, 0, 1024), nullptr));
    if (!reply || reply->format != 8) {
        return {};
    }
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
}

void addMonitors(const Connection& conn, std::vector<PickerEntry>& out) {
    xcb_connection_t* c = conn.get();
    const xcb_screen_t* screen = conn.screen();
    Reply<xcb_randr_get_monitors_reply_t> monitors;
    if (const auto* ext = xcb_get_extension_data(c, &xcb_randr_id); ext && ext->present) {
        Reply<xcb_randr_query_version_reply_t> v(
            xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
        // Monitors came with RandR 1.5.
        if (v && (v->major_version > 1 || v->minor_version >= 5)) {
            monitors.reset(xcb_randr_get_monitors_reply(
                c, xcb_randr_get_monitors(c, conn.root(), 1), nullptr));
        }
    }
    int index = 0;
    if (monitors) {
        for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem > 0;
             xcb_randr_monitor_info_next(&it), ++index) {
            const xcb_randr_monitor_info_t* m = it.data;
            PickerEntry e;
            e.content.kind = CaptureContent::Kind::Display;
            e.content.area = QRectF(m->x, m->y, m->width, m->height);
            e.content.source = X11Source::monitor(index);
            e.content.title = atomName(c, m->name);
            if (e.content.title.isEmpty()) {
                e.content.title = QStringLiteral("Display %1").arg(index + 1);
            }
            out.push_back(std::move(e));
        }
    }
    if (index == 0) {
        // No RandR monitors: the whole screen is the one display.
        PickerEntry e;
        e.content.kind = CaptureContent::Kind::Display;
        e.content.area = QRectF(0, 0, screen->width_in_pixels, screen->height_in_pixels);
        e.content.source = X11Source::monitor(0);
        e.content.title = QStringLiteral("Display 1");
        out.push_back(std::move(e));
    }
}

// The window manager's client list, or, without a window manager, the
// viewable input-output children of the root window.
std::vector<xcb_window_t> topLevelWindows(const Connection& conn, bool* fromWindowManager) {
    xcb_connection_t* c = conn.get();
    std::vector<xcb_window_t> windows;
    const xcb_atom_t clientList = internAtom(c, "_NET_CLIENT_LIST", true);
    if (clientList != XCB_ATOM_NONE) {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 0, conn.root(), clientList, XCB_ATOM_WINDOW, 0, 4096), nullptr));
        if (reply && reply->format == 32 && reply->type == XCB_ATOM_WINDOW) {
            const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
            windows.assign(ids, ids + xcb_get_property_value_length(reply.get()) / 4);
            *fromWindowManager = true;
            return windows;
        }
    }
    *fromWindowManager = false;
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, conn.root()), nullptr));
    if (!tree) {
        return windows;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    // Bottom to top in the tree; the picker lists the topmost first.
    for (int i = count - 1; i >= 0; --i) {
        Reply<xcb_get_window_attributes_reply_t> attrs(xcb_get_window_attributes_reply(
            c, xcb_get_window_attributes(c, children[i]), nullptr));
        if (attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE &&
            attrs->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT) {
            windows.push_back(children[i]);
        }
    }
    return windows;
}

void addWindows(const Connection& conn, std::uint32_t exclude, std::vector<PickerEntry>& out) {
    xcb_connection_t* c = conn.get();
    const xcb_atom_t netWmName = internAtom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = internAtom(c, "UTF8_STRING");
    bool fromWindowManager = false;
    for (xcb_window_t w : topLevelWindows(conn, &fromWindowManager)) {
        if (w == exclude) {
            continue;
        }
        Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
        Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, w, conn.root(), 0, 0), nullptr));
        if (!geometry || !origin || geometry->width < 2 || geometry->height < 2) {
            continue; // closed meanwhile, or too small to record
        }
        QString title = textProperty(c, w, netWmName, utf8);
        if (title.isEmpty()) {
            title = textProperty(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);
        }
        if (title.isEmpty() && !fromWindowManager) {
            continue; // untitled helper windows of the desktop
        }
        PickerEntry e;
        e.content.kind = CaptureContent::Kind::Window;
        e.content.area = QRectF(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        e.content.source = X11Source::window(w);
        e.content.title = title.isEmpty() ? QStringLiteral("Untitled window") : title;
        out.push_back(std::move(e));
    }
}

} // namespace

Result<std::vector<PickerEntry>> readCaptureContents(const std::string& display,
                                                     std::uint32_t excludeWindow) {
    auto conn = Connection::open(display);
    if (!conn) {
        return Error{ErrorKind::NotFound, "Cannot connect to the X display"};
    }
    std::vector<PickerEntry> entries;
    addMonitors(*conn, entries);
    addWindows(*conn, excludeWindow, entries);
    if (conn->broken()) {
        return Error{ErrorKind::Io, "The connection to the X display was lost"};
    }
    return entries;
}

} // namespace orvane
