// How long the timeline bar's sound outline takes for a long take: the
// outline (readSoundWaveform) of a 10-minute movie with both sound tracks
// (AAC, as takes store them; made here with ffmpeg, kept between runs),
// extrapolated to a one-hour take. Baseline, measured in the same run on the
// same file: the bare FFmpeg decode of both tracks with no resampling and no
// peaks, the floor for any outline. The outline runs on a worker thread, so
// this is how long a take's strip takes to appear, not a stall of the window.
//
// Each figure is the best of several interleaved passes.
//
// Usage: sound_waveform_bench [PASSES]   (default 2)
#include "BenchClip.h"
#include "BenchReport.h"
#include "media/AvHandles.h"
#include "media/SoundWaveformReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>


namespace {

constexpr int kSeconds = 600;

using orvane::bench::Clock;
using orvane::bench::since;

bool makeClip(const std::string& path) {
    const std::string d = std::to_string(kSeconds);
    return orvane::bench::makeClipOnce(
        path, "-f lavfi -i color=c=black:s=64x64:r=1:d=" + d + " "
              "-f lavfi -i 'sine=f=440:r=48000:d=" + d + "' "
              "-f lavfi -i 'anoisesrc=r=48000:a=0.1:d=" + d + "' "
              "-map 0:v -map 1:a -map 2:a -c:v libx264 -preset ultrafast -c:a aac -ac 2 -b:a 160k "
              "-metadata:s:a:0 handler_name='Orvane microphone' "
              "-metadata:s:a:1 handler_name='Orvane desktop sound'");
}

// Demux and decode every packet of every sound stream; nothing else.
long bareDecode(const std::string& path) {
    using namespace orvane::av;
    InputPtr input = orvane::bench::openInput(path);
    if (!input) {
        return -1;
    }
    std::vector<CodecContextPtr> decoders(input->nb_streams);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVCodecParameters* par = input->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO) {
            input->streams[i]->discard = AVDISCARD_ALL;
            continue;
        }
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        decoders[i].reset(avcodec_alloc_context3(codec));
        avcodec_parameters_to_context(decoders[i].get(), par);
        if (avcodec_open2(decoders[i].get(), codec, nullptr) < 0) {
            return -1;
        }
    }
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();
    long samples = 0;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        AVCodecContext* dec = decoders[static_cast<unsigned>(packet->stream_index)].get();
        if (dec != nullptr && avcodec_send_packet(dec, packet.get()) >= 0) {
            while (avcodec_receive_frame(dec, frame.get()) == 0) {
                samples += frame->nb_samples;
            }
        }
        av_packet_unref(packet.get());
    }
    return samples;
}

} // namespace

int main(int argc, char** argv) {
    const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
    const std::string clip = std::string(ORVANE_BENCH_DIR) + "/sound-10min.mov";
    if (!makeClip(clip)) {
        std::fprintf(stderr, "sound_waveform_bench: cannot make %s\n", clip.c_str());
        return 1;
    }
    double bare = 1e30;
    double outline = 1e30;
    for (int p = 0; p < passes; ++p) {
        auto start = Clock::now();
        if (bareDecode(clip) <= 0) {
            std::fprintf(stderr, "sound_waveform_bench: the bare decode failed\n");
            return 1;
        }
        bare = std::min(bare, since(start));
        start = Clock::now();
        auto w = orvane::readSoundWaveform(clip);
        if (!w || w.value().buckets() < static_cast<std::size_t>(kSeconds * 99)) {
            std::fprintf(stderr, "sound_waveform_bench: the outline failed\n");
            return 1;
        }
        outline = std::min(outline, since(start));
    }
    const double perHour = 3600.0 / kSeconds;
    std::printf("sound outline of a %d s take with two tracks: %.2f s (bare decode %.2f s)\n",
                kSeconds, outline, bare);
    std::printf("one-hour take: outline %.1f s, bare decode %.1f s, ratio %.2f\n",
                outline * perHour, bare * perHour, outline / bare);
    char value[64];
    char baseline[64];
    std::snprintf(value, sizeof value, "%.1f s", outline * perHour);
    std::snprintf(baseline, sizeof baseline, "%.1f s", bare * perHour);
    // The strip of a one-hour take should appear within a minute on a
    // 2-core machine; the outline itself should cost little beyond decoding.
    orvane::bench::reportRow("sound outline, 1 h take", value, baseline, outline / bare,
                             "<= 1.5x bare decode", outline / bare <= 1.5);
    return 0;
}
