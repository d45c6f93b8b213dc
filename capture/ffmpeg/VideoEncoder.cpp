#include "VideoEncoder.h"

#include <algorithm>

namespace orvane {

namespace {

constexpr AVRational kTimeBase{1, 600};
constexpr AVRational kFrameRate{60, 1};
constexpr int kKeyFrameInterval = 60;

} // namespace

const std::vector<std::string>& defaultEncoderOrder() {
    static const std::vector<std::string> order{"hevc_vaapi", "hevc_nvenc", "libx264"};
    return order;
}

std::int64_t averageBitRate(int width, int height) {
    const std::int64_t perPixel = static_cast<std::int64_t>(width) * height * 4;
    return std::min<std::int64_t>(perPixel, 40'000'000);
}

Result<av::OpenedEncoder> openTakeEncoder(const std::vector<std::string>& order, int width,
                                          int height, bool globalHeader) {
    av::EncoderRequest request;
    request.candidates = order;
    request.configure = [=](AVCodecContext* c) {
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
    };
    request.nvencFormat = AV_PIX_FMT_NV12;
    request.nvencOptions = {{"preset", "p1"}};
    // Screen frames arrive in real time: the fastest preset is the one that
    // keeps up at 1920 x 1200 and 60 fps on two cores. No B-frames, so each
    // frame leaves the encoder in order and the movie's timestamps are the
    // capture times.
    request.softwareFormat = AV_PIX_FMT_YUV420P;
    request.softwareMaxBFrames = 0;
    request.softwareOptions = {{"preset", "ultrafast"}};
    request.noneOpened = "No video encoder could be opened";
    return av::openEncoder(request);
}

} // namespace orvane
