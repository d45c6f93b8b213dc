#include "SoundTrackWriter.h"

#include "media/EncoderOpener.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <string>

namespace orvane {

namespace {

constexpr AVRational kSoundTimeBase{1, kSoundRate};
constexpr int kAacFrame = 1024; // frames per AAC packet

} // namespace

Result<std::unique_ptr<SoundTrackWriter>> SoundTrackWriter::tryCreate(MovieMuxer& muxer,
                                                                      SoundKind kind,
                                                                      double startTime) {
    std::unique_ptr<SoundTrackWriter> w(new SoundTrackWriter(muxer, kind, startTime));
    // A take encodes while it records, beside the picture: the fast search.
    auto opened = av::openSoundEncoder(muxer.wantsGlobalHeader(), av::SoundEncoderEffort::RealTime);
    if (!opened) {
        return opened.errorValue();
    }
    w->encoder_ = std::move(opened.value());
    AVCodecContext* c = w->encoder_.get();
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    w->frame_ = av::makeFrame();
    w->packet_ = av::makePacket();
    if (!w->frame_ || !w->packet_) {
        return Error{ErrorKind::Io, "Out of memory"};
    }
    AVFrame* f = w->frame_.get();
    f->format = AV_SAMPLE_FMT_FLTP;
    f->sample_rate = kSoundRate;
    f->nb_samples = c->frame_size > 0 ? c->frame_size : kAacFrame;
    if (av_channel_layout_copy(&f->ch_layout, &stereo) < 0 || av_frame_get_buffer(f, 0) < 0) {
        return Error{ErrorKind::Io, "Out of memory"};
    }
    auto track = muxer.addTrack(c, kSoundTimeBase, 0, std::string(soundTrackName(kind)));
    if (!track) {
        return track.errorValue();
    }
    w->track_ = track.value();
    return w;
}

SoundTrackWriter::~SoundTrackWriter() = default;

void SoundTrackWriter::soundArrived(const float* samples, int frames, double hostTime) {
    std::lock_guard lock(mutex_);
    if (finished_ || failure_ || samples == nullptr || frames <= 0 || !std::isfinite(hostTime)) {
        return;
    }
    const double at = (hostTime - startTime_) * kSoundRate;
    // A stamp beyond any take's length is a broken clock, not a gap to fill.
    constexpr double kLongest = 7.0 * 24 * 3600 * kSoundRate;
    if (!(std::fabs(at) < kLongest)) {
        return;
    }
    std::int64_t start = std::llround(at);
    if (std::llabs(start - nextFrame_) <= kContiguousSlack) {
        start = nextFrame_;
    }
    std::int64_t skip = 0;
    if (start < nextFrame_) {
        // Before the take's start, or over sound already placed.
        skip = nextFrame_ - start;
        start = nextFrame_;
    }
    if (skip >= frames) {
        return;
    }
    if (start > nextFrame_) {
        place(nullptr, start - nextFrame_);
    }
    place(samples + skip * kSoundChannels, frames - skip);
}

void SoundTrackWriter::soundEnded(const Error& why) {
    std::lock_guard lock(mutex_);
    if (!ended_) {
        ended_ = why;
    }
}

void SoundTrackWriter::place(const float* samples, std::int64_t frames) {
    AVFrame* f = frame_.get();
    const int capacity = encoder_->frame_size > 0 ? encoder_->frame_size : kAacFrame;
    while (frames > 0 && !failure_) {
        if (filled_ == 0) {
            // The encoder may still hold the previous frame's buffers.
            f->nb_samples = capacity;
            if (av_frame_make_writable(f) < 0) {
                fail(Error{ErrorKind::Io, "Out of memory"});
                return;
            }
            framePts_ = nextFrame_;
        }
        const int n = static_cast<int>(std::min<std::int64_t>(frames, capacity - filled_));
        auto* left = reinterpret_cast<float*>(f->data[0]) + filled_;
        auto* right = reinterpret_cast<float*>(f->data[1]) + filled_;
        if (samples == nullptr) {
            std::fill(left, left + n, 0.0f);
            std::fill(right, right + n, 0.0f);
        } else {
            for (int i = 0; i < n; ++i) {
                left[i] = samples[2 * i];
                right[i] = samples[2 * i + 1];
            }
            samples += static_cast<std::ptrdiff_t>(n) * kSoundChannels;
        }
        filled_ += n;
        frames -= n;
        nextFrame_ += n;
        if (filled_ == capacity) {
            if (auto ok = encodeBuffered(); !ok) {
                fail(ok.errorValue());
            }
        }
    }
}

Result<void> SoundTrackWriter::encodeBuffered() {
    AVFrame* f = frame_.get();
    f->nb_samples = filled_;
    f->pts = framePts_;
    filled_ = 0;
    const int rc = avcodec_send_frame(encoder_.get(), f);
    if (rc < 0) {
        return av::error(rc, "the sound encoder failed");
    }
    return drain();
}

Result<void> SoundTrackWriter::drain() {
    for (;;) {
        const int rc = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
            return {};
        }
        if (rc < 0) {
            return av::error(rc, "the sound encoder failed");
        }
        if (packet_->pts < 0) {
            // The priming packet (see the class comment).
            av_packet_unref(packet_.get());
            continue;
        }
        if (auto wrote = muxer_.write(packet_.get(), track_, kSoundTimeBase); !wrote) {
            av_packet_unref(packet_.get());
            return wrote;
        }
    }
}

void SoundTrackWriter::fail(const Error& e) {
    if (!failure_) {
        failure_ = e;
    }
}

Result<void> SoundTrackWriter::finish() {
    std::lock_guard lock(mutex_);
    if (finished_) {
        return finishResult_;
    }
    finished_ = true;
    if (!failure_ && filled_ > 0) {
        if (auto ok = encodeBuffered(); !ok) {
            fail(ok.errorValue());
        }
    }
    if (!failure_) {
        if (const int rc = avcodec_send_frame(encoder_.get(), nullptr); rc < 0 && rc != AVERROR_EOF) {
            fail(av::error(rc, "the sound encoder failed"));
        } else if (auto ok = drain(); !ok) {
            fail(ok.errorValue());
        }
    }
    if (failure_) {
        finishResult_ = *failure_;
    }
    return finishResult_;
}

std::int64_t SoundTrackWriter::framesPlaced() const {
    std::lock_guard lock(mutex_);
    return nextFrame_;
}

std::optional<Error> SoundTrackWriter::ended() const {
    std::lock_guard lock(mutex_);
    return ended_;
}

} // namespace orvane
