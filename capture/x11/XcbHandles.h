#pragma once

// Internal to the X11 backend: RAII owners for xcb's C handles and a scoped
// error trap. Includes xcb headers; never include it from a public header.

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace orvane::x11 {

// xcb replies and errors are malloc'ed blocks the caller frees.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;
using ErrorPtr = std::unique_ptr<xcb_generic_error_t, FreeDeleter>;
using EventPtr = std::unique_ptr<xcb_generic_event_t, FreeDeleter>;

// One connection to an X server, closed on destruction. Each thread that talks
// to X owns its own: xcb connections are thread-safe, but a capture thread that
// shared the main thread's connection would wait behind its traffic.
class Connection {
public:
    // Opens `display` (the DISPLAY variable when empty). Nothing when the
    // server cannot be reached.
    static std::optional<Connection> open(const std::string& display = {});
    // Opens `display` and makes sure the server really serves it: a server that
    // resets when its last client leaves (Xvfb, xvfb-run) refuses or drops
    // clients that connect during the reset. Retries for up to `patienceMs`
    // until a round trip succeeds. Blocks; for start-up only.
    static std::optional<Connection> openSettled(const std::string& display, int patienceMs);

    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    xcb_connection_t* get() const { return conn_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_->root; }
    // True once the connection broke (server gone, protocol error): every later
    // request fails, so callers stop rather than retry.
    bool broken() const { return xcb_connection_has_error(conn_) != 0; }

private:
    Connection(xcb_connection_t* conn, xcb_screen_t* screen) : conn_(conn), screen_(screen) {}
    xcb_connection_t* conn_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
};

// A scoped X error trap for checked requests: each check() waits for one
// request's outcome and keeps the first error, so a sequence of set-up requests
// can be sent and judged together. Errors never escape as events.
class ErrorTrap {
public:
    explicit ErrorTrap(xcb_connection_t* conn) : conn_(conn) {}
    // True when the request behind `cookie` succeeded.
    bool check(xcb_void_cookie_t cookie) {
        ErrorPtr error(xcb_request_check(conn_, cookie));
        if (error && firstError_ == 0) {
            firstError_ = error->error_code;
        }
        return !error;
    }
    // Keeps an error that came back with a reply.
    void note(xcb_generic_error_t* error) {
        ErrorPtr owned(error);
        if (owned && firstError_ == 0) {
            firstError_ = owned->error_code;
        }
    }
    bool ok() const { return firstError_ == 0; }
    int firstError() const { return firstError_; } // X error code, 0 when none

private:
    xcb_connection_t* conn_;
    int firstError_ = 0;
};

// An interned atom (XCB_ATOM_NONE when the server cannot answer).
xcb_atom_t internAtom(xcb_connection_t* conn, const char* name, bool onlyIfExists = false);

} // namespace orvane::x11
