#include "XcbHandles.h"

#include <chrono>
#include <cstdlib>
#include <thread>
#include <unistd.h>

#include <cstring>
#include <utility>

namespace orvane::x11 {

std::optional<Connection> Connection::open(const std::string& display) {
    int screenNumber = 0;
    xcb_connection_t* conn = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (conn == nullptr) {
        return std::nullopt;
    }
    if (xcb_connection_has_error(conn) != 0) {
        xcb_disconnect(conn);
        return std::nullopt;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i) {
        xcb_screen_next(&it);
    }
    if (it.rem == 0 || it.data == nullptr) {
        xcb_disconnect(conn);
        return std::nullopt;
    }
    return Connection(conn, it.data);
}

namespace {

// Whether a server may be behind `display` at all: a local display (":N")
// whose socket does not exist has no server to wait for.
bool mayHaveServer(const std::string& display) {
    const char* fromEnv = std::getenv("DISPLAY");
    const std::string name = !display.empty() ? display : (fromEnv != nullptr ? fromEnv : "");
    if (name.empty()) {
        return false;
    }
    if (name[0] != ':') {
        return true; // a remote or unusual name: let xcb judge each attempt
    }
    const std::string number = name.substr(1, name.find('.') - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return true;
    }
    return ::access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0;
}

} // namespace

std::optional<Connection> Connection::openSettled(const std::string& display, int patienceMs) {
    if (!mayHaveServer(display)) {
        return open(display);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
    for (;;) {
        if (auto conn = open(display)) {
            xcb_connection_t* c = conn->get();
            Reply<xcb_get_input_focus_reply_t> answer(
                xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            if (answer && !conn->broken()) {
                return conn;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

Connection::Connection(Connection&& other) noexcept
    : conn_(std::exchange(other.conn_, nullptr)), screen_(std::exchange(other.screen_, nullptr)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        if (conn_ != nullptr) {
            xcb_disconnect(conn_);
        }
        conn_ = std::exchange(other.conn_, nullptr);
        screen_ = std::exchange(other.screen_, nullptr);
    }
    return *this;
}

Connection::~Connection() {
    if (conn_ != nullptr) {
        xcb_disconnect(conn_);
    }
}

xcb_atom_t internAtom(xcb_connection_t* conn, const char* name, bool onlyIfExists) {
    const auto length = static_cast<std::uint16_t>(std::strlen(name));
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(conn, xcb_intern_atom(conn, onlyIfExists ? 1 : 0, length, name),
                              nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

} // namespace orvane::x11
