#include "WindowSource.h"

#include <xcb/composite.h>

namespace orvane::x11 {

Result<std::unique_ptr<WindowSource>> WindowSource::tryCreate(const Connection& conn,
                                                              xcb_window_t window) {
    xcb_connection_t* c = conn.get();
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_composite_id);
    Reply<xcb_composite_query_version_reply_t> version;
    if (ext != nullptr && ext->present != 0) {
        version.reset(xcb_composite_query_version_reply(
            c, xcb_composite_query_version(c, 0, 4), nullptr));
    }
    // NameWindowPixmap came with Composite 0.2.
    if (!version || (version->major_version == 0 && version->minor_version < 2)) {
        return Error{ErrorKind::Unsupported, "The X server has no Composite extension"};
    }
    std::unique_ptr<WindowSource> source(new WindowSource(c, window));
    source->root_ = conn.root();
    ErrorTrap trap(c);
    // Structure events tell us about resizes, unmapping and destruction.
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    trap.check(xcb_change_window_attributes_checked(c, window, XCB_CW_EVENT_MASK, &mask));
    trap.check(xcb_composite_redirect_window_checked(c, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC));
    if (!trap.ok()) {
        // `source` undoes what did get through when it goes.
        return Error{ErrorKind::NotFound, "The window is no longer available"};
    }
    return source;
}

WindowSource::~WindowSource() {
    if (xcb_connection_has_error(conn_) != 0) {
        return;
    }
    releaseContents();
    if (!destroyed_) {
        xcb_composite_unredirect_window(conn_, window_, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    }
    xcb_flush(conn_);
}

void WindowSource::releaseContents() {
    if (pixmap_ != 0) {
        xcb_free_pixmap(conn_, pixmap_);
        pixmap_ = 0;
    }
}

bool WindowSource::nameContents() {
    releaseContents();
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, window_), &error));
    ErrorPtr owned(error);
    if (!geometry) {
        // BadWindow/BadDrawable: the window is gone even if its DestroyNotify
        // has not been read yet.
        destroyed_ = xcb_connection_has_error(conn_) == 0;
        return false;
    }
    const xcb_pixmap_t pixmap = xcb_generate_id(conn_);
    ErrorTrap trap(conn_);
    // BadMatch while the window is not viewable (unmapped or minimised).
    if (!trap.check(xcb_composite_name_window_pixmap_checked(conn_, window_, pixmap))) {
        return false;
    }
    pixmap_ = pixmap;
    width_ = geometry->width;
    height_ = geometry->height;
    border_ = geometry->border_width;
    return true;
}

void WindowSource::handleEvents() {
    while (EventPtr event{xcb_poll_for_event(conn_)}) {
        switch (event->response_type & 0x7f) {
        case XCB_CONFIGURE_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event.get());
            if (e->window == window_) {
                // Moved or resized (also the synthetic notice a window manager
                // sends when it moves the frame around the window).
                needsOrigin_ = true;
            }
            if (e->window == window_ &&
                (e->width != width_ || e->height != height_ || e->border_width != border_)) {
                // A resized window gets new backing storage: the old pixmap keeps
                // the old contents.
                needsName_ = true;
            }
            break;
        }
        case XCB_MAP_NOTIFY:
            needsName_ = true;
            needsOrigin_ = true;
            break;
        case XCB_UNMAP_NOTIFY:
            releaseContents();
            needsName_ = true;
            break;
        case XCB_DESTROY_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_destroy_notify_event_t*>(event.get());
            if (e->window == window_) {
                destroyed_ = true;
            }
            break;
        }
        default:
            break;
        }
    }
}

void WindowSource::findOrigin() {
    Reply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        conn_, xcb_translate_coordinates(conn_, window_, root_, 0, 0), nullptr));
    if (at) {
        rootX_ = at->dst_x;
        rootY_ = at->dst_y;
        needsOrigin_ = false;
    }
}

Grab WindowSource::grab(DrawableReader& reader) {
    Grab g;
    handleEvents();
    if (xcb_connection_has_error(conn_) != 0) {
        g.status = Grab::Status::Broken;
        return g;
    }
    if (!destroyed_ && needsName_) {
        needsName_ = !nameContents();
    }
    if (destroyed_) {
        g.status = Grab::Status::Ended;
        return g;
    }
    if (pixmap_ == 0 || width_ < 1 || height_ < 1) {
        g.status = xcb_connection_has_error(conn_) != 0 ? Grab::Status::Broken : Grab::Status::Skip;
        return g;
    }
    if (needsOrigin_) {
        findOrigin();
    }
    switch (reader.read(pixmap_, border_, border_, width_, height_)) {
    case ReadStatus::Ok:
        g = Grab::frame(reader, width_, height_);
        g.rootX = rootX_;
        g.rootY = rootY_;
        break;
    case ReadStatus::Gone:
        // The pixmap went stale between events; name it again next tick (which
        // also finds out whether the window still exists).
        needsName_ = true;
        g.status = Grab::Status::Skip;
        break;
    case ReadStatus::Broken:
        g.status = Grab::Status::Broken;
        break;
    }
    return g;
}

} // namespace orvane::x11
