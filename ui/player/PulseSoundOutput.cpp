#include "ui/player/PulseSoundOutput.h"

#include "render/media/SoundTracks.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <pulse/pulseaudio.h>
#include <string>

namespace orvane::ui {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long open() waits for the server to accept the connection and the stream.
constexpr auto kOpenTimeout = std::chrono::seconds(2);
// The queue in front of the speakers, including the device's own buffer.
constexpr pa_usec_t kTargetLatency = 40'000; // microseconds
constexpr std::size_t kFrameBytes = sizeof(float) * kSoundChannels;

const pa_sample_spec kSpec{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(kSoundRate),
                           static_cast<std::uint8_t>(kSoundChannels)};

} // namespace

// libpulse's objects and the wake-up its callbacks give the caller. The
// callbacks run on the main loop's thread with the loop's lock held; they
// only bump `events` and notify, so the caller can wait with a timeout on its
// own condition variable (the loop's own wait has none).
struct PulseSoundOutput::Impl {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    bool loopRunning = false;

    std::mutex wakeMutex;
    std::condition_variable woken;
    std::uint64_t events = 0; // guarded by wakeMutex

    ~Impl() {
        if (loop == nullptr) {
            return;
        }
        if (loopRunning) {
            pa_threaded_mainloop_lock(loop);
        }
        if (stream != nullptr) {
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_write_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
        }
        if (context != nullptr) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loopRunning) {
            pa_threaded_mainloop_unlock(loop);
            pa_threaded_mainloop_stop(loop);
        }
        pa_threaded_mainloop_free(loop);
    }

    static void wake(void* self) {
        auto* d = static_cast<Impl*>(self);
        {
            const std::lock_guard<std::mutex> g(d->wakeMutex);
            ++d->events;
        }
        d->woken.notify_all();
    }
    std::uint64_t eventCount() {
        const std::lock_guard<std::mutex> g(wakeMutex);
        return events;
    }
    // Waits until a callback ran after `seen` was read, or `deadline`.
    void waitForEvent(std::uint64_t seen, SteadyClock::time_point deadline) {
        std::unique_lock<std::mutex> g(wakeMutex);
        woken.wait_until(g, deadline, [&] { return events != seen; });
    }

    struct Lock {
        explicit Lock(pa_threaded_mainloop* l) : loop(l) { pa_threaded_mainloop_lock(loop); }
        ~Lock() { pa_threaded_mainloop_unlock(loop); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        pa_threaded_mainloop* loop;
    };

    std::string serverError() const { return pa_strerror(pa_context_errno(context)); }
    bool broken() const {
        return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) ||
               !PA_STREAM_IS_GOOD(pa_stream_get_state(stream));
    }
    void runOperation(pa_operation* op) {
        if (op != nullptr) {
            pa_operation_unref(op);
        }
    }
};

