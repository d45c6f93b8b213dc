#include "PulseLoop.h"

#include <pulse/pulseaudio.h>

#include <optional>

namespace orvane::pulse {

namespace {

void onContextState(pa_context*, void* userdata) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

struct Timeout {
    pa_threaded_mainloop* loop = nullptr;
    bool expired = false;
};

void onTimeout(pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
    auto* timeout = static_cast<Timeout*>(userdata);
    timeout->expired = true;
    pa_threaded_mainloop_signal(timeout->loop, 0);
}

} // namespace

std::string pulseErrorText(int code) {
    const char* text = pa_strerror(code);
    return text != nullptr ? std::string(text) : std::string("unknown error");
}

Result<std::unique_ptr<PulseLoop>> PulseLoop::tryCreate(const char* name, double timeoutSeconds) {
    std::unique_ptr<PulseLoop> l(new PulseLoop());
    l->loop_ = pa_threaded_mainloop_new();
    if (l->loop_ == nullptr) {
        return Error{ErrorKind::Io, "Cannot set up a connection to the sound server."};
    }
    pa_threaded_mainloop_set_name(l->loop_, name);
    l->context_ = pa_context_new(pa_threaded_mainloop_get_api(l->loop_), "Orvane");
    if (l->context_ == nullptr) {
        return Error{ErrorKind::Io, "Cannot set up a connection to the sound server."};
    }
    pa_context_set_state_callback(l->context_, &onContextState, l->loop_);
    if (pa_context_connect(l->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return Error{ErrorKind::NotFound,
                     "No sound server answered (" + pulseErrorText(pa_context_errno(l->context_)) + ")."};
    }
    if (pa_threaded_mainloop_start(l->loop_) < 0) {
        return Error{ErrorKind::Io, "Cannot start the sound server's thread."};
    }
    l->started_ = true;
    Lock lock(*l);
    pa_context* context = l->context_;
    const bool settled = l->waitUntil(
        [context] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        timeoutSeconds);
    if (!settled) {
        return Error{ErrorKind::NotFound, "No sound server answered within a few seconds."};
    }
    if (pa_context_get_state(context) != PA_CONTEXT_READY) {
        return Error{ErrorKind::NotFound,
                     "No sound server answered (" + pulseErrorText(pa_context_errno(context)) + ")."};
    }
    return l;
}

PulseLoop::~PulseLoop() {
    if (context_ != nullptr) {
        // The thread may be running callbacks on the context: take it off
        // under the lock (there is no thread to race with before start).
        std::optional<Lock> lock;
        if (started_) {
            lock.emplace(*this);
        }
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    if (loop_ != nullptr) {
        if (started_) {
            pa_threaded_mainloop_stop(loop_);
        }
        pa_threaded_mainloop_free(loop_);
    }
}

bool PulseLoop::connected() const {
    return PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
}

bool PulseLoop::waitUntil(const std::function<bool()>& done, double timeoutSeconds) {
    if (done()) {
        return true;
    }
    Timeout timeout;
    timeout.loop = loop_;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    // On the monotonic clock, so a change of the wall clock cannot stretch it.
    pa_time_event* timer = pa_context_rttime_new(
        context_, pa_rtclock_now() + static_cast<pa_usec_t>(timeoutSeconds * 1e6), &onTimeout, &timeout);
    bool result = false;
    while (true) {
        if (done()) {
            result = true;
            break;
        }
        if (timeout.expired) {
            break;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    if (timer != nullptr) {
        api->time_free(timer);
    }
    return result;
}

bool PulseLoop::waitUntilSettled(pa_stream* stream, double timeoutSeconds) {
    return waitUntil(
        [stream] {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        timeoutSeconds);
}

PulseLoop::Lock::Lock(const PulseLoop& loop) : loop_(loop.loop_) {
    pa_threaded_mainloop_lock(loop_);
}

PulseLoop::Lock::~Lock() {
    pa_threaded_mainloop_unlock(loop_);
}

} // namespace orvane::pulse
