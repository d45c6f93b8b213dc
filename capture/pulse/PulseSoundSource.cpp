#include "PulseSoundSource.h"

#include "capture/HostClock.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>

namespace orvane::pulse {

namespace {

constexpr int kFrameBytes = kSoundChannels * static_cast<int>(sizeof(float));
// About 10 ms per fragment: small enough for a live meter and a low latency,
// large enough not to wake the thread too often.
constexpr int kFragmentFrames = kSoundRate / 100;
// Silence is handed over from a zero buffer of this many frames at a time.
constexpr int kSilenceChunkFrames = kSoundRate / 10;
constexpr double kStartTimeoutSeconds = 3.0;
// Frames held back at the start while the server's first timing report is
// awaited; past this the stream is stamped by arrival alone.
constexpr std::int64_t kMaxPendingFrames = kSoundRate / 2;
// The first blocks come in a burst as the stream starts (the server hands
// over what it already has): they bound the first frame's capture most
// tightly, so the first frames wait for a few of them before they are placed.
constexpr std::int64_t kAnchorHoldFrames = kSoundRate / 20;
constexpr double kBytesPerSecond = static_cast<double>(kSoundRate) * kFrameBytes;

const char* sourceNoun(SoundKind kind) {
    return kind == SoundKind::Microphone ? "microphone" : "desktop sound";
}

} // namespace

PulseSoundSource::PulseSoundSource(SoundKind kind, std::string source, QString description)
    : kind_(kind), source_(std::move(source)), description_(std::move(description)),
      silence_(static_cast<std::size_t>(kSilenceChunkFrames) * kSoundChannels, 0.0F) {}

Result<std::unique_ptr<PulseSoundSource>> PulseSoundSource::tryCreate(SoundKind kind, std::string source,
                                                                      QString description) {
    std::unique_ptr<PulseSoundSource> s(new PulseSoundSource(kind, std::move(source), std::move(description)));
    auto loop = PulseLoop::tryCreate(kind == SoundKind::Microphone ? "orvane-mic" : "orvane-desktop");
    if (!loop) {
        return loop.errorValue();
    }
    s->loop_ = std::move(loop.value());
    return s;
}

PulseSoundSource::~PulseSoundSource() {
    stop();
}

Result<void> PulseSoundSource::start(SoundSink* sink) {
    if (used_ || loop_ == nullptr) {
        return Error{ErrorKind::Invalid, "This sound source was already used for a take."};
    }
    used_ = true;
    sink_ = sink;
    PulseLoop::Lock lock(*loop_);
    if (!loop_->connected()) {
        return Error{ErrorKind::NotFound, std::string("The sound server went away; the ") + sourceNoun(kind_)
                                              + " cannot be recorded."};
    }
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32NE;
    spec.rate = kSoundRate;
    spec.channels = kSoundChannels;
    pa_channel_map map{};
    pa_channel_map_init_stereo(&map);
    stream_ = pa_stream_new(loop_->context(), kind_ == SoundKind::Microphone ? "Orvane microphone" : "Orvane desktop sound",
                            &spec, &map);
    if (stream_ == nullptr) {
        return Error{ErrorKind::Io, std::string("Cannot record the ") + sourceNoun(kind_) + " ("
                                        + pulseErrorText(pa_context_errno(loop_->context())) + ")."};
    }
    pa_stream_set_read_callback(stream_, &onRead, this);
    pa_stream_set_state_callback(stream_, &onState, this);
    pa_stream_set_overflow_callback(stream_, &onOverflow, this);
    pa_stream_set_latency_update_callback(stream_, &onTiming, this);

    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(kFragmentFrames * kFrameBytes);
    // DONT_MOVE: a device that goes away ends this source (the user is told)
    // instead of quietly recording another one.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE
                                                      | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_DONT_MOVE);
    // A server that died before this loop noticed it fails the connect or the
    // stream: that is this start's failure, not an end to report as well.
    starting_ = true;
    const bool connected = pa_stream_connect_record(stream_, source_.c_str(), &attr, flags) >= 0;
    const bool settled = connected && loop_->waitUntilSettled(stream_, kStartTimeoutSeconds);
    starting_ = false;
    if (!connected || !settled || pa_stream_get_state(stream_) != PA_STREAM_READY) {
        const std::string why = !connected || settled ? pulseErrorText(pa_context_errno(loop_->context()))
                                                      : std::string("the sound server did not answer");
        const bool serverGone = !loop_->connected();
        releaseStream();
        if (serverGone) {
            return Error{ErrorKind::NotFound, std::string("The sound server went away; the ") + sourceNoun(kind_)
                                                  + " cannot be recorded."};
        }
        return Error{connected ? ErrorKind::NotFound : ErrorKind::Io,
                     std::string("Cannot record the ") + sourceNoun(kind_) + " (" + why + ")."};
    }
    return {};
}

