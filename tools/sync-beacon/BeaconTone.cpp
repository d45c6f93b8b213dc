#include "BeaconTone.h"

#include <pulse/pulseaudio.h>

#include <cmath>
#include <ctime>
#include <numbers>

namespace orvane::beacon {

namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr int kFrameBytes = kChannels * static_cast<int>(sizeof(float));
constexpr double kConnectSeconds = 3.0;

double hostNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Waits under the lock until `done` holds or `seconds` pass.
template <typename Done>
bool waitFor(pa_threaded_mainloop* loop, double seconds, Done done) {
    const double until = hostNow() + seconds;
    while (!done()) {
        if (hostNow() > until) {
            return false;
        }
        // The loop signals on every state change; a short unlocked nap covers
        // a server that never says anything.
        pa_threaded_mainloop_unlock(loop);
        timespec nap{0, 5'000'000};
        nanosleep(&nap, nullptr);
        pa_threaded_mainloop_lock(loop);
    }
    return true;
}

} // namespace

std::unique_ptr<BeaconTone> BeaconTone::open(const std::string& sink, const ToneShape& shape, std::string& error) {
    std::unique_ptr<BeaconTone> t(new BeaconTone());
    t->shape_ = shape;
    t->loop_ = pa_threaded_mainloop_new();
    t->context_ = pa_context_new(pa_threaded_mainloop_get_api(t->loop_), "Orvane sync beacon");
    pa_context_set_state_callback(t->context_, &onContextState, t.get());
    if (pa_context_connect(t->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0
        || pa_threaded_mainloop_start(t->loop_) < 0) {
        error = "no sound server answers";
        return nullptr;
    }
    pa_threaded_mainloop_lock(t->loop_);
    pa_context* context = t->context_;
    const bool ready = waitFor(t->loop_, kConnectSeconds, [context] {
        const pa_context_state_t s = pa_context_get_state(context);
        return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
    }) && pa_context_get_state(context) == PA_CONTEXT_READY;
    if (!ready) {
        pa_threaded_mainloop_unlock(t->loop_);
        error = "no sound server answers";
        return nullptr;
    }
    pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, kRate, kChannels};
    t->stream_ = pa_stream_new(t->context_, "sync beacon", &spec, nullptr);
    pa_stream_set_write_callback(t->stream_, &onWrite, t.get());
    pa_stream_set_state_callback(t->stream_, &onState, t.get());
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(kRate / 50 * kFrameBytes); // 20 ms
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(kRate / 200 * kFrameBytes); // 5 ms
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE
                                                      | PA_STREAM_INTERPOLATE_TIMING);
    if (pa_stream_connect_playback(t->stream_, sink.empty() ? nullptr : sink.c_str(), &attr, flags, nullptr,
                                   nullptr)
        < 0) {
        pa_threaded_mainloop_unlock(t->loop_);
        error = "cannot play into the sink \"" + sink + "\"";
        return nullptr;
    }
    pa_stream* stream = t->stream_;
    const bool playing = waitFor(t->loop_, kConnectSeconds, [stream] {
        const pa_stream_state_t s = pa_stream_get_state(stream);
        return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
    }) && pa_stream_get_state(stream) == PA_STREAM_READY;
    pa_threaded_mainloop_unlock(t->loop_);
    if (!playing) {
        error = "cannot play into the sink \"" + sink + "\" (" + pa_strerror(pa_context_errno(context)) + ")";
        return nullptr;
    }
    return t;
}

