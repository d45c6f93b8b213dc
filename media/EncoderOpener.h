#pragma once

// Opens an FFmpeg encoder from an ordered list of candidates: hardware first
// where the machine really has it, then software. One place for the take's
// movie writer, the export and, later, audio encoders. An internal header of
// the media code (it includes FFmpeg): include it from .cpp files only.

#include "media/AvHandles.h"
#include "timeline/Result.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orvane::av {

// An opened encoder. For encoders that take GPU surfaces (the *_vaapi family),
// `hwFrames` is the surface pool that frames in `inputFormat` are uploaded
// into before they are sent; otherwise it is empty and frames in `inputFormat`
// go to the encoder as they are.
struct OpenedEncoder {
    CodecContextPtr context;
    BufferRefPtr hwFrames;
    AVPixelFormat inputFormat = AV_PIX_FMT_NONE;
    std::string name;
};

using EncoderOptions = std::vector<std::pair<std::string, std::string>>;

// What to open. Candidates are tried in order and the first that opens wins.
// The encoder families are told apart by name: "*_vaapi" encoders get a VAAPI
// device and a pool of NV12 surfaces, "*_nvenc" encoders take `nvencFormat`
// frames, every other video encoder takes `softwareFormat` frames. Audio
// encoders (a context whose codec is audio) take their sample format from
// `configure`.
struct EncoderRequest {
    std::vector<std::string> candidates;
    // Sets what every candidate shares (size or sample rate, time base, rate,
    // colour tags, flags) on a freshly allocated context, before the family's
    // own settings.
    std::function<void(AVCodecContext*)> configure;
    AVPixelFormat softwareFormat = AV_PIX_FMT_YUV420P;
    AVPixelFormat nvencFormat = AV_PIX_FMT_NV12;
    EncoderOptions softwareOptions; // private options of the software encoders (e.g. preset)
    EncoderOptions nvencOptions;
    int softwareMaxBFrames = -1;    // -1: the encoder's own default
    // The message of the Unsupported error when no candidate opens.
    std::string noneOpened = "no encoder could be opened";
};

// The first candidate that really opens. Everything a failed candidate
// allocated (contexts, devices, surface pools) is freed before the next is
// tried.
Result<OpenedEncoder> openEncoder(const EncoderRequest& request);

// How much work the AAC encoder spends per frame.
enum class SoundEncoderEffort {
    RealTime, // a take being recorded: the fast search, a few times cheaper
    Best,     // an export: the two-loop search, the encoder's best at the rate
};

// The sound encoder of takes and exports: FFmpeg's native AAC, kSoundRate,
// stereo, planar float input, kSoundBitRate, time base 1 / kSoundRate; codec
// headers out of band when `globalHeader`.
Result<CodecContextPtr> openSoundEncoder(bool globalHeader, SoundEncoderEffort effort);

} // namespace orvane::av