PulseSoundOutput::PulseSoundOutput(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
PulseSoundOutput::~PulseSoundOutput() = default;

Result<std::unique_ptr<SoundOutput>> PulseSoundOutput::open() {
    auto d = std::make_unique<Impl>();
    d->loop = pa_threaded_mainloop_new();
    if (d->loop == nullptr) {
        return Error{ErrorKind::Io, "cannot start the sound output"};
    }
    d->context = pa_context_new(pa_threaded_mainloop_get_api(d->loop), "Orvane");
    if (d->context == nullptr) {
        return Error{ErrorKind::Io, "cannot start the sound output"};
    }
    pa_context_set_state_callback(
        d->context, [](pa_context*, void* self) { Impl::wake(self); }, d.get());
    // Never start a server of our own: no server means no sound, quietly.
    if (pa_context_connect(d->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return Error{ErrorKind::NotFound, "No sound server (" + d->serverError() + ")"};
    }
    if (pa_threaded_mainloop_start(d->loop) < 0) {
        return Error{ErrorKind::Io, "cannot start the sound output"};
    }
    d->loopRunning = true;

    const auto deadline = SteadyClock::now() + kOpenTimeout;
    for (;;) {
        const std::uint64_t seen = d->eventCount();
        pa_context_state_t state{};
        {
            const Impl::Lock lock(d->loop);
            state = pa_context_get_state(d->context);
            if (!PA_CONTEXT_IS_GOOD(state)) {
                return Error{ErrorKind::NotFound, "No sound server (" + d->serverError() + ")"};
            }
        }
        if (state == PA_CONTEXT_READY) {
            break;
        }
        if (SteadyClock::now() >= deadline) {
            return Error{ErrorKind::Io, "The sound server did not answer"};
        }
        d->waitForEvent(seen, deadline);
    }

    {
        const Impl::Lock lock(d->loop);
        d->stream = pa_stream_new(d->context, "Preview", &kSpec, nullptr);
        if (d->stream == nullptr) {
            return Error{ErrorKind::Unsupported, "cannot play sound: " + d->serverError()};
        }
        pa_stream_set_state_callback(
            d->stream, [](pa_stream*, void* self) { Impl::wake(self); }, d.get());
        pa_stream_set_write_callback(
            d->stream, [](pa_stream*, std::size_t, void* self) { Impl::wake(self); }, d.get());
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatency, &kSpec));
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        // Timing is interpolated between the server's reports so latency()
        // moves smoothly; the stream starts held until the player plays.
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY |
            PA_STREAM_START_CORKED);
        if (pa_stream_connect_playback(d->stream, nullptr, &attr, flags, nullptr, nullptr) < 0) {
            return Error{ErrorKind::Io, "cannot play sound: " + d->serverError()};
        }
    }
    for (;;) {
        const std::uint64_t seen = d->eventCount();
        pa_stream_state_t state{};
        {
            const Impl::Lock lock(d->loop);
            state = pa_stream_get_state(d->stream);
            if (!PA_STREAM_IS_GOOD(state)) {
                return Error{ErrorKind::NotFound, "cannot play sound: " + d->serverError()};
            }
        }
        if (state == PA_STREAM_READY) {
            break;
        }
        if (SteadyClock::now() >= deadline) {
            return Error{ErrorKind::Io, "The sound server did not answer"};
        }
        d->waitForEvent(seen, deadline);
    }
    return std::unique_ptr<SoundOutput>(new PulseSoundOutput(std::move(d)));
}

Result<int> PulseSoundOutput::write(const float* samples, int frames,
                                    std::chrono::milliseconds wait) {
    const auto deadline = SteadyClock::now() + wait;
    for (;;) {
        const std::uint64_t seen = d->eventCount();
        {
            const Impl::Lock lock(d->loop);
            if (d->broken()) {
                return Error{ErrorKind::Io, "The sound output stopped: " + d->serverError()};
            }
            const std::size_t room = pa_stream_writable_size(d->stream);
            if (room == static_cast<std::size_t>(-1)) {
                return Error{ErrorKind::Io, "The sound output stopped: " + d->serverError()};
            }
            const auto n = static_cast<int>(
                std::min<std::size_t>(static_cast<std::size_t>(frames), room / kFrameBytes));
            if (n > 0) {
                if (pa_stream_write(d->stream, samples, static_cast<std::size_t>(n) * kFrameBytes,
                                    nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                    return Error{ErrorKind::Io, "The sound output stopped: " + d->serverError()};
                }
                return n;
            }
        }
        if (SteadyClock::now() >= deadline) {
            return 0;
        }
        d->waitForEvent(seen, deadline);
    }
}

void PulseSoundOutput::flush() {
    const Impl::Lock lock(d->loop);
    if (!d->broken()) {
        d->runOperation(pa_stream_flush(d->stream, nullptr, nullptr));
    }
}

void PulseSoundOutput::setPaused(bool paused) {
    const Impl::Lock lock(d->loop);
    if (!d->broken()) {
        d->runOperation(pa_stream_cork(d->stream, paused ? 1 : 0, nullptr, nullptr));
    }
}

std::optional<double> PulseSoundOutput::latency() {
    const Impl::Lock lock(d->loop);
    if (d->broken()) {
        return std::nullopt;
    }
    pa_usec_t usec = 0;
    int negative = 0;
    if (pa_stream_get_latency(d->stream, &usec, &negative) < 0) {
        return std::nullopt;
    }
    const double seconds = static_cast<double>(usec) / 1e6;
    return negative != 0 ? -seconds : seconds;
}

} // namespace orvane::ui
