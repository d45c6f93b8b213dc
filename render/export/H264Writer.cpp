#include "H264Writer.h"

#include "AacTrack.h"

#include "media/AvHandles.h"
#include "media/EncoderOpener.h"

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace orvane {

namespace {

constexpr AVRational kTimeBase{1, 600};

} // namespace

struct H264Writer::State {
    H264Settings settings;
    av::OutputPtr format;
    av::OpenedEncoder encoder;
    AVStream* stream = nullptr; // owned by `format`
    std::unique_ptr<AacTrack> sound; // only when settings.sound
    av::SwsPtr sws;
    av::FramePtr yuv;      // NV12 frame uploaded to the GPU encoder
    av::FramePtr hwFrame;  // VAAPI surface the software frame is uploaded to
    av::PacketPtr packet;
    std::optional<Error> failure; // the first failure; every later call repeats it
    std::int64_t lastPts = -1;
    std::int64_t frameTicks = 10; // nominal frame interval in 1/600 s
    std::int64_t frames = 0;

    Result<void> fail(Error e) {
        failure = std::move(e);
        return *failure;
    }
    Result<void> fail(const std::string& what, int code) { return fail(av::error(code, what)); }

    Result<void> drain(bool flushing);
    Result<void> openEncoder();
};

namespace {

void tagColour(AVCodecContext* c) {
    // The compositor's pictures are sRGB colours put through the BT.709
    // matrix into limited range (the recording's own pixels pass through
    // unchanged, and they are made the same way), and the tags say exactly that.
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_IEC61966_2_1;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_range = AVCOL_RANGE_MPEG;
}

} // namespace

Result<void> H264Writer::State::openEncoder() {
    const double fps = std::isfinite(settings.frameRateHint) && settings.frameRateHint > 0
                           ? settings.frameRateHint
                           : 60.0;
    frameTicks = std::max<std::int64_t>(1, std::llround(kTimeBase.den / fps));
    const bool globalHeader = (format->oformat->flags & AVFMT_GLOBALHEADER) != 0;

    av::EncoderRequest request;
    if (settings.tryHardware) {
        request.candidates = {"h264_vaapi", "h264_nvenc"};
    }
    request.candidates.emplace_back("libx264");
    request.configure = [this, fps, globalHeader](AVCodecContext* c) {
        c->width = settings.width;
        c->height = settings.height;
        c->time_base = kTimeBase;
        c->framerate = av_d2q(fps, 1000);
        c->bit_rate = settings.bitRate;
        c->sample_aspect_ratio = AVRational{1, 1};
        tagColour(c);
        if (globalHeader) {
            c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
    };
    // The compositor hands over I420 planes; NVENC takes them as they are.
    request.softwareFormat = AV_PIX_FMT_YUV420P;
    request.nvencFormat = AV_PIX_FMT_YUV420P;
    request.softwareOptions = {{"preset", settings.x264Preset}};
    request.noneOpened = "no H.264 encoder could be opened";
    auto opened = av::openEncoder(request);
    if (!opened) {
        return opened.errorValue();
    }
    encoder = std::move(opened.value());
    return {};
}

Result<void> H264Writer::State::drain(bool flushing) {
    AVCodecContext* codec = encoder.context.get();
    for (;;) {
        const int r = avcodec_receive_packet(codec, packet.get());
        if (r == AVERROR(EAGAIN) || (flushing && r == AVERROR_EOF)) {
            return {};
        }
        if (r < 0) {
            return fail("the H.264 encoder failed", r);
        }
        // Frames carry no duration of their own; the nominal interval gives the
        // last frame its length, so the file lasts to the end of the range.
        if (packet->duration <= 0) {
            packet->duration = frameTicks;
        }
        av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        const int w = av_interleaved_write_frame(format.get(), packet.get());
        if (w < 0) {
            return fail("cannot write the video", w);
        }
    }
}

H264Writer::H264Writer() : s_(std::make_unique<State>()) {}
H264Writer::~H264Writer() = default;

Result<std::unique_ptr<H264Writer>> H264Writer::tryCreate(const std::string& path,
                                                          const H264Settings& settings) {
    using R = Result<std::unique_ptr<H264Writer>>;
    if (settings.width < 2 || settings.height < 2 || settings.width % 2 != 0 ||
        settings.height % 2 != 0) {
        return R::failure(ErrorKind::Invalid, "the output size is not usable");
    }
    // Everything below is owned by `w` as soon as it exists, so a failure at
    // any step frees what the steps before it allocated.
    std::unique_ptr<H264Writer> w(new H264Writer());
    State& s = *w->s_;
    s.settings = settings;

    AVFormatContext* fmt = nullptr;
    int r = avformat_alloc_output_context2(&fmt, nullptr, "mp4", path.c_str());
    if (r < 0 || fmt == nullptr) {
        return av::error(r, "cannot set up an MP4 file");
    }
    s.format.reset(fmt);

    if (auto opened = s.openEncoder(); !opened) {
        return opened.errorValue();
    }
    AVCodecContext* codec = s.encoder.context.get();

    s.stream = avformat_new_stream(fmt, nullptr);
    if (s.stream == nullptr) {
        return R::failure(ErrorKind::Io, "cannot add the video track");
    }
    s.stream->time_base = kTimeBase;
    r = avcodec_parameters_from_context(s.stream->codecpar, codec);
    if (r < 0) {
        return av::error(r, "cannot describe the video track");
    }

    if (settings.sound) {
        auto sound = AacTrack::tryCreate(fmt);
        if (!sound) {
            return sound.errorValue();
        }
        s.sound = std::move(sound.value());
    }

    r = avio_open(&fmt->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
        return av::error(r, "cannot write " + path);
    }
    AVDictionary* options = nullptr;
    // The index goes to the front so the file plays while it streams.
    av_dict_set(&options, "movflags", "+faststart", 0);
    r = avformat_write_header(fmt, &options);
    av_dict_free(&options);
    if (r < 0) {
        return av::error(r, "cannot write " + path);
    }

    s.packet = av::makePacket();
    if (!s.packet) {
        return R::failure(ErrorKind::Io, "out of memory");
    }
    if (s.encoder.hwFrames) {
        // The GPU takes NV12: the planes are interleaved on the way up.
        s.sws.reset(sws_getContext(settings.width, settings.height, AV_PIX_FMT_YUV420P,
                                   settings.width, settings.height, AV_PIX_FMT_NV12, SWS_POINT,
                                   nullptr, nullptr, nullptr));
        s.yuv = av::makeFrame();
        if (!s.sws || !s.yuv) {
            return R::failure(ErrorKind::Io, "cannot set up the colour conversion");
        }
        s.yuv->format = AV_PIX_FMT_NV12;
        s.yuv->width = settings.width;
        s.yuv->height = settings.height;
        s.hwFrame = av::makeFrame();
        if (!s.hwFrame || av_frame_get_buffer(s.yuv.get(), 0) < 0) {
            return R::failure(ErrorKind::Io, "out of memory");
        }
    }
    return w;
}

Result<void> H264Writer::write(const YuvView& picture, double time) {
    State& s = *s_;
    if (s.failure) {
        return *s.failure;
    }
    if (picture.isNull() || picture.width() != s.settings.width ||
        picture.height() != s.settings.height || picture.y.stride > INT32_MAX ||
        picture.u.stride > INT32_MAX || picture.v.stride > INT32_MAX) {
        return s.fail(Error{ErrorKind::Invalid, "a frame does not fit the output"});
    }
    const double t = std::isfinite(time) ? std::max(time, 0.0) : 0.0;
    std::int64_t pts = std::llround(t * kTimeBase.den);
    if (pts <= s.lastPts) {
        pts = s.lastPts + 1;
    }
    s.lastPts = pts;

    // The caller's planes, described as a frame. A frame that does not own
    // its buffers is copied by libavcodec before it keeps it. libx264 reads
    // the pixels into its own picture inside the send (its packets are all
    // drained after each one, so nothing is left waiting), so for it the
    // planes are lent as a buffer that frees nothing and the copy is saved;
    // the check after the send makes sure no reference outlived it.
    av::FramePtr wrapped = av::makeFrame();
    if (!wrapped) {
        return s.fail("out of memory", AVERROR(ENOMEM));
    }
    wrapped->format = AV_PIX_FMT_YUV420P;
    wrapped->width = s.settings.width;
    wrapped->height = s.settings.height;
    const Plane* planes[3] = {&picture.y, &picture.u, &picture.v};
    for (int p = 0; p < 3; ++p) {
        wrapped->data[p] = planes[p]->data;
        wrapped->linesize[p] = static_cast<int>(planes[p]->stride);
    }
    const bool lend = s.encoder.name == "libx264";
    if (lend) {
        wrapped->buf[0] = av_buffer_create(picture.y.data, 1, [](void*, uint8_t*) {}, nullptr, 0);
        if (wrapped->buf[0] == nullptr) {
            return s.fail("out of memory", AVERROR(ENOMEM));
        }
    }

    AVCodecContext* codec = s.encoder.context.get();
    int r = 0;
    AVFrame* frame = wrapped.get();
    if (s.encoder.hwFrames) {
        r = av_frame_make_writable(s.yuv.get());
        if (r < 0) {
            return s.fail("out of memory", r);
        }
        sws_scale(s.sws.get(), wrapped->data, wrapped->linesize, 0, s.settings.height,
                  s.yuv->data, s.yuv->linesize);
        av_frame_unref(s.hwFrame.get());
        r = av_hwframe_get_buffer(codec->hw_frames_ctx, s.hwFrame.get(), 0);
        if (r < 0) {
            return s.fail("cannot get a GPU surface", r);
        }
        r = av_hwframe_transfer_data(s.hwFrame.get(), s.yuv.get(), 0);
        if (r < 0) {
            return s.fail("cannot upload a frame to the GPU", r);
        }
        frame = s.hwFrame.get();
    }
    frame->pts = pts;
    r = avcodec_send_frame(codec, frame);
    if (r < 0) {
        return s.fail("the H.264 encoder failed", r);
    }
    ++s.frames;
    Result<void> drained = s.drain(false);
    if (lend && av_buffer_get_ref_count(wrapped->buf[0]) > 1) {
        // An encoder that kept the frame would read pixels the caller is
        // about to overwrite: fail rather than write a wrong picture.
        return s.fail(Error{ErrorKind::Io, "the encoder kept a frame it was lent"});
    }
    return drained;
}

Result<void> H264Writer::writeSound(const float* interleaved, int frames) {
    State& s = *s_;
    if (s.failure) {
        return *s.failure;
    }
    if (!s.sound) {
        return s.fail(Error{ErrorKind::Invalid, "the export has no sound track"});
    }
    if (frames <= 0) {
        return {};
    }
    if (auto written = s.sound->write(interleaved, frames); !written) {
        return s.fail(written.errorValue());
    }
    return {};
}

Result<void> H264Writer::finish() {
    State& s = *s_;
    if (s.failure) {
        return *s.failure;
    }
    int r = avcodec_send_frame(s.encoder.context.get(), nullptr);
    if (r < 0) {
        return s.fail("the H.264 encoder failed", r);
    }
    if (auto drained = s.drain(true); !drained) {
        return drained;
    }
    if (s.sound) {
        if (auto finished = s.sound->finish(); !finished) {
            return s.fail(finished.errorValue());
        }
    }
    r = av_write_trailer(s.format.get());
    if (r < 0) {
        return s.fail("cannot finish the file", r);
    }
    r = avio_closep(&s.format->pb);
    if (r < 0) {
        return s.fail("cannot close the file", r);
    }
    return {};
}

const std::string& H264Writer::encoderName() const { return s_->encoder.name; }
std::int64_t H264Writer::framesWritten() const { return s_->frames; }

} // namespace orvane
