#pragma once

// RAII owners for FFmpeg's C handles. An internal header of the media code:
// include it from .cpp files only, never from a public header, so FFmpeg's
// headers stay out of the rest of the program.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "timeline/Result.h"

#include <memory>
#include <string>

namespace orvane::av {

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct InputDeleter {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
// An output context owns its AVIOContext when the format writes a file.
struct OutputDeleter {
    void operator()(AVFormatContext* f) const {
        if (f == nullptr) {
            return;
        }
        if (f->oformat != nullptr && (f->oformat->flags & AVFMT_NOFILE) == 0 && f->pb != nullptr) {
            avio_closep(&f->pb);
        }
        avformat_free_context(f);
    }
};
struct SwsDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct BufferRefDeleter {
    void operator()(AVBufferRef* b) const { av_buffer_unref(&b); }
};

using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using BufferRefPtr = std::unique_ptr<AVBufferRef, BufferRefDeleter>;

inline FramePtr makeFrame() { return FramePtr(av_frame_alloc()); }
inline PacketPtr makePacket() { return PacketPtr(av_packet_alloc()); }

// FFmpeg's text for an error code, e.g. "No such file or directory".
std::string errorText(int code);
// The kind of failure an FFmpeg error code stands for: the errno it wraps
// (ENOSPC is NoSpace), damaged data (Corrupt), a missing codec or format
// (Unsupported), an interrupt (Cancelled); Io otherwise.
ErrorKind errorKind(int code);
// An Error of that kind whose message is `what` + ": " + errorText(code).
Error error(int code, const std::string& what);

} // namespace orvane::av
