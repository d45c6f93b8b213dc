#include "X11InputMonitor.h"

#include "HandCursor.h"
#include "RawButtonEvents.h"
#include "XcbHandles.h"

#include "capture/HostClock.h"

#include <QSocketNotifier>

#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <unordered_map>
#include <vector>

namespace orvane {

using namespace x11;

struct X11InputMonitor::State {
    std::optional<Connection> conn;
    std::unique_ptr<QSocketNotifier> notifier;
    std::uint8_t xinputOpcode = 0;
    bool xinput = false;           // XInput 2.2 answered
    std::uint8_t xfixesEventBase = 0;
    bool xfixes = false;
    bool clicksOn = false;
    std::vector<std::uint8_t> buttonMap; // physical button - 1 -> logical button
    HandShapeSet handShapes;
    std::unordered_map<std::uint32_t, bool> handByAtom;
    bool pointerIsHand = false;
};

X11InputMonitor::X11InputMonitor(std::string display, QObject* parent)
    : InputMonitor(parent), display_(std::move(display)), d(std::make_unique<State>()) {}

X11InputMonitor::~X11InputMonitor() {
    disconnect();
}

void X11InputMonitor::disconnect() {
    d->notifier.reset();
    d->conn.reset();
    d->clicksOn = false;
}

bool X11InputMonitor::ensureConnected() {
    if (d->conn && d->conn->broken()) {
        // The server went away: forget the connection; a later call may find a
        // new one.
        disconnect();
        return false;
    }
    if (d->conn) {
        return true;
    }
    auto conn = Connection::open(display_);
    if (!conn) {
        return false;
    }
    xcb_connection_t* c = conn->get();
    d->xinput = false;
    if (const auto* ext = xcb_get_extension_data(c, &xcb_input_id); ext && ext->present) {
        Reply<xcb_input_xi_query_version_reply_t> v(xcb_input_xi_query_version_reply(
            c, xcb_input_xi_query_version(c, 2, 2), nullptr));
        d->xinput = v && (v->major_version > 2 || (v->major_version == 2 && v->minor_version >= 2));
        d->xinputOpcode = ext->major_opcode;
    }
    d->xfixes = false;
    if (const auto* ext = xcb_get_extension_data(c, &xcb_xfixes_id); ext && ext->present) {
        Reply<xcb_xfixes_query_version_reply_t> v(xcb_xfixes_query_version_reply(
            c, xcb_xfixes_query_version(c, 4, 0), nullptr));
        // Cursor names came with XFixes 2.
        if (v && v->major_version >= 2) {
            d->xfixes = true;
            d->xfixesEventBase = ext->first_event;
            xcb_xfixes_select_cursor_input(c, conn->root(),
                                           XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
        }
    }
    d->conn = std::move(conn);
    d->handShapes = renderHandGlyphShapes(c);
    d->handByAtom.clear();
    refreshPointerMapping();
    if (d->xfixes) {
        // The cursor showing now; later changes arrive as notifications.
        handleCursorChange(XCB_ATOM_NONE);
    }
    d->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c),
                                                    QSocketNotifier::Read);
    QObject::connect(d->notifier.get(), &QSocketNotifier::activated, this,
                     [this] { drainEvents(); });
    xcb_flush(c);
    return true;
}

void X11InputMonitor::refreshPointerMapping() {
    xcb_connection_t* c = d->conn->get();
    Reply<xcb_get_pointer_mapping_reply_t> map(
        xcb_get_pointer_mapping_reply(c, xcb_get_pointer_mapping(c), nullptr));
    d->buttonMap.clear();
    if (map) {
        const std::uint8_t* m = xcb_get_pointer_mapping_map(map.get());
        d->buttonMap.assign(m, m + xcb_get_pointer_mapping_map_length(map.get()));
    }
}

bool X11InputMonitor::startClicks() {
    if (!ensureConnected() || !d->xinput) {
        return false;
    }
    if (!selectRawButtonPresses(d->conn->get(), d->conn->root(), true)) {
        return false;
    }
    d->clicksOn = true;
    drainEvents();
    return true;
}

void X11InputMonitor::stopClicks() {
    if (!d->clicksOn) {
        return;
    }
    d->clicksOn = false;
    if (d->conn && !d->conn->broken()) {
        selectRawButtonPresses(d->conn->get(), d->conn->root(), false);
    }
}