void PulseSoundSource::releaseStream() {
    if (stream_ == nullptr) {
        return;
    }
    // Off first, so that the disconnect (or a server that died meanwhile)
    // calls nothing of ours any more.
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_overflow_callback(stream_, nullptr, nullptr);
    pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
        pa_stream_disconnect(stream_);
    }
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

void PulseSoundSource::stop() {
    if (loop_ == nullptr) {
        return;
    }
    {
        PulseLoop::Lock lock(*loop_);
        releaseStream();
    }
    // Joins the loop's thread: after this nothing calls the sink.
    loop_.reset();
}

float PulseSoundSource::takePeak() {
    return peak_.exchange(0.0F, std::memory_order_relaxed);
}

void PulseSoundSource::onRead(pa_stream*, size_t, void* userdata) {
    static_cast<PulseSoundSource*>(userdata)->readAll();
}

void PulseSoundSource::onOverflow(pa_stream*, void* userdata) {
    static_cast<PulseSoundSource*>(userdata)->clock_.noteOverrun();
}

void PulseSoundSource::onState(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulseSoundSource*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        self->end(self->endedSentence());
    }
    pa_threaded_mainloop_signal(self->loop_->loop(), 0);
}

std::string PulseSoundSource::endedSentence() const {
    if (!loop_->connected()) {
        return std::string("The sound server stopped; the ") + sourceNoun(kind_) + " is no longer recorded.";
    }
    return kind_ == SoundKind::Microphone ? "The microphone was disconnected."
                                          : "The desktop sound stopped: its output device went away.";
}

void PulseSoundSource::end(std::string why) {
    if (ended_ || sink_ == nullptr) {
        return;
    }
    if (starting_) {
        ended_ = true; // start() says why it failed; nothing more is delivered meanwhile
        return;
    }
    ended_ = true;
    sink_->soundEnded(Error{ErrorKind::NotFound, std::move(why)});
}

void PulseSoundSource::onTiming(pa_stream*, void* userdata) {
    static_cast<PulseSoundSource*>(userdata)->takeTiming();
}

void PulseSoundSource::takeTiming() {
    const pa_timing_info* info = pa_stream_get_timing_info(stream_);
    // A report taken before the source produced anything (write index 0)
    // would pin the first frame to a moment before it was captured.
    if (info == nullptr || info->write_index_corrupt != 0 || info->write_index <= 0) {
        return;
    }
    // The report's timestamp is on the wall clock: move it to the host clock
    // through the current distance between the two.
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    const double measuredAgo = hostTimeOf(wall.tv_sec, wall.tv_nsec)
                               - hostTimeOf(info->timestamp.tv_sec, std::int64_t{info->timestamp.tv_usec} * 1000);
    // The frame at the write index had just entered the server's buffer; it
    // was captured source_usec before that (the device's own latency). A
    // monitor gets what its output plays before it is heard: the server
    // renders sink_usec ahead (0 for other sources). The desktop's sound is
    // stamped when it is heard, which is when the picture that goes with it
    // is on the screen (players hold their pictures back by that latency).
    timingCapturedAt_ = hostTime() - measuredAgo - static_cast<double>(info->source_usec) * 1e-6;
    timingHeardAfter_ = static_cast<double>(info->sink_usec) * 1e-6;
    timingWriteIndex_ = info->write_index;
    timingKnown_ = true;
    ++timingSerial_;
    boundTiming();
}

void PulseSoundSource::boundTiming() {
    const double latest = arrivalBound_ + static_cast<double>(timingWriteIndex_) / kBytesPerSecond;
    if (timingKnown_ && timingCapturedAt_ > latest) {
        timingCapturedAt_ = latest;
    }
}

double PulseSoundSource::latencyAt(std::int64_t bytePosition, double arrival) const {
    if (!timingKnown_) {
        return 0.0; // no report yet: the best guess is that it was captured just now
    }
    const double capturedAt =
        timingCapturedAt_ + static_cast<double>(bytePosition - timingWriteIndex_) / kBytesPerSecond;
    return arrival - capturedAt - timingHeardAfter_;
}

