#include "MovieWriter.h"

#include "MovieMuxer.h"
#include "SlotRing.h"
#include "SoundTrackWriter.h"
#include "VideoEncoder.h"

#include "media/AvHandles.h"
#include "media/YuvConversion.h"

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <string>
#include <thread>

namespace orvane {

namespace {

constexpr AVRational kTimeBase{1, 600};
constexpr std::int64_t kFrameTicks = 10; // 1/60 s in the 1/600 time base

} // namespace

struct MovieWriter::Impl {
    QString path;
    double startTime = 0;
    int width = 0;
    int height = 0;

    std::unique_ptr<MovieMuxer> muxer;
    int track = 0;
    av::OpenedEncoder encoder;
    // One per sound source asked for, added after the video track.
    std::vector<std::unique_ptr<SoundTrackWriter>> soundTracks;

    // Capture thread only.
    av::SwsPtr sws;
    std::int64_t lastPts = -1;
    int lastSlot = -1; // the slot the previous frame was converted into

    // Ring of converted frames between the capture thread and the encoder.
    std::vector<av::FramePtr> ringFrames;
    std::unique_ptr<SlotRing> ring;
    std::thread encoderThread;

    std::atomic<std::int64_t> offered{0};
    std::atomic<std::int64_t> written{0};
    std::atomic<std::int64_t> dropped{0};
    std::atomic<bool> failed{false}; // a write or encode error: the encoder stopped taking frames
    // The first encode or write error (set by the encoder thread before
    // `failed`, read after it has been joined).
    std::optional<Error> failure;

    bool finished = false;
    Result<void> result;

