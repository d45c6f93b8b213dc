#pragma once

#include "media/YuvImage.h"
#include "timeline/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orvane {

// How the export's H.264 stream is made.
struct H264Settings {
    int width = 0;              // pixels, even
    int height = 0;             // pixels, even
    std::int64_t bitRate = 0;   // average, bits per second
    double frameRateHint = 60;  // nominal source rate, frames per second; only
                                // guides rate control (timestamps are the frames' own)
    std::string x264Preset = "ultrafast"; // used when the software encoder is chosen
    bool tryHardware = true;    // try h264_vaapi and h264_nvenc first
    bool sound = false;         // add an AAC sound track (see writeSound())
};

// The x264 preset the export uses, chosen with bench/export: the best quality
// whose export stays within 1.25 times a bare ffmpeg decode + scale + encode
// with the same preset. Slower presets spend far more on zoomed, panning
// pictures than on the still desktop of a plain rescale (encoding the
// composed frames alone takes 1.4 to 1.5 times the baseline with superfast
// or veryfast); ultrafast costs the same on both. At the export's generous
// bit rate its pictures stay clean.
inline constexpr const char* kExportX264Preset = "ultrafast";

// The lowest average bit rate libx264 opens with (it counts in kbit/s and takes
// 0 as "no rate given"). With the export's 8 bits per pixel, outputs of fewer
// than 125 pixels fall below it: too small to encode.
inline constexpr std::int64_t kMinEncoderBitRate = 1000;

// Encodes I420 pictures (BT.709, limited range, as the compositor draws them)
// to H.264 and writes them into an MP4 file with its index at the front
// (+faststart). Without settings.sound the file has no sound track at all;
// with it, one AAC track (AacTrack) that starts at 0 s with the video. The stream is tagged as the pixels are: BT.709
// primaries, sRGB transfer, BT.709 matrix, limited range.
//
// Encoder order: h264_vaapi, h264_nvenc (each only when it really opens), then
// libx264 with the given preset.
//
// Timestamps: seconds on the output timeline, stored with time base 1/600. A
// frame whose time would not come after the previous one is moved one tick
// later, because MP4 cannot hold equal or decreasing times.
//
// One thread at a time (the export's encode worker). The encoder may run
// threads of its own.
class H264Writer {
public:
    // Creates `path` (truncating it) and writes the header. On failure
    // everything allocated so far is freed again; the message is one line.
    static Result<std::unique_ptr<H264Writer>> tryCreate(const std::string& path,
                                                          const H264Settings& settings);
    ~H264Writer();
    H264Writer(const H264Writer&) = delete;
    H264Writer& operator=(const H264Writer&) = delete;

    // Encodes one picture of settings.width x settings.height pixels, shown at
    // `time` seconds. The pixels are read before the call returns, so the
    // caller may reuse the picture at once. Fails on an encoder or write
    // error; the file is then unusable and every later call fails the same way.
    Result<void> write(const YuvView& picture, double time);
    // Appends `frames` interleaved stereo float frames (kSoundRate) to the
    // sound track, the first one at 0 s. Only with settings.sound. Fails like
    // write(), and a failure of either makes the file unusable.
    Result<void> writeSound(const float* interleaved, int frames);
    // Drains the encoder(s), writes the index (moved to the front) and closes the
    // file. Fails when any of it fails (a full disk, for one: NoSpace).
    Result<void> finish();

    const std::string& encoderName() const;
    std::int64_t framesWritten() const;

private:
    H264Writer();
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace orvane
