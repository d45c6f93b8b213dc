#include "H264Writer.h"

#include "render/media/AvHandles.h"

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

namespace orvane {

namespace {

constexpr AVRational kTimeBase{1, 600};

struct HwDevice {
    av::BufferRefPtr device;
    av::BufferRefPtr frames;
};

} // namespace

struct H264Writer::State {
    H264Settings settings;
    av::OutputPtr format;
    av::CodecContextPtr codec;
    AVStream* stream = nullptr; // owned by `format`
    av::SwsPtr sws;
    av::FramePtr yuv;      // NV12 frame uploaded to the GPU encoder
    av::FramePtr hwFrame;  // VAAPI surface the software frame is uploaded to
    av::PacketPtr packet;
    HwDevice hw;
    std::string encoder;
    std::string error;
    std::int64_t lastPts = -1;
    std::int64_t frameTicks = 10; // nominal frame interval in 1/600 s
    std::int64_t frames = 0;
    bool failed = false;

    bool fail(const std::string& what, int code) {
        error = what + ": " + av::errorText(code);
        failed = true;
        return false;
    }

    bool drain(bool flushing);
    bool openEncoder(const char* name);
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

bool H264Writer::State::openEncoder(const char* name) {
    const AVCodec* found = avcodec_find_encoder_by_name(name);
    if (found == nullptr) {
        return false;
    }
    const bool vaapi = std::string(name) == "h264_vaapi";
    HwDevice device;
    if (vaapi) {
        AVBufferRef* dev = nullptr;
        if (av_hwdevice_ctx_create(&dev, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0) < 0) {
            return false;
        }
        device.device.reset(dev);
        device.frames.reset(av_hwframe_ctx_alloc(dev));
        if (!device.frames) {
            return false;
        }
        auto* fc = reinterpret_cast<AVHWFramesContext*>(device.frames->data);
        fc->format = AV_PIX_FMT_VAAPI;
        fc->sw_format = AV_PIX_FMT_NV12;
        fc->width = settings.width;
        fc->height = settings.height;
        fc->initial_pool_size = 8;
        if (av_hwframe_ctx_init(device.frames.get()) < 0) {
            return false;
        }
    }

    av::CodecContextPtr c(avcodec_alloc_context3(found));
    if (!c) {
        return false;
    }
    c->width = settings.width;
    c->height = settings.height;
    c->time_base = kTimeBase;
    const double fps = std::isfinite(settings.frameRateHint) && settings.frameRateHint > 0
                           ? settings.frameRateHint
                           : 60.0;
    c->framerate = av_d2q(fps, 1000);
    frameTicks = std::max<std::int64_t>(1, std::llround(kTimeBase.den / fps));
    c->bit_rate = settings.bitRate;
    c->sample_aspect_ratio = AVRational{1, 1};
    tagColour(c.get());
    if (vaapi) {
        c->pix_fmt = AV_PIX_FMT_VAAPI;
        c->hw_frames_ctx = av_buffer_ref(device.frames.get());
    } else {
        c->pix_fmt = AV_PIX_FMT_YUV420P;
    }
    if (std::string(name) == "libx264") {
        av_opt_set(c->priv_data, "preset", settings.x264Preset.c_str(), 0);
    }
    if ((format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (avcodec_open2(c.get(), found, nullptr) < 0) {
        return false;
    }
    codec = std::move(c);
    hw = std::move(device);
    encoder = name;
    return true;
}

bool H264Writer::State::drain(bool flushing) {
    for (;;) {
        const int r = avcodec_receive_packet(codec.get(), packet.get());
        if (r == AVERROR(EAGAIN) || (flushing && r == AVERROR_EOF)) {
            return true;
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

Result<std::unique_ptr<H264Writer>> H264Writer::open(const std::string& path,
                                                     const H264Settings& settings) {
    using R = Result<std::unique_ptr<H264Writer>>;
    if (settings.width < 2 || settings.height < 2 || settings.width % 2 != 0 ||
        settings.height % 2 != 0) {
        return R::failure("the output size is not usable");
    }
    std::unique_ptr<H264Writer> w(new H264Writer());
    State& s = *w->s_;
    s.settings = settings;

    AVFormatContext* fmt = nullptr;
    int r = avformat_alloc_output_context2(&fmt, nullptr, "mp4", path.c_str());
    if (r < 0 || fmt == nullptr) {
        return R::failure("cannot set up an MP4 file: " + av::errorText(r));
    }
    s.format.reset(fmt);

    bool opened = false;
    if (settings.tryHardware) {
        opened = s.openEncoder("h264_vaapi") || s.openEncoder("h264_nvenc");
    }
    if (!opened && !s.openEncoder("libx264")) {
        return R::failure("no H.264 encoder could be opened");
    }

    s.stream = avformat_new_stream(fmt, nullptr);
    if (s.stream == nullptr) {
        return R::failure("cannot add the video track");
    }
    s.stream->time_base = kTimeBase;
    r = avcodec_parameters_from_context(s.stream->codecpar, s.codec.get());
    if (r < 0) {
        return R::failure("cannot describe the video track: " + av::errorText(r));
    }

    r = avio_open(&fmt->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
        return R::failure("cannot write " + path + ": " + av::errorText(r));
    }
    AVDictionary* options = nullptr;
    // The index goes to the front so the file plays while it streams.
    av_dict_set(&options, "movflags", "+faststart", 0);
    r = avformat_write_header(fmt, &options);
    av_dict_free(&options);
    if (r < 0) {
        return R::failure("cannot write " + path + ": " + av::errorText(r));
    }

    s.packet = av::makePacket();
    if (!s.packet) {
        return R::failure("out of memory");
    }
    if (s.hw.frames) {
        // The GPU takes NV12: the planes are interleaved on the way up.
        s.sws.reset(sws_getContext(settings.width, settings.height, AV_PIX_FMT_YUV420P,
                                   settings.width, settings.height, AV_PIX_FMT_NV12, SWS_POINT,
                                   nullptr, nullptr, nullptr));
        s.yuv = av::makeFrame();
        if (!s.sws || !s.yuv) {
            return R::failure("cannot set up the colour conversion");
        }
        s.yuv->format = AV_PIX_FMT_NV12;
        s.yuv->width = settings.width;
        s.yuv->height = settings.height;
        s.hwFrame = av::makeFrame();
        if (!s.hwFrame || av_frame_get_buffer(s.yuv.get(), 0) < 0) {
            return R::failure("out of memory");
        }
    }
    return w;
}

bool H264Writer::write(const YuvView& picture, double time) {
    State& s = *s_;
    if (s.failed) {
        return false;
    }
    if (picture.isNull() || picture.width() != s.settings.width ||
        picture.height() != s.settings.height || picture.y.stride > INT32_MAX ||
        picture.u.stride > INT32_MAX || picture.v.stride > INT32_MAX) {
        s.error = "a frame does not fit the output";
        s.failed = true;
        return false;
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
    const bool lend = s.encoder == "libx264";
    if (lend) {
        wrapped->buf[0] = av_buffer_create(picture.y.data, 1, [](void*, uint8_t*) {}, nullptr, 0);
        if (wrapped->buf[0] == nullptr) {
            return s.fail("out of memory", AVERROR(ENOMEM));
        }
    }

    int r = 0;
    AVFrame* frame = wrapped.get();
    if (s.hw.frames) {
        r = av_frame_make_writable(s.yuv.get());
        if (r < 0) {
            return s.fail("out of memory", r);
        }
        sws_scale(s.sws.get(), wrapped->data, wrapped->linesize, 0, s.settings.height,
                  s.yuv->data, s.yuv->linesize);
        av_frame_unref(s.hwFrame.get());
        r = av_hwframe_get_buffer(s.codec->hw_frames_ctx, s.hwFrame.get(), 0);
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
    r = avcodec_send_frame(s.codec.get(), frame);
    if (r < 0) {
        return s.fail("the H.264 encoder failed", r);
    }
    ++s.frames;
    const bool drained = s.drain(false);
    if (lend && av_buffer_get_ref_count(wrapped->buf[0]) > 1) {
        // An encoder that kept the frame would read pixels the caller is
        // about to overwrite: fail rather than write a wrong picture.
        s.error = "the encoder kept a frame it was lent";
        s.failed = true;
        return false;
    }
    return drained;
}

bool H264Writer::finish() {
    State& s = *s_;
    if (s.failed) {
        return false;
    }
    int r = avcodec_send_frame(s.codec.get(), nullptr);
    if (r < 0) {
        return s.fail("the H.264 encoder failed", r);
    }
    if (!s.drain(true)) {
        return false;
    }
    r = av_write_trailer(s.format.get());
    if (r < 0) {
        return s.fail("cannot finish the file", r);
    }
    r = avio_closep(&s.format->pb);
    if (r < 0) {
        return s.fail("cannot close the file", r);
    }
    return true;
}

const std::string& H264Writer::error() const { return s_->error; }
const std::string& H264Writer::encoderName() const { return s_->encoder; }
std::int64_t H264Writer::framesWritten() const { return s_->frames; }


} // namespace orvane