void PulseSoundSource::deliver(const float* samples, std::int64_t frames, std::int64_t endPosition, double arrival) {
    double latency = latencyAt(endPosition, arrival);
    const double lag = clock_.lagOf(frames, arrival, latency);
    if (lag > clock_.fillThreshold() && timingKnown_) {
        // Frames seem lost. One timing report can be off (a busy machine
        // stretches its round trip), and silence once made up is never taken
        // back: believe it only when a report newer than the one that first
        // showed the lag shows it too. Until then the block simply follows on.
        if (!lagSuspected_ || timingSerial_ == lagSerial_) {
            if (!lagSuspected_) {
                lagSuspected_ = true;
                lagSerial_ = timingSerial_;
                if (pa_operation* asked = pa_stream_update_timing_info(stream_, nullptr, nullptr)) {
                    pa_operation_unref(asked);
                }
            }
            latency += lag; // as if right on the clock
        } else {
            lagSuspected_ = false;
        }
    } else {
        lagSuspected_ = false;
    }
    const SoundPlacement placement = clock_.place(frames, arrival, latency);
    deliverSilence(placement.silenceFrames, placement.silenceAt);
    if (samples == nullptr) {
        deliverSilence(frames, placement.blockAt); // a hole the server reported
        return;
    }
    notePeak(samples, frames);
    std::int64_t done = 0;
    // In slices, so a block held back at the start is no larger than others.
    while (done < frames) {
        const auto slice = static_cast<int>(std::min<std::int64_t>(frames - done, kSilenceChunkFrames));
        sink_->soundArrived(samples + done * kSoundChannels, slice,
                            placement.blockAt + static_cast<double>(done) / kSoundRate);
        done += slice;
    }
}

void PulseSoundSource::readAll() {
    while (!ended_ && pa_stream_readable_size(stream_) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream_, &data, &bytes) < 0) {
            end(endedSentence());
            return;
        }
        if (bytes == 0) {
            return; // nothing (data == NULL and no size): the buffer is empty
        }
        const double arrival = hostTime();
        // The server hands out whole frames; a broken server's odd bytes are
        // counted in the position but not delivered.
        const auto frames = static_cast<std::int64_t>(bytes / kFrameBytes);
        const auto* samples = static_cast<const float*>(data);
        const std::int64_t endPosition = readBytes_ + static_cast<std::int64_t>(bytes);
        arrivalBound_ = std::min(arrivalBound_, arrival - static_cast<double>(endPosition) / kBytesPerSecond);
        boundTiming();
        const auto held = static_cast<std::int64_t>(pending_.size()) / kSoundChannels;
        const bool anchored = clock_.anchored();
        if (!anchored && held < kMaxPendingFrames && (!timingKnown_ || held < kAnchorHoldFrames)) {
            // Held back until the server's first timing report taken while
            // the stream runs: it says when these frames were captured.
            if (samples != nullptr) {
                pending_.insert(pending_.end(), samples, samples + frames * kSoundChannels);
            } else {
                pending_.insert(pending_.end(), static_cast<std::size_t>(frames) * kSoundChannels, 0.0F);
            }
            if (!timingAsked_) {
                timingAsked_ = true;
                if (pa_operation* asked = pa_stream_update_timing_info(stream_, nullptr, nullptr)) {
                    pa_operation_unref(asked);
                }
            }
        } else {
            if (!pending_.empty()) {
                deliver(pending_.data(), held, readBytes_, arrival);
                pending_.clear();
                pending_.shrink_to_fit();
            }
            deliver(samples, frames, endPosition, arrival);
        }
        readBytes_ = endPosition;
        pa_stream_drop(stream_);
    }
}

void PulseSoundSource::deliverSilence(std::int64_t frames, double at) {
    std::int64_t done = 0;
    while (done < frames) {
        const auto chunk = static_cast<int>(std::min<std::int64_t>(frames - done, kSilenceChunkFrames));
        sink_->soundArrived(silence_.data(), chunk, at + static_cast<double>(done) / kSoundRate);
        done += chunk;
    }
}

void PulseSoundSource::notePeak(const float* samples, std::int64_t frames) {
    float loudest = 0.0F;
    const std::int64_t count = frames * kSoundChannels;
    for (std::int64_t i = 0; i < count; ++i) {
        loudest = std::max(loudest, std::fabs(samples[i]));
    }
    loudest = std::min(loudest, 1.0F);
    float seen = peak_.load(std::memory_order_relaxed);
    while (loudest > seen && !peak_.compare_exchange_weak(seen, loudest, std::memory_order_relaxed)) {
    }
}

} // namespace orvane::pulse
