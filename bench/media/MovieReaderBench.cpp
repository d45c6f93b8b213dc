// Decode speed of MovieReader, frames per second to BGRA, on a 4 s 1920 x 1200
// 60 fps HEVC recording of a desktop (made here with ffmpeg, kept between runs).
// Baseline, measured in the same run on the same file: the bare FFmpeg decode
// with the same decoder threading and no conversion, the floor for any reader.
// Also shown: MovieReader without the BGRA conversion, which separates the
// reader's own cost from the colour conversion's.
//
// Each figure is the best of several interleaved passes, so that a busy
// neighbour on the machine disturbs all of them alike.
//
// Usage: media_bench [PASSES]   (default 3)
#include "BenchClip.h"
#include "BenchReport.h"
#include "media/AvHandles.h"
#include "media/MovieReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using orvane::media::MovieReader;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1200;
constexpr int kFps = 60;
constexpr int kSeconds = 4;

using orvane::bench::Clock;
using orvane::bench::since;

// A desktop: a side bar, two windows with text-like rows, and a window that
// slides across, encoded as Orvane records (HEVC, BT.709, in MOV).
bool makeClip(const std::string& path) {
    return orvane::bench::makeClipOnce(
        path, "-f lavfi -i "
              "'color=c=0xE8E8EC:s=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
              ":r=" + std::to_string(kFps) + ":d=" + std::to_string(kSeconds) + ","
              "drawbox=x=0:y=0:w=260:h=1200:color=0x2B2D33:t=fill,"
              "drawbox=x=340:y=120:w=900:h=640:color=0xFFFFFF:t=fill,"
              "drawgrid=x=360:y=180:w=860:h=24:color=0x8088A0:t=2,"
              "drawbox=x=1300:y=500:w=520:h=560:color=0xF8F4E8:t=fill,"
              "drawgrid=x=1320:y=520:w=60:h=20:color=0xA09070:t=1,"
              "drawbox=x='300+t*240':y='800-t*60':w=360:h=220:color=0x3070D0:t=fill' "
              "-c:v libx265 -preset ultrafast -x265-params log-level=error -pix_fmt yuv420p "
              "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -tag:v hvc1");
}

// The bare decode: demux and decode every frame of the first video stream with
// the decoder threading MovieReader uses; nothing else. Returns frames decoded.
int bareDecode(const std::string& path) {
    using namespace orvane::av;
    InputPtr input = orvane::bench::openInput(path);
    if (!input) {
        return -1;
    }
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        return -1;
    }
    const AVCodecParameters* par = input->streams[stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    CodecContextPtr dec(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(dec.get(), par);
    dec->thread_count = 0;
    dec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0) {
        return -1;
    }
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();
    int frames = 0;
    bool flushed = false;
    for (;;) {
        const int r = avcodec_receive_frame(dec.get(), frame.get());
        if (r == 0) {
            ++frames;
            continue;
        }
        if (r != AVERROR(EAGAIN) || flushed) {
            break;
        }
        if (av_read_frame(input.get(), packet.get()) < 0) {
            avcodec_send_packet(dec.get(), nullptr);
            flushed = true;
            continue;
        }
        if (packet->stream_index == stream) {
            avcodec_send_packet(dec.get(), packet.get());
        }
        av_packet_unref(packet.get());
    }
    return frames;
}

// Opens and reads every frame through MovieReader, into one reused BGRA
// picture when `convert`, else with the conversion skipped.
int readerDecode(const std::string& path, bool convert, std::vector<std::uint8_t>& picture) {
    MovieReader reader;
    const auto opened = reader.open(path);
    if (!opened.ok()) {
        std::fprintf(stderr, "media_bench: %s\n", opened.error().c_str());
        return -1;
    }
    const orvane::media::BgraTarget target{convert ? picture.data() : nullptr,
                                           static_cast<std::ptrdiff_t>(opened->width) * 4};
    int frames = 0;
    double t = 0;
    while (reader.readFrame(target, t)) {
        ++frames;
    }
    return reader.status() == MovieReader::Status::End ? frames : -1;
}

struct Figure {
    double best = 1e30; // seconds for the whole clip
    int frames = 0;
    void add(double seconds, int n) {
        best = std::min(best, seconds);
        frames = n;
    }
    double fps() const { return frames / best; }
};

} // namespace

int main(int argc, char** argv) {
    const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    av_log_set_level(AV_LOG_ERROR);
#ifdef ORVANE_BENCH_DIR
    const std::string dir = ORVANE_BENCH_DIR;
#else
    const std::string dir = fs::temp_directory_path().string();
#endif
    const std::string clip = dir + "/media-bench-1920x1200-60fps-4s.mov";
    if (!makeClip(clip)) {
        std::fprintf(stderr, "media_bench: ffmpeg could not make %s\n", clip.c_str());
        return 1;
    }

    std::vector<std::uint8_t> picture(static_cast<size_t>(kWidth) * kHeight * 4);
    Figure bare, reader, readerNoConvert;
    for (int i = 0; i < passes; ++i) {
        auto start = Clock::now();
        int n = bareDecode(clip);
        bare.add(since(start), n);
        start = Clock::now();
        n = readerDecode(clip, true, picture);
        reader.add(since(start), n);
        start = Clock::now();
        n = readerDecode(clip, false, picture);
        readerNoConvert.add(since(start), n);
    }
    if (bare.frames <= 0 || reader.frames != bare.frames || readerNoConvert.frames != bare.frames) {
        std::fprintf(stderr, "media_bench: frame counts differ (bare %d, reader %d, %d)\n",
                     bare.frames, reader.frames, readerNoConvert.frames);
        return 1;
    }

    std::printf("Movie decode, %d x %d HEVC at %d fps, %d frames, best of %d passes\n", kWidth,
                kHeight, kFps, bare.frames, passes);
    std::printf("  baseline  bare FFmpeg decode         %8.1f fps  (%.3f s)\n", bare.fps(),
                bare.best);
    std::printf("  value     MovieReader to BGRA        %8.1f fps  (%.3f s)  ratio %.2f x baseline "
                "time, %.2f x real time\n",
                reader.fps(), reader.best, reader.best / bare.best, reader.fps() / kFps);
    std::printf("  detail    MovieReader, no conversion %8.1f fps  (%.3f s)  ratio %.2f x baseline "
                "time\n",
                readerNoConvert.fps(), readerNoConvert.best, readerNoConvert.best / bare.best);
    char value[32];
    char base[32];
    std::snprintf(value, sizeof value, "%.1f fps", reader.fps());
    std::snprintf(base, sizeof base, "%.1f fps", bare.fps());
    orvane::bench::reportRow("decode 1920x1200@60 HEVC to BGRA (time)", value, base,
                             reader.best / bare.best, "near 1x", reader.best / bare.best < 1.5);
    return 0;
}
