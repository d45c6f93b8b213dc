#include "ui/player/PulseSoundOutput.h"

#include "capture/pulse/PulseLoop.h"
#include "media/SoundTracks.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <pulse/pulseaudio.h>
#include <string>

namespace orvane::ui {

namespace {

// How long open() waits for the server to accept the connection, and then
// for the stream, seconds.
constexpr double kOpenTimeout = 2.0;
// The queue in front of the speakers, including the device's own buffer.
constexpr pa_usec_t kTargetLatency = 40'000; // microseconds
constexpr std::size_t kFrameBytes = sizeof(float) * kSoundChannels;

const pa_sample_spec kSpec{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(kSoundRate),
                           static_cast<std::uint8_t>(kSoundChannels)};

// Stream callbacks only wake whoever waits in PulseLoop::waitUntil.
void wakeLoop(pa_threaded_mainloop* loop) {
    pa_threaded_mainloop_signal(loop, 0);
}

} // namespace

// The connection (a main loop thread of its own) and the playback stream on it.
struct PulseSoundOutput::Impl {
    std::unique_ptr<pulse::PulseLoop> loop;
    pa_stream* stream = nullptr; // under a PulseLoop::Lock

    ~Impl() {
        if (stream == nullptr) {
            return;
        }
        // The stream goes first, under the lock; the loop's destructor then
        // closes the connection and joins its thread.
        const pulse::PulseLoop::Lock lock(*loop);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }

    std::string serverError() const { return pulse::pulseErrorText(pa_context_errno(loop->context())); }
    bool broken() const { return !loop->connected() || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)); }
    static void forget(pa_operation* op) {
        if (op != nullptr) {
            pa_operation_unref(op);
        }
    }
};

PulseSoundOutput::PulseSoundOutput(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
PulseSoundOutput::~PulseSoundOutput() = default;

Result<std::unique_ptr<SoundOutput>> PulseSoundOutput::open() {
    // Never starts a server of our own: no server means no sound, quietly.
    auto loop = pulse::PulseLoop::tryCreate("orvane-speaker", kOpenTimeout);
    if (!loop) {
        return loop.errorValue();
    }
    auto d = std::make_unique<Impl>();
    d->loop = std::move(loop.value());
    const pulse::PulseLoop::Lock lock(*d->loop);
    d->stream = pa_stream_new(d->loop->context(), "Preview", &kSpec, nullptr);
    if (d->stream == nullptr) {
        return Error{ErrorKind::Unsupported, "cannot play sound: " + d->serverError()};
    }
    pa_threaded_mainloop* mainloop = d->loop->loop();
    pa_stream_set_state_callback(
        d->stream, [](pa_stream*, void* l) { wakeLoop(static_cast<pa_threaded_mainloop*>(l)); }, mainloop);
    pa_stream_set_write_callback(
        d->stream, [](pa_stream*, std::size_t, void* l) { wakeLoop(static_cast<pa_threaded_mainloop*>(l)); },
        mainloop);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatency, &kSpec));
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    // Timing is interpolated between the server's reports so latency()
    // moves smoothly; the stream starts held until the player plays.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                                      PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    if (pa_stream_connect_playback(d->stream, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        return Error{ErrorKind::Io, "cannot play sound: " + d->serverError()};
    }
    if (!d->loop->waitUntilSettled(d->stream, kOpenTimeout)) {
        return Error{ErrorKind::Io, "The sound server did not answer"};
    }
    if (pa_stream_get_state(d->stream) != PA_STREAM_READY) {
        return Error{ErrorKind::NotFound, "cannot play sound: " + d->serverError()};
    }
    return std::unique_ptr<SoundOutput>(new PulseSoundOutput(std::move(d)));
}

Result<int> PulseSoundOutput::write(const float* samples, int frames, std::chrono::milliseconds wait) {
    const pulse::PulseLoop::Lock lock(*d->loop);
    int written = 0;
    std::optional<Error> failed;
    const auto stopped = [&] {
        failed = Error{ErrorKind::Io, "The sound output stopped: " + d->serverError()};
        return true;
    };
    // Done as soon as there is room for anything (the write callback wakes
    // the wait), or the output broke; otherwise 0 frames when `wait` is over.
    d->loop->waitUntil(
        [&] {
            if (d->broken()) {
                return stopped();
            }
            const std::size_t room = pa_stream_writable_size(d->stream);
            if (room == static_cast<std::size_t>(-1)) {
                return stopped();
            }
            const auto n =
                static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(frames), room / kFrameBytes));
            if (n <= 0) {
                return false;
            }
            if (pa_stream_write(d->stream, samples, static_cast<std::size_t>(n) * kFrameBytes, nullptr, 0,
                                PA_SEEK_RELATIVE) < 0) {
                return stopped();
            }
            written = n;
            return true;
        },
        std::chrono::duration<double>(wait).count());
    if (failed) {
        return *failed;
    }
    return written;
}

void PulseSoundOutput::flush() {
    const pulse::PulseLoop::Lock lock(*d->loop);
    if (!d->broken()) {
        Impl::forget(pa_stream_flush(d->stream, nullptr, nullptr));
    }
}

void PulseSoundOutput::setPaused(bool paused) {
    const pulse::PulseLoop::Lock lock(*d->loop);
    if (!d->broken()) {
        Impl::forget(pa_stream_cork(d->stream, paused ? 1 : 0, nullptr, nullptr));
    }
}

std::optional<double> PulseSoundOutput::latency() {
    const pulse::PulseLoop::Lock lock(*d->loop);
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
