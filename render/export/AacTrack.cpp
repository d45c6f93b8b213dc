#include "AacTrack.h"

#include "media/EncoderOpener.h"

#include "media/AvHandles.h"
#include "media/SoundTracks.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <optional>

namespace orvane {

struct AacTrack::State {
    AVFormatContext* format = nullptr; // not owned
    AVStream* stream = nullptr;        // owned by `format`
    av::CodecContextPtr encoder;
    av::FramePtr frame;  // one AAC frame of planar samples, filled by write()
    av::PacketPtr packet;
    int filled = 0;      // frames in `frame` so far
    std::int64_t nextPts = 0; // encoder time (1/kSoundRate) of `frame`'s first frame
    std::int64_t written = 0;
    std::optional<Error> failure;

    Result<void> fail(int code, const std::string& what) {
        failure = av::error(code, what);
        return *failure;
    }
    Result<void> send(AVFrame* f);
};

AacTrack::AacTrack() : s_(std::make_unique<State>()) {}
AacTrack::~AacTrack() = default;

Result<std::unique_ptr<AacTrack>> AacTrack::tryCreate(AVFormatContext* format) {
    using R = Result<std::unique_ptr<AacTrack>>;
    std::unique_ptr<AacTrack> track(new AacTrack());
    State& s = *track->s_;
    s.format = format;

    auto opened = av::openSoundEncoder((format->oformat->flags & AVFMT_GLOBALHEADER) != 0,
                                       av::SoundEncoderEffort::Best);
    if (!opened) {
        return opened.errorValue();
    }
    s.encoder = std::move(opened.value());
    AVCodecContext* c = s.encoder.get();

    s.stream = avformat_new_stream(format, nullptr);
    if (s.stream == nullptr) {
        return R::failure(ErrorKind::Io, "cannot add the sound track");
    }
    s.stream->time_base = c->time_base;
    if (const int r = avcodec_parameters_from_context(s.stream->codecpar, c); r < 0) {
        return av::error(r, "cannot describe the sound track");
    }

    s.frame = av::makeFrame();
    s.packet = av::makePacket();
    if (!s.frame || !s.packet) {
        return R::failure(ErrorKind::Io, "out of memory");
    }
    s.frame->format = c->sample_fmt;
    s.frame->sample_rate = c->sample_rate;
    s.frame->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
    if (av_channel_layout_copy(&s.frame->ch_layout, &c->ch_layout) < 0 ||
        av_frame_get_buffer(s.frame.get(), 0) < 0) {
        return R::failure(ErrorKind::Io, "out of memory");
    }
    return track;
}

Result<void> AacTrack::State::send(AVFrame* f) {
    int r = avcodec_send_frame(encoder.get(), f);
    if (r < 0) {
        return fail(r, "the AAC encoder failed");
    }
    for (;;) {
        r = avcodec_receive_packet(encoder.get(), packet.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
            return {};
        }
        if (r < 0) {
            return fail(r, "the AAC encoder failed");
        }
        // The first packets start before 0 by the encoder's priming; the
        // muxer keeps that as an edit list instead of shifting the sound.
        av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        r = av_interleaved_write_frame(format, packet.get());
        if (r < 0) {
            return fail(r, "cannot write the sound");
        }
    }
}

Result<void> AacTrack::write(const float* interleaved, int frames) {
    State& s = *s_;
    if (s.failure) {
        return *s.failure;
    }
    const int size = s.frame->nb_samples;
    int done = 0;
    while (done < frames) {
        if (s.filled == 0) {
            // The encoder may still hold the previous frame's buffer.
            if (const int r = av_frame_make_writable(s.frame.get()); r < 0) {
                return s.fail(r, "out of memory");
            }
        }
        const int n = std::min(frames - done, size - s.filled);
        auto* left = reinterpret_cast<float*>(s.frame->data[0]) + s.filled;
        auto* right = reinterpret_cast<float*>(s.frame->data[1]) + s.filled;
        const float* from = interleaved + static_cast<std::ptrdiff_t>(done) * kSoundChannels;
        for (int i = 0; i < n; ++i) {
            left[i] = from[2 * i];
            right[i] = from[2 * i + 1];
        }
        s.filled += n;
        done += n;
        if (s.filled == size) {
            s.frame->pts = s.nextPts;
            if (auto sent = s.send(s.frame.get()); !sent) {
                return sent;
            }
            s.nextPts += size;
            s.filled = 0;
        }
    }
    s.written += frames;
    return {};
}

Result<void> AacTrack::finish() {
    State& s = *s_;
    if (s.failure) {
        return *s.failure;
    }
    if (s.filled > 0) {
        // The encoder takes one shorter frame at the end.
        s.frame->nb_samples = s.filled;
        s.frame->pts = s.nextPts;
        if (auto sent = s.send(s.frame.get()); !sent) {
            return sent;
        }
        s.nextPts += s.filled;
        s.filled = 0;
    }
    return s.send(nullptr);
}

std::int64_t AacTrack::framesWritten() const { return s_->written; }

} // namespace orvane
