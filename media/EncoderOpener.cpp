#include "EncoderOpener.h"

#include "media/SoundTracks.h"

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include <optional>

namespace orvane::av {

namespace {

bool endsWith(const std::string& s, const char* suffix) {
    const std::string tail(suffix);
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// VAAPI encoders take GPU surfaces: a device, then a pool of NV12 surfaces
// that each frame is uploaded into.
bool attachVaapiFrames(AVCodecContext* c, OpenedEncoder& out) {
    AVBufferRef* device = nullptr;
    if (av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0) < 0) {
        return false;
    }
    BufferRefPtr deviceRef(device);
    BufferRefPtr frames(av_hwframe_ctx_alloc(deviceRef.get()));
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

void setAll(AVDictionary** dict, const EncoderOptions& options) {
    for (const auto& [key, value] : options) {
        av_dict_set(dict, key.c_str(), value.c_str(), 0);
    }
}

std::optional<OpenedEncoder> tryOne(const std::string& name, const EncoderRequest& request) {
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
    if (request.configure) {
        request.configure(c);
    }
    AVDictionary* options = nullptr;
    if (codec->type == AVMEDIA_TYPE_VIDEO) {
        if (endsWith(name, "_vaapi")) {
            if (!attachVaapiFrames(c, out)) {
                return std::nullopt;
            }
        } else if (endsWith(name, "_nvenc")) {
            c->pix_fmt = request.nvencFormat;
            out.inputFormat = request.nvencFormat;
            setAll(&options, request.nvencOptions);
        } else {
            c->pix_fmt = request.softwareFormat;
            out.inputFormat = request.softwareFormat;
            if (request.softwareMaxBFrames >= 0) {
                c->max_b_frames = request.softwareMaxBFrames;
            }
            setAll(&options, request.softwareOptions);
        }
    }
    const int rc = avcodec_open2(c, codec, &options);
    av_dict_free(&options);
    if (rc < 0) {
        return std::nullopt;
    }
    return out;
}

} // namespace

Result<OpenedEncoder> openEncoder(const EncoderRequest& request) {
    for (const std::string& name : request.candidates) {
        if (auto opened = tryOne(name, request)) {
            return std::move(*opened);
        }
    }
    return Result<OpenedEncoder>::failure(ErrorKind::Unsupported, request.noneOpened);
}

Result<CodecContextPtr> openSoundEncoder(bool globalHeader, SoundEncoderEffort effort) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr) {
        return Error{ErrorKind::Unsupported, "the AAC encoder is missing"};
    }
    CodecContextPtr c(avcodec_alloc_context3(codec));
    if (!c) {
        return Error{ErrorKind::Io, "Out of memory"};
    }
    c->sample_fmt = AV_SAMPLE_FMT_FLTP; // the only format the native encoder takes
    c->sample_rate = kSoundRate;
    c->bit_rate = kSoundBitRate;
    c->time_base = AVRational{1, kSoundRate};
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (av_channel_layout_copy(&c->ch_layout, &stereo) < 0) {
        return Error{ErrorKind::Io, "Out of memory"};
    }
    if (globalHeader) {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* options = nullptr;
    // The fast search keeps mid/side coding: a mono microphone fills both
    // channels alike, and coded apart it would lose its high frequencies at
    // this rate. (On a steady pure tone that decision costs the fast search
    // three times its usual time, about a tenth of a core.)
    av_dict_set(&options, "aac_coder", effort == SoundEncoderEffort::RealTime ? "fast" : "twoloop", 0);
    const int rc = avcodec_open2(c.get(), codec, &options);
    av_dict_free(&options);
    if (rc < 0) {
        return error(rc, "cannot open the AAC encoder");
    }
    return c;
}

} // namespace orvane::av
