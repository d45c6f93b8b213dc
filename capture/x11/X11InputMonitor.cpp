#include "X11InputMonitor.h"

#include "HandCursor.h"
#include "RawButtonEvents.h"
#include "XcbHandles.h"

#include "capture/HostClock.h"

#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <atomic>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace orvane {

using namespace x11;

struct X11InputMonitor::State {
    // Guards the events connection's life: opening it, starting and joining
    // its reader. Taken by whichever thread needs the connection.
    std::mutex life;
    std::optional<Connection> conn; // events: raw presses, cursor changes, mapping
    std::thread reader;
    int wakeFd = -1;                 // eventfd: look at the connection (or quit)
    std::atomic<bool> quit{false};
    std::atomic<bool> readerGone{false}; // the reader saw the connection break

    // Set while connecting (under `life`), read by the reader after.
    std::uint8_t xinputOpcode = 0;
    bool xinput = false;           // XInput 2.2 answered
    std::uint8_t xfixesEventBase = 0;
    bool xfixes = false;

    std::atomic<bool> clicksOn{false};
    std::atomic<bool> pointerIsHand{false};
    // Reader thread only (and the connecting thread before the reader starts).
    std::vector<std::uint8_t> buttonMap; // physical button - 1 -> logical button
    HandShapeSet handShapes;
    std::unordered_map<std::uint32_t, bool> handByAtom;

    // The cursor is read on a connection of its own, on the sampling thread.
    std::mutex cursorMutex;
    std::optional<Connection> cursorConn;
};

X11InputMonitor::X11InputMonitor(std::string display, QObject* parent)
    : InputMonitor(parent), display_(std::move(display)), d(std::make_unique<State>()) {}

X11InputMonitor::~X11InputMonitor() {
    std::lock_guard lock(d->life);
    disconnect();
}

void X11InputMonitor::disconnect() {
    if (d->reader.joinable()) {
        d->quit = true;
        wakeReader();
        d->reader.join();
    }
    if (d->wakeFd >= 0) {
        ::close(d->wakeFd);
        d->wakeFd = -1;
    }
    d->conn.reset();
    d->clicksOn = false;
    d->readerGone = false;
}

void X11InputMonitor::wakeReader() {
    if (d->wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(d->wakeFd, &one, sizeof one);
    }
}

bool X11InputMonitor::ensureConnected() {
    std::lock_guard lock(d->life);
    if (d->conn && (d->conn->broken() || d->readerGone)) {
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
    d->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d->wakeFd < 0) {
        return false;
    }
    d->conn = std::move(conn);
    d->handShapes = renderHandGlyphShapes(c);
    d->handByAtom.clear();
    refreshPointerMapping();
    if (d->xfixes) {
        // The cursor showing now; later changes arrive as notifications.
        handleCursorChange(XCB_ATOM_NONE);
    }
    xcb_flush(c);
    d->quit = false;
    d->readerGone = false;
    d->reader = std::thread([this] { readEvents(); });
    return true;
}

void X11InputMonitor::readEvents() {
    xcb_connection_t* c = d->conn->get();
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {d->wakeFd, POLLIN, 0}};
    while (!d->quit) {
        // Everything xcb has already read (also what a round trip on another
        // thread pulled off the socket) comes out here, before waiting again.
        drainEvents();
        if (d->conn->broken()) {
            // Lost display: no more clicks; readCursor() reports nothing from now.
            d->clicksOn = false;
            d->readerGone = true;
            return;
        }
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            d->readerGone = true;
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(d->wakeFd, &count, sizeof count);
        }
    }
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
    std::lock_guard lock(d->life);
    if (!d->conn || !selectRawButtonPresses(d->conn->get(), d->conn->root(), true)) {
        return false;
    }
    d->clicksOn = true;
    // The round trip may have left events in xcb's queue, where the reader's
    // poll cannot see them.
    wakeReader();
    return true;
}

void X11InputMonitor::stopClicks() {
    if (!d->clicksOn.exchange(false)) {
        return;
    }
    std::lock_guard lock(d->life);
    if (d->conn && !d->conn->broken()) {
        selectRawButtonPresses(d->conn->get(), d->conn->root(), false);
        wakeReader();
    }
}

std::optional<CursorReading> X11InputMonitor::readCursor() {
    // The events connection tells whether the hand is showing.
    if (!ensureConnected()) {
        return std::nullopt;
    }
    std::lock_guard lock(d->cursorMutex);
    if (d->cursorConn && d->cursorConn->broken()) {
        d->cursorConn.reset();
    }
    if (!d->cursorConn) {
        d->cursorConn = Connection::open(display_);
        if (!d->cursorConn) {
            return std::nullopt;
        }
    }
    xcb_connection_t* c = d->cursorConn->get();
    Reply<xcb_query_pointer_reply_t> p(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, d->cursorConn->root()), nullptr));
    if (!p) {
        return std::nullopt;
    }
    return CursorReading{QPointF(p->root_x, p->root_y), d->pointerIsHand.load()};
}

void X11InputMonitor::drainEvents() {
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
        // Emitted on the main thread; the monitor joins this thread before it
        // goes, and calls still queued then are dropped with it.
        const QPointF at(p->root_x, p->root_y);
        QMetaObject::invokeMethod(
            this, [this, at, time] { emit clicked(at, time); }, Qt::QueuedConnection);
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
