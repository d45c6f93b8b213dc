#include "SoundReader.h"

#include "AvHandles.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}


#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace orvane {

namespace {

struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;

// Decoding starts this far before a seek target: an AAC frame needs the one
// before it to decode cleanly.
constexpr double kSeekPreroll = 0.1; // seconds
// A decoded frame that starts within this many frames of where the previous
// one ended follows it directly (pts rounding); further away is a hole
// (filled with silence) or an overlap (dropped).
constexpr std::int64_t kContiguousSlack = 2;

std::int64_t framesAt(double seconds) {
    return std::llround(seconds * kSoundRate);
}

} // namespace

float softLimit(float sample) {
    const float a = std::fabs(sample);
    if (!(a > kSoftLimitKnee)) {
        return std::isnan(sample) ? 0.0f : sample;
    }
    constexpr float room = kSoftLimitCeiling - kSoftLimitKnee;
    const float bent = kSoftLimitKnee + room * std::tanh((a - kSoftLimitKnee) / room);
    return sample < 0 ? -bent : bent;
}

// One sound track with its own demuxer and decoder, read on the movie's
// timeline in kSoundRate frames.
class SoundTrackReader {
public:
    SoundKind kind = SoundKind::Microphone;
    std::optional<Error> failure;

    static std::unique_ptr<SoundTrackReader> open(const std::string& path, int streamIndex,
                                                  SoundKind kind);
    double duration() const { return duration_; }
    void seek(std::int64_t frame);
    void read(float* out, int frames);

private:
    av::InputPtr input_;
    int stream_ = -1;
    av::CodecContextPtr decoder_;
    SwrPtr swr_;
    AVRational timeBase_{1, kSoundRate};
    double duration_ = 0;

    std::int64_t position_ = 0;      // next frame to hand out
    std::vector<float> pending_;     // decoded, interleaved, not handed out yet
    std::int64_t pendingStart_ = 0;  // movie frame of pending_[0]
    std::int64_t decodedEnd_ = -1;   // movie frame after the last decoded one; -1 none yet
    bool ended_ = false;             // no more frames will be decoded

    std::int64_t pendingEnd() const {
        return pendingStart_ + static_cast<std::int64_t>(pending_.size()) / kSoundChannels;
    }
    void decodeMore();
    void append(const AVFrame* frame);
    void fail(const Error& e) {
        if (!failure) {
            failure = e;
        }
        ended_ = true;
    }
};