BeaconTone::~BeaconTone() {
    if (loop_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(loop_);
    if (stream_ != nullptr) {
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

void BeaconTone::schedule(const std::vector<double>& hostTimes) {
    pa_threaded_mainloop_lock(loop_);
    for (double at : hostTimes) {
        tones_.push_back(Tone{at});
    }
    pa_threaded_mainloop_unlock(loop_);
}

double BeaconTone::placedAt(std::size_t index) const {
    pa_threaded_mainloop_lock(loop_);
    const double at = index < tones_.size() ? tones_[index].placedAt : -1.0;
    pa_threaded_mainloop_unlock(loop_);
    return at;
}

bool BeaconTone::running() const {
    pa_threaded_mainloop_lock(loop_);
    const bool good = PA_STREAM_IS_GOOD(pa_stream_get_state(stream_));
    pa_threaded_mainloop_unlock(loop_);
    return good;
}

void BeaconTone::onWrite(pa_stream*, std::size_t bytes, void* userdata) {
    static_cast<BeaconTone*>(userdata)->write(bytes);
}

void BeaconTone::onState(pa_stream*, void* userdata) {
    pa_threaded_mainloop_signal(static_cast<BeaconTone*>(userdata)->loop_, 0);
}

void BeaconTone::onContextState(pa_context*, void* userdata) {
    pa_threaded_mainloop_signal(static_cast<BeaconTone*>(userdata)->loop_, 0);
}

void BeaconTone::write(std::size_t bytes) {
    const auto frames = static_cast<long long>(bytes / kFrameBytes);
    if (frames <= 0) {
        return;
    }
    // When the first frame of this write will be played, from the server's
    // latest timing report (not libpulse's interpolation, which stands still
    // for a while after a late report): the frame at the report's read index
    // was leaving the stream's buffer at the report's time and is heard
    // sink_usec later; the frames after it follow at the nominal rate.
    const pa_timing_info* info = pa_stream_get_timing_info(stream_);
    const bool timed = info != nullptr && info->playing != 0 && info->read_index_corrupt == 0
                       && info->read_index > 0;
    double firstPlaysAt = 0.0;
    if (timed) {
        timespec wall{};
        clock_gettime(CLOCK_REALTIME, &wall);
        const double measuredAgo = (static_cast<double>(wall.tv_sec) + static_cast<double>(wall.tv_nsec) * 1e-9)
                                   - (static_cast<double>(info->timestamp.tv_sec)
                                      + static_cast<double>(info->timestamp.tv_usec) * 1e-6);
        const double readPlaysAt = hostNow() - measuredAgo + static_cast<double>(info->sink_usec) * 1e-6;
        firstPlaysAt = readPlaysAt + static_cast<double>(written_ * kFrameBytes - info->read_index)
                                         / (kRate * kFrameBytes);
        for (Tone& tone : tones_) {
            if (tone.startFrame >= 0 || tone.late) {
                continue;
            }
            const long long start = written_ + std::llround((tone.at - firstPlaysAt) * kRate);
            if (start < written_) {
                tone.late = true; // asked too late: the frame is already gone
            } else if (start < written_ + frames) {
                tone.startFrame = start;
                tone.placedAt = firstPlaysAt + static_cast<double>(start - written_) / kRate;
            }
        }
    }
    const auto toneFrames = static_cast<long long>(shape_.seconds * kRate);
    const long long fadeFrames = kRate / 500; // 2 ms fade-out, no click at the end
    buffer_.assign(static_cast<std::size_t>(frames) * kChannels, 0.0F);
    for (const Tone& tone : tones_) {
        if (tone.startFrame < 0) {
            continue;
        }
        for (long long i = 0; i < frames; ++i) {
            const long long n = written_ + i - tone.startFrame;
            if (n < 0 || n >= toneFrames) {
                continue;
            }
            double gain = shape_.amplitude;
            if (n > toneFrames - fadeFrames) {
                gain *= static_cast<double>(toneFrames - n) / static_cast<double>(fadeFrames);
            }
            // Cosine, so the very first frame is already at full level and
            // the onset is sharp to the frame.
            const auto v = static_cast<float>(
                gain * std::cos(2.0 * std::numbers::pi * shape_.hz * static_cast<double>(n) / kRate));
            buffer_[static_cast<std::size_t>(i) * kChannels] = v;
            buffer_[static_cast<std::size_t>(i) * kChannels + 1] = v;
        }
    }
    pa_stream_write(stream_, buffer_.data(), static_cast<std::size_t>(frames) * kFrameBytes, nullptr, 0,
                    PA_SEEK_RELATIVE);
    written_ += frames;
}

} // namespace orvane::beacon
