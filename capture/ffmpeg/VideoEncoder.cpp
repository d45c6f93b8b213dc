#include "VideoEncoder.h"

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include <algorithm>

namespace orvane {

namespace {

constexpr AVRational kTimeBase{1, 600};
constexpr AVRational kFrameRate{60, 1};
constexpr int kKeyFrameInterval = 60;

void applyCommonSettings(AVCodecContext* c, int width, int height, bool globalHeader) {
    c->width = width;
    c->height = height;
    c->time_base = kTimeBase;
    c->framerate = kFrameRate;
    c->gop_size = kKeyFrameInterval;
    c->bit_rate = averageBitRate(width, height);
    c->sample_aspect_ratio = AVRational{1, 1};
    // What the pixels are: the screen's sRGB values, converted with BT.709
    // coefficients into limited-range YUV.
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_IEC61966_2_1;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_range = AVCOL_RANGE_MPEG;
    if (globalHeader) {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
}

// VAAPI encoders take GPU surfaces: a device, then a pool of NV12 surfaces the
// writer uploads each converted frame into.
bool attachVaapiFrames(AVCodecContext* c, OpenedEncoder& out) {
    AVBufferRef* device = nullptr;
    if (av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0) < 0) {
        return false;
    }
    av::BufferRefPtr deviceRef(device);
    av::BufferRefPtr frames(av_hwframe_ctx_alloc(deviceRef.get()));
    if (!frames) {
        return false;
    }
    auto* fc = reinterpret_cast<AVHWFramesContext*>(frames->data);
    fc->format = AV_PIX_FMT_VAAPI;
    fc->sw_format = AV_PIX_FMT_NV12;
    fc->width = c->width;
    fc->height = c->height;
    fc->initial_pool_size = 8;
    if (av_hwframe_ctx_init(frames.get()) < 0) {
        return false;
    }
    c->pix_fmt = AV_PIX_FMT_VAAPI;
    c->hw_frames_ctx = av_buffer_ref(frames.get());
    out.hwFrames = std::move(frames);
    out.inputFormat = AV_PIX_FMT_NV12;
    return c->hw_frames_ctx != nullptr;
}

} // namespace

const std::vector<std::string>& defaultEncoderOrder() {
    static const std::vector<std::string> order{"hevc_vaapi", "hevc_nvenc", "libx264"};
    return order;
}

std::int64_t averageBitRate(int width, int height) {
    const std::int64_t perPixel = static_cast<std::int64_t>(width) * height * 4;
    return std::min<std::int64_t>(perPixel, 40'000'000);
}

std::optional<OpenedEncoder> openVideoEncoder(const std::string& name, int width, int height,
                                              bool globalHeader) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (codec == nullptr) {
        return std::nullopt;
    }
    OpenedEncoder out;
    out.name = name;
    out.context.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = out.context.get();
    if (c == nullptr) {
        return std::nullopt;
    }
    applyCommonSettings(c, width, height, globalHeader);

    AVDictionary* opts = nullptr;
    if (name == "hevc_vaapi") {
        if (!attachVaapiFrames(c, out)) {
            return std::nullopt;
        }
    } else if (name == "hevc_nvenc") {
        c->pix_fmt = AV_PIX_FMT_NV12;
        out.inputFormat = AV_PIX_FMT_NV12;
        av_dict_set(&opts, "preset", "p1", 0);
    } else {
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        out.inputFormat = AV_PIX_FMT_YUV420P;
        // Screen frames arrive in real time: the fastest preset is the one that
        // keeps up at 1920 x 1200 and 60 fps on two cores. No B-frames, so each
        // frame leaves the encoder in order and the movie's timestamps are the
        // capture times.
        c->max_b_frames = 0;
        av_dict_set(&opts, "preset", "ultrafast", 0);
    }
    const int rc = avcodec_open2(c, codec, &opts);
    av_dict_free(&opts);
    if (rc < 0) {
        return std::nullopt;
    }
    return out;
}

} // namespace orvane