std::unique_ptr<SoundTrackReader> SoundTrackReader::open(const std::string& path, int streamIndex,
                                                         SoundKind kind) {
    auto t = std::make_unique<SoundTrackReader>();
    t->kind = kind;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    t->input_.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0 ||
        streamIndex >= static_cast<int>(raw->nb_streams)) {
        return nullptr;
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        raw->streams[i]->discard = static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    AVStream* st = raw->streams[streamIndex];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (codec == nullptr) {
        return nullptr;
    }
    t->decoder_.reset(avcodec_alloc_context3(codec));
    if (!t->decoder_ || avcodec_parameters_to_context(t->decoder_.get(), st->codecpar) < 0 ||
        avcodec_open2(t->decoder_.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    t->stream_ = streamIndex;
    t->timeBase_ = st->time_base;
    if (st->duration > 0) {
        t->duration_ = static_cast<double>(st->duration) * av_q2d(st->time_base);
    } else if (raw->duration > 0) {
        t->duration_ = static_cast<double>(raw->duration) / AV_TIME_BASE;
    }
    return t;
}

void SoundTrackReader::seek(std::int64_t frame) {
    frame = std::max<std::int64_t>(0, frame);
    position_ = frame;
    if (frame >= pendingStart_ && frame <= pendingEnd() && decodedEnd_ >= 0) {
        return; // already decoded up to here: no need to go back to the file
    }
    pending_.clear();
    pendingStart_ = frame;
    decodedEnd_ = -1;
    ended_ = failure.has_value();
    if (ended_) {
        return;
    }
    const double target = std::max(0.0, static_cast<double>(frame) / kSoundRate - kSeekPreroll);
    const auto ts = static_cast<std::int64_t>(target / av_q2d(timeBase_));
    av_seek_frame(input_.get(), stream_, ts, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(decoder_.get());
    if (swr_) {
        swr_init(swr_.get()); // drops what the resampler still held
    }
}

void SoundTrackReader::append(const AVFrame* frame) {
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (!swr_) {
        SwrContext* s = nullptr;
        // FFmpeg 5.1 takes the layouts as non-const; it only reads them.
        auto* inLayout = const_cast<AVChannelLayout*>(&frame->ch_layout);
        if (swr_alloc_set_opts2(&s, &stereo, AV_SAMPLE_FMT_FLT, kSoundRate, inLayout,
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(s) < 0) {
            swr_free(&s);
            fail(Error{ErrorKind::Unsupported, "cannot convert the sound"});
            return;
        }
        swr_.reset(s);
    }
    const int capacity = swr_get_out_samples(swr_.get(), frame->nb_samples);
    if (capacity <= 0) {
        return;
    }
    std::vector<float> converted(static_cast<std::size_t>(capacity) * kSoundChannels);
    auto* outPtr = reinterpret_cast<std::uint8_t*>(converted.data());
    const int got = swr_convert(swr_.get(), &outPtr, capacity,
                                const_cast<const std::uint8_t**>(frame->extended_data),
                                frame->nb_samples);
    if (got <= 0) {
        return;
    }
    // Where this block sits on the movie's timeline: its own timestamp when it
    // has one and it does not simply continue the previous block.
    std::int64_t start = decodedEnd_ >= 0 ? decodedEnd_ : 0;
    const std::int64_t pts = frame->best_effort_timestamp;
    if (pts != AV_NOPTS_VALUE) {
        const std::int64_t stamped = framesAt(static_cast<double>(pts) * av_q2d(timeBase_));
        if (decodedEnd_ < 0 || std::llabs(stamped - decodedEnd_) > kContiguousSlack) {
            start = stamped;
        }
    }
    std::int64_t skip = 0;
    if (decodedEnd_ >= 0 && start < decodedEnd_) {
        skip = decodedEnd_ - start; // overlaps what was already decoded
        start = decodedEnd_;
    }
    if (skip >= got) {
        return;
    }
    const std::int64_t end = start + (got - skip);
    decodedEnd_ = end;
    if (end <= position_) {
        return; // all before the read position (after a seek)
    }
    if (pending_.empty() || start > pendingEnd()) {
        // A hole before this block (or nothing pending): silence is handed
        // out by read() up to pendingStart_.
        if (!pending_.empty()) {
            pending_.resize(pending_.size() + static_cast<std::size_t>(start - pendingEnd()) * kSoundChannels, 0.0f);
        } else {
            pendingStart_ = start;
        }
    }
    const float* from = converted.data() + skip * kSoundChannels;
    pending_.insert(pending_.end(), from, from + (got - skip) * kSoundChannels);
}

void SoundTrackReader::decodeMore() {
    av::PacketPtr packet = av::makePacket();
    av::FramePtr frame = av::makeFrame();
    if (!packet || !frame) {
        fail(Error{ErrorKind::Io, "Out of memory"});
        return;
    }
    for (;;) {
        int rc = avcodec_receive_frame(decoder_.get(), frame.get());
        if (rc == 0) {
            append(frame.get());
            av_frame_unref(frame.get());
            return;
        }
        if (rc == AVERROR_EOF) {
            ended_ = true;
            return;
        }
        if (rc != AVERROR(EAGAIN)) {
            fail(av::error(rc, "cannot decode the sound"));
            return;
        }
        rc = av_read_frame(input_.get(), packet.get());
        if (rc == AVERROR_EOF) {
            avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        if (rc < 0) {
            fail(av::error(rc, "cannot read the sound"));
            return;
        }
        if (packet->stream_index == stream_) {
            rc = avcodec_send_packet(decoder_.get(), packet.get());
            av_packet_unref(packet.get());
            if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_INVALIDDATA) {
                fail(av::error(rc, "cannot decode the sound"));
                return;
            }
        } else {
            av_packet_unref(packet.get());
        }
    }
}

void SoundTrackReader::read(float* out, int frames) {
    int done = 0;
    while (done < frames) {
        const std::int64_t pos = position_ + done;
        if (!pending_.empty() && pos >= pendingEnd()) {
            pending_.clear();
        }
        if (!pending_.empty() && pos >= pendingStart_) {
            const std::int64_t offset = pos - pendingStart_;
            const int n = static_cast<int>(std::min<std::int64_t>(frames - done, pendingEnd() - pos));
            std::memcpy(out + static_cast<std::ptrdiff_t>(done) * kSoundChannels,
                        pending_.data() + offset * kSoundChannels,
                        static_cast<std::size_t>(n) * kSoundChannels * sizeof(float));
            done += n;
            continue;
        }
        if (pending_.empty() && !ended_) {
            decodeMore();
            continue;
        }
        // Before the next decoded block, or past the end: silence.
        const int n = pending_.empty()
                          ? frames - done
                          : static_cast<int>(std::min<std::int64_t>(frames - done, pendingStart_ - pos));
        std::fill_n(out + static_cast<std::ptrdiff_t>(done) * kSoundChannels,
                    static_cast<std::size_t>(n) * kSoundChannels, 0.0f);
        done += n;
    }
    position_ += frames;
    // Drop what was handed out, so pending_ holds at most a block or two.
    if (!pending_.empty() && position_ > pendingStart_) {
        const std::int64_t used = std::min<std::int64_t>(position_, pendingEnd()) - pendingStart_;
        pending_.erase(pending_.begin(), pending_.begin() + used * kSoundChannels);
        pendingStart_ += used;
    }
}

struct SoundReader::Impl {
    std::vector<SoundKind> kinds;
    std::vector<std::unique_ptr<SoundTrackReader>> tracks;
    std::vector<float> scratch;
    double duration = 0;

    SoundTrackReader* track(SoundKind kind) {
        for (auto& t : tracks) {
            if (t->kind == kind) {
                return t.get();
            }
        }
        return nullptr;
    }
};

SoundReader::SoundReader(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
SoundReader::~SoundReader() = default;

Result<std::unique_ptr<SoundReader>> SoundReader::open(const std::string& path) {
    AVFormatContext* raw = nullptr;
    const int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0) {
        return av::error(rc, "cannot open " + path);
    }
    av::InputPtr probe(raw);
    if (const int info = avformat_find_stream_info(raw, nullptr); info < 0) {
        return av::error(info, "cannot read " + path);
    }
    auto impl = std::make_unique<Impl>();
    bool unnamedTaken = false;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* st = raw->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
            continue;
        }
        const AVDictionaryEntry* name = av_dict_get(st->metadata, "handler_name", nullptr, 0);
        std::optional<SoundKind> kind =
            name != nullptr ? soundKindOfTrackName(name->value) : std::nullopt;
        if (!kind) {
            // A movie from elsewhere: its first sound track stands for the
            // microphone, further unnamed ones are not ours to mix.
            if (unnamedTaken) {
                continue;
            }
            kind = SoundKind::Microphone;
            unnamedTaken = true;
        }
        if (impl->track(*kind) != nullptr) {
            continue;
        }
        auto track = SoundTrackReader::open(path, static_cast<int>(i), *kind);
        if (!track) {
            continue; // a track we cannot decode is left out, the picture still plays
        }
        impl->duration = std::max(impl->duration, track->duration());
        impl->kinds.push_back(*kind);
        impl->tracks.push_back(std::move(track));
    }
    return std::unique_ptr<SoundReader>(new SoundReader(std::move(impl)));
}

const std::vector<SoundKind>& SoundReader::kinds() const {
    return d->kinds;
}

bool SoundReader::has(SoundKind kind) const {
    return d->track(kind) != nullptr;
}

double SoundReader::duration() const {
    return d->duration;
}

void SoundReader::seek(double seconds) {
    const std::int64_t frame = std::isfinite(seconds) ? framesAt(std::max(0.0, seconds)) : 0;
    for (auto& t : d->tracks) {
        t->seek(frame);
    }
}

void SoundReader::read(SoundKind kind, float* out, int frames) {
    if (frames <= 0) {
        return;
    }
    if (SoundTrackReader* t = d->track(kind)) {
        t->read(out, frames);
    } else {
        std::fill_n(out, static_cast<std::size_t>(frames) * kSoundChannels, 0.0f);
    }
}

void SoundReader::readMixed(float* out, int frames, const SoundMix& mix) {
    if (frames <= 0) {
        return;
    }
    const std::size_t n = static_cast<std::size_t>(frames) * kSoundChannels;
    std::fill_n(out, n, 0.0f);
    d->scratch.resize(n);
    for (auto& t : d->tracks) {
        // A muted track is still read, so every track stays at the same place.
        t->read(d->scratch.data(), frames);
        const auto gain = static_cast<float>(mix.gain(t->kind));
        if (gain == 0.0f) {
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            out[i] += gain * d->scratch[i];
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = softLimit(out[i]);
    }
}

std::optional<Error> SoundReader::error() const {
    for (const auto& t : d->tracks) {
        if (t->failure) {
            return t->failure;
        }
    }
    return std::nullopt;
}

} // namespace orvane