std::optional<CursorReading> X11InputMonitor::readCursor() {
    if (!ensureConnected()) {
        return std::nullopt;
    }
    drainEvents();
    xcb_connection_t* c = d->conn->get();
    Reply<xcb_query_pointer_reply_t> p(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, d->conn->root()), nullptr));
    // The round trip may have pulled events off the socket into xcb's queue,
    // where the socket notifier cannot see them.
    drainEvents();
    if (!p) {
        return std::nullopt;
    }
    return CursorReading{QPointF(p->root_x, p->root_y), d->pointerIsHand};
}

void X11InputMonitor::drainEvents() {
    if (!d->conn) {
        return;
    }
    xcb_connection_t* c = d->conn->get();
    while (EventPtr event{xcb_poll_for_event(c)}) {
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_GE_GENERIC) {
            const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
            if (d->xinput && ge->extension == d->xinputOpcode &&
                ge->event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
                const auto* raw =
                    reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event.get());
                // The press's time is taken as it is read, before the
                // pointer query that follows.
                handleRawPress(static_cast<int>(raw->detail), hostTime());
            }
        } else if (d->xfixes && type == d->xfixesEventBase + XCB_XFIXES_CURSOR_NOTIFY) {
            const auto* n = reinterpret_cast<const xcb_xfixes_cursor_notify_event_t*>(event.get());
            handleCursorChange(n->name);
        } else if (type == XCB_MAPPING_NOTIFY) {
            const auto* m = reinterpret_cast<const xcb_mapping_notify_event_t*>(event.get());
            if (m->request == XCB_MAPPING_POINTER) {
                refreshPointerMapping();
            }
        }
        if (!d->conn) {
            return;
        }
    }
    if (d->conn->broken()) {
        // Lost display: no more clicks; readCursor() reports nothing from now.
        d->notifier.reset();
        d->clicksOn = false;
    }
}

void X11InputMonitor::handleRawPress(int detail, double time) {
    if (!d->clicksOn) {
        return;
    }
    // Raw events report the physical button; the user's mapping (a left-handed
    // mouse swaps 1 and 3) decides what it means.
    int logical = detail;
    if (detail >= 1 && static_cast<std::size_t>(detail) <= d->buttonMap.size()) {
        logical = d->buttonMap[static_cast<std::size_t>(detail - 1)];
    }
    if (!countsAsClick(logical)) {
        return;
    }
    xcb_connection_t* c = d->conn->get();
    Reply<xcb_query_pointer_reply_t> p(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, d->conn->root()), nullptr));
    if (p) {
        emit clicked(QPointF(p->root_x, p->root_y), time);
    }
}

void X11InputMonitor::handleCursorChange(std::uint32_t nameAtom) {
    xcb_connection_t* c = d->conn->get();
    if (nameAtom != XCB_ATOM_NONE) {
        auto known = d->handByAtom.find(nameAtom);
        if (known == d->handByAtom.end()) {
            Reply<xcb_get_atom_name_reply_t> name(
                xcb_get_atom_name_reply(c, xcb_get_atom_name(c, nameAtom), nullptr));
            const bool hand =
                name && isHandCursorName(std::string_view(xcb_get_atom_name_name(name.get()),
                                                          static_cast<std::size_t>(
                                                              xcb_get_atom_name_name_length(name.get()))));
            known = d->handByAtom.emplace(nameAtom, hand).first;
        }
        d->pointerIsHand = known->second;
        return;
    }
    // No name in the notification (or the first look): ask for the current
    // cursor's name and image together.
    Reply<xcb_xfixes_get_cursor_image_and_name_reply_t> cursor(
        xcb_xfixes_get_cursor_image_and_name_reply(c, xcb_xfixes_get_cursor_image_and_name(c),
                                                   nullptr));
    if (!cursor) {
        d->pointerIsHand = false;
        return;
    }
    const int nameLength = xcb_xfixes_get_cursor_image_and_name_name_length(cursor.get());
    if (nameLength > 0) {
        d->pointerIsHand = isHandCursorName(std::string_view(
            xcb_xfixes_get_cursor_image_and_name_name(cursor.get()),
            static_cast<std::size_t>(nameLength)));
        return;
    }
    const std::uint32_t* argb = xcb_xfixes_get_cursor_image_and_name_cursor_image(cursor.get());
    const int pixels = xcb_xfixes_get_cursor_image_and_name_cursor_image_length(cursor.get());
    d->pointerIsHand = pixels >= cursor->width * cursor->height &&
                       d->handShapes.matches(cursor->width, cursor->height, argb, cursor->width);
}

} // namespace orvane
