#pragma once

// Internal to the Wayland backend: a PipeWire connection on its own thread.

#include "timeline/Result.h"

#include <memory>

struct pw_thread_loop;
struct pw_context;
struct pw_core;

namespace orvane::wayland {

// A PipeWire thread loop with a context and a core connected through a
// descriptor (the portal's restricted remote). Everything PipeWire calls back
// runs on the loop's thread; any other thread that touches PipeWire objects of
// this loop holds a Lock. Teardown is fixed: whatever the owner built on the
// core goes first (the owner destroys its streams under a Lock), then the
// core, the loop's thread, the context and the loop, in that order.
class PipeWireLoop {
public:
    // Takes ownership of `fd` (closed on failure too).
    static Result<std::unique_ptr<PipeWireLoop>> tryCreate(int fd, const char* name);
    ~PipeWireLoop();
    PipeWireLoop(const PipeWireLoop&) = delete;
    PipeWireLoop& operator=(const PipeWireLoop&) = delete;

    pw_thread_loop* loop() const { return loop_; }
    pw_core* core() const { return core_; }

    // Holds the loop's lock for a scope (not on the loop's own thread, whose
    // callbacks already hold it).
    class Lock {
    public:
        explicit Lock(const PipeWireLoop& loop);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pw_thread_loop* loop_;
    };

private:
    PipeWireLoop() = default;
    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
};

} // namespace orvane::wayland
