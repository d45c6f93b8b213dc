#pragma once

// A connection to the sound server on a thread of its own: the pulse backend's
// sources and devices use it, and so does the player's sound output.

#include "timeline/Result.h"

#include <functional>
#include <memory>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace orvane::pulse {

// A libpulse threaded main loop (= one thread) with a context connected to
// the sound server (PulseAudio, or PipeWire's pulse server). Everything libpulse
// calls back runs on the loop's thread with the loop's lock held; any other
// thread that touches libpulse objects of this loop holds a Lock.
//
// Teardown is fixed: whatever the owner built on the context (streams) goes
// first, under a Lock; then the destructor disconnects and releases the
// context under the lock, stops (joins) the loop's thread, and frees the loop.
// This order holds also when the server has gone away.
class PulseLoop {
public:
    // Connects to the server libpulse finds (PULSE_SERVER, the session's
    // socket), never starting one. Fails with a sentence for the user when no
    // server answers within `timeoutSeconds`. Main thread (any thread that is
    // not a loop thread).
    static Result<std::unique_ptr<PulseLoop>> tryCreate(const char* name, double timeoutSeconds = 3.0);
    ~PulseLoop();
    PulseLoop(const PulseLoop&) = delete;
    PulseLoop& operator=(const PulseLoop&) = delete;

    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }

    // Whether the context is still connected (not failed or terminated).
    // Under a Lock or on the loop's thread.
    bool connected() const;

    // Waits (under a Lock) until `done()` holds, checking it each time the
    // loop's thread signals (callbacks that finish something call
    // pa_threaded_mainloop_signal(loop, 0)), for at most `timeoutSeconds`.
    // Returns whether `done()` held.
    bool waitUntil(const std::function<bool()>& done, double timeoutSeconds);

    // waitUntil() for a stream just connected: until it is ready or has
    // failed. Its state callback must signal the loop. Returns whether it
    // settled either way within `timeoutSeconds`; under a Lock.
    bool waitUntilSettled(pa_stream* stream, double timeoutSeconds);

    // Holds the loop's lock for a scope. Never on the loop's own thread, whose
    // callbacks already hold it.
    class Lock {
    public:
        explicit Lock(const PulseLoop& loop);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

private:
    PulseLoop() = default;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool started_ = false;
};

// libpulse's description of an error code, as a std::string.
std::string pulseErrorText(int code);

} // namespace orvane::pulse