    bool convertInto(AVFrame* dst, const VideoFrame& frame);
    bool push(const VideoFrame& frame, std::int64_t pts); // false when the ring is full
    void encodeLoop();
    Result<void> encode(AVFrame* frame); // nullptr flushes
    Result<void> writePackets();
    Result<void> close();
};

MovieWriter::MovieWriter(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}

MovieWriter::~MovieWriter() {
    finish();
}

Result<std::unique_ptr<MovieWriter>> MovieWriter::tryCreate(const QString& path, int width,
                                                            int height, double startTime,
                                                            const MovieWriterOptions& options) {
    using R = Result<std::unique_ptr<MovieWriter>>;
    if (width < 2 || height < 2 || width % 2 != 0 || height % 2 != 0) {
        return R::failure(ErrorKind::Invalid,
                          QStringLiteral("Invalid frame size %1 x %2").arg(width).arg(height).toStdString());
    }
    // Everything below is owned by `d` as soon as it exists, so a failure at
    // any step frees what the steps before it allocated.
    auto d = std::make_unique<Impl>();
    d->path = path;
    d->startTime = startTime;
    d->width = width;
    d->height = height;

    // Each take replaces the previous movie; a file that cannot be removed shows
    // up below as a file that cannot be opened.
    QFile::remove(path);

    auto muxer = MovieMuxer::tryCreate(path);
    if (!muxer) {
        return muxer.errorValue();
    }
    d->muxer = std::move(muxer.value());

    const auto& order = options.encoders.empty() ? defaultEncoderOrder() : options.encoders;
    auto opened = openTakeEncoder(order, width, height, d->muxer->wantsGlobalHeader());
    if (!opened) {
        return opened.errorValue();
    }
    d->encoder = std::move(opened.value());
    AVCodecContext* c = d->encoder.context.get();

    // QuickTime players want HEVC parameter sets in the sample description.
    const unsigned int tag = c->codec_id == AV_CODEC_ID_HEVC ? MKTAG('h', 'v', 'c', '1') : 0;
    auto track = d->muxer->addTrack(c, kTimeBase, tag);
    if (!track) {
        return track.errorValue();
    }
    d->track = track.value();
    for (SoundKind kind : options.sound) {
        const bool already = std::any_of(d->soundTracks.begin(), d->soundTracks.end(),
                                         [kind](const auto& t) { return t->kind() == kind; });
        if (already) {
            continue;
        }
        auto sound = SoundTrackWriter::tryCreate(*d->muxer, kind, startTime);
        if (!sound) {
            return sound.errorValue();
        }
        d->soundTracks.push_back(std::move(sound.value()));
    }
    std::vector<std::pair<std::string, std::string>> muxerOptions = {
        {"movflags", "frag_keyframe+empty_moov+write_colr"}, {"video_track_timescale", "600"}};
    if (!d->soundTracks.empty()) {
        muxerOptions.emplace_back("max_interleave_delta", std::to_string(kMaxInterleave));
    }
    // A fragment per key frame and an empty sample table up front: everything up
    // to the last finished fragment survives a crash or power loss. The
    // fragment index written at a clean stop gives readers the full duration.
    // The track keeps the 1/600 time scale of the take (the muxer would raise a
    // small time scale to at least 10000 by itself).
    if (auto started = d->muxer->start(muxerOptions); !started) {
        return started.errorValue();
    }

    const int slotCount = std::max(1, options.ringSlots);
    for (int i = 0; i < slotCount; ++i) {
        av::FramePtr f = av::makeFrame();
        if (!f) {
            return R::failure(ErrorKind::Io, "Out of memory");
        }
        f->format = d->encoder.inputFormat;
        f->width = width;
        f->height = height;
        if (av_frame_get_buffer(f.get(), 0) < 0) {
            return R::failure(ErrorKind::Io, "Out of memory");
        }
        f->color_primaries = c->color_primaries;
        f->color_trc = c->color_trc;
        f->colorspace = c->colorspace;
        f->color_range = c->color_range;
        d->ringFrames.push_back(std::move(f));
    }
    d->ring = std::make_unique<SlotRing>(slotCount);
    Impl* raw = d.get();
    d->encoderThread = std::thread([raw] { raw->encodeLoop(); });
    return std::unique_ptr<MovieWriter>(new MovieWriter(std::move(d)));
}

bool MovieWriter::Impl::convertInto(AVFrame* dst, const VideoFrame& frame) {
    if (dst->format == AV_PIX_FMT_YUV420P && frame.width == width && frame.height == height) {
        // The software encoder's own layout at the movie's size: our vector
        // conversion (BT.709, limited range, as the tags say) is several times
        // cheaper than swscale's for this one case.
        if (av_frame_make_writable(dst) < 0) {
            return false;
        }
        YuvView out;
        out.y = Plane{dst->data[0], dst->linesize[0], width, height};
        out.u = Plane{dst->data[1], dst->linesize[1], (width + 1) / 2, (height + 1) / 2};
        out.v = Plane{dst->data[2], dst->linesize[2], (width + 1) / 2, (height + 1) / 2};
        yuv::fromBgra(frame.bgra, frame.stride, width, height, out);
        return true;
    }
    // Frames of another size than the movie (a window resized before the
    // stream could react) are scaled to fit rather than refused.
    sws.reset(sws_getCachedContext(sws.release(), frame.width, frame.height, AV_PIX_FMT_BGRA,
                                   width, height, static_cast<AVPixelFormat>(dst->format),
                                   SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws) {
        return false;
    }
    // BT.709 coefficients into limited range, to match the tags on the stream.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(sws.get(), coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
    // The encoder may still hold a reference to this slot's buffers from an
    // earlier frame; make them ours before writing.
    if (av_frame_make_writable(dst) < 0) {
        return false;
    }
    const std::uint8_t* src[4] = {frame.bgra, nullptr, nullptr, nullptr};
    const int srcStride[4] = {frame.stride, 0, 0, 0};
    return sws_scale(sws.get(), src, srcStride, 0, frame.height, dst->data, dst->linesize) > 0;
}

bool MovieWriter::Impl::push(const VideoFrame& frame, std::int64_t pts) {
    const int slot = ring->writable();
    if (slot < 0) {
        lastSlot = -1; // this picture is not in any slot: the next repeat converts
        return false;
    }
    AVFrame* dst = ringFrames[static_cast<std::size_t>(slot)].get();
    // A repeated picture is copied from the slot it was converted into last
    // time (a plain copy of planes, far cheaper than a conversion). That slot
    // is not written again before this one: the ring hands slots out in order.
    const AVFrame* previous =
        frame.repeat && lastSlot >= 0 && lastSlot != slot
            ? ringFrames[static_cast<std::size_t>(lastSlot)].get()
            : nullptr;
    if (previous != nullptr && frame.width == width && frame.height == height) {
        if (av_frame_make_writable(dst) < 0 || av_frame_copy(dst, previous) < 0) {
            return false;
        }
    } else if (!convertInto(dst, frame)) {
        lastSlot = -1;
        return false;
    }
    dst->pts = pts;
    lastSlot = slot;
    ring->publish();
    return true;
}

void MovieWriter::append(const VideoFrame& frame) {
    d->offered.fetch_add(1, std::memory_order_relaxed);
    if (frame.bgra == nullptr || frame.width < 1 || frame.height < 1 || d->finished ||
        d->failed.load(std::memory_order_relaxed)) {
        d->dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // Time since the take began; a frame grabbed before it sits at 0. Two frames
    // never share a timestamp (the container needs them strictly increasing).
    const double t = std::max(0.0, frame.hostTime - d->startTime);
    std::int64_t pts = std::llround(t * kTimeBase.den);
    if (pts <= d->lastPts) {
        pts = d->lastPts + 1;
    }
    if (d->lastPts < 0 && pts > 0) {
        // The movie starts at the take's start, not at the first grab: a
        // fragmented movie cannot carry an edit list, so a first frame at 0.2 s
        // would be read back at 0 and shift every frame against the clicks. The
        // first picture therefore also stands for the moments before it.
        if (!d->push(frame, 0)) {
            d->dropped.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        d->lastPts = 0;
    }
    if (!d->push(frame, pts)) {
        d->dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    d->lastPts = pts;
}

void MovieWriter::Impl::encodeLoop() {
    for (;;) {
        const int slot = ring->waitReadable();
        if (slot < 0) {
            break;
        }
        AVFrame* frame = ringFrames[static_cast<std::size_t>(slot)].get();
        if (failed.load(std::memory_order_relaxed)) {
            dropped.fetch_add(1, std::memory_order_relaxed);
        } else if (auto encoded = encode(frame); !encoded) {
            failure = encoded.errorValue();
            failed.store(true, std::memory_order_release);
            dropped.fetch_add(1, std::memory_order_relaxed);
        }
        ring->release();
    }
}

Result<void> MovieWriter::Impl::encode(AVFrame* frame) {
    AVCodecContext* c = encoder.context.get();
    int rc = 0;
    if (frame != nullptr && encoder.hwFrames) {
        av::FramePtr surface = av::makeFrame();
        if (!surface) {
            return Error{ErrorKind::Io, "Out of memory"};
        }
        rc = av_hwframe_get_buffer(encoder.hwFrames.get(), surface.get(), 0);
        if (rc >= 0) {
            rc = av_hwframe_transfer_data(surface.get(), frame, 0);
        }
        if (rc >= 0) {
            rc = av_frame_copy_props(surface.get(), frame);
        }
        if (rc < 0) {
            return av::error(rc, "cannot upload a frame to the GPU");
        }
        rc = avcodec_send_frame(c, surface.get());
    } else {
        rc = avcodec_send_frame(c, frame);
    }
    if (rc < 0 && rc != AVERROR_EOF) {
        return av::error(rc, "the video encoder failed");
    }
    return writePackets();
}

Result<void> MovieWriter::Impl::writePackets() {
    AVCodecContext* c = encoder.context.get();
    av::PacketPtr packet = av::makePacket();
    if (!packet) {
        return Error{ErrorKind::Io, "Out of memory"};
    }
    for (;;) {
        const int rc = avcodec_receive_packet(c, packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
            return {};
        }
        if (rc < 0) {
            return av::error(rc, "the video encoder failed");
        }
        if (packet->duration == 0) {
            packet->duration = kFrameTicks;
        }
        if (auto wrote = muxer->write(packet.get(), track, c->time_base); !wrote) {
            return wrote;
        }
        written.fetch_add(1, std::memory_order_relaxed);
    }
}

Result<void> MovieWriter::Impl::close() {
    ring->close();
    if (encoderThread.joinable()) {
        encoderThread.join();
    }
    // The sound tracks end first: their last packets join the video's in the
    // interleaving before the trailer. Their errors do not fail the take: the
    // picture is what a take is, and each sound track keeps what it wrote.
    for (auto& sound : soundTracks) {
        sound->finish();
    }
    Result<void> ok;
    if (failed.load(std::memory_order_acquire)) {
        ok = failure.value_or(Error{ErrorKind::Io, "the video encoder failed"});
    } else {
        ok = encode(nullptr);
    }
    if (ok && written.load() == 0) {
        ok = Error{ErrorKind::Io, "no frames were written"};
    }
    // The trailer is attempted even after a failure: it may still complete the
    // fragments already in the file.
    if (auto closed = muxer->finish(); !closed && ok) {
        ok = closed;
    }
    return ok;
}

Result<void> MovieWriter::finish() {
    if (!d->finished) {
        d->finished = true;
        d->result = d->close();
    }
    return d->result;
}

SoundSink* MovieWriter::soundSink(SoundKind kind) {
    for (auto& sound : d->soundTracks) {
        if (sound->kind() == kind) {
            return sound.get();
        }
    }
    return nullptr;
}

QString MovieWriter::path() const {
    return d->path;
}

WriterCounts MovieWriter::counts() const {
    WriterCounts c;
    c.offered = d->offered.load(std::memory_order_relaxed);
    c.written = d->written.load(std::memory_order_relaxed);
    c.dropped = d->dropped.load(std::memory_order_relaxed);
    return c;
}

std::optional<Error> MovieWriter::failure() const {
    // `failure` is written once, before `failed` is released, and never again.
    if (!d->failed.load(std::memory_order_acquire)) {
        return std::nullopt;
    }
    return d->failure.value_or(Error{ErrorKind::Io, "the video encoder failed"});
}

QString MovieWriter::encoderName() const {
    return QString::fromStdString(d->encoder.name);
}

} // namespace orvane
