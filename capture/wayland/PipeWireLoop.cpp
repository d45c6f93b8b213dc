#include "PipeWireLoop.h"

#include <pipewire/pipewire.h>

#include <mutex>

#include <unistd.h>

namespace orvane::wayland {

namespace {
void initPipeWireOnce() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}
} // namespace

Result<std::unique_ptr<PipeWireLoop>> PipeWireLoop::tryCreate(int fd, const char* name) {
    initPipeWireOnce();
    std::unique_ptr<PipeWireLoop> l(new PipeWireLoop());
    l->loop_ = pw_thread_loop_new(name, nullptr);
    if (l->loop_ == nullptr) {
        ::close(fd);
        return Error{ErrorKind::Io, "cannot set up a PipeWire loop"};
    }
    l->context_ = pw_context_new(pw_thread_loop_get_loop(l->loop_), nullptr, 0);
    if (l->context_ == nullptr) {
        ::close(fd);
        return Error{ErrorKind::Io, "cannot set up a PipeWire context"};
    }
    if (pw_thread_loop_start(l->loop_) < 0) {
        ::close(fd);
        return Error{ErrorKind::Io, "cannot start the PipeWire thread"};
    }
    Lock lock(*l);
    // The core owns the descriptor from here on, also when it fails.
    l->core_ = pw_context_connect_fd(l->context_, fd, nullptr, 0);
    if (l->core_ == nullptr) {
        return Error{ErrorKind::NotFound, "cannot connect to PipeWire through the portal"};
    }
    return l;
}

PipeWireLoop::~PipeWireLoop() {
    if (loop_ != nullptr && core_ != nullptr) {
        Lock lock(*this);
        pw_core_disconnect(core_);
    }
    if (loop_ != nullptr) {
        pw_thread_loop_stop(loop_);
    }
    if (context_ != nullptr) {
        pw_context_destroy(context_);
    }
    if (loop_ != nullptr) {
        pw_thread_loop_destroy(loop_);
    }
}

PipeWireLoop::Lock::Lock(const PipeWireLoop& loop) : loop_(loop.loop_) {
    pw_thread_loop_lock(loop_);
}

PipeWireLoop::Lock::~Lock() {
    pw_thread_loop_unlock(loop_);
}

} // namespace orvane::wayland
