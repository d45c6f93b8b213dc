#include "media/MovieReader.h"

#include "media/AvHandles.h"
#include "media/YuvConversion.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

namespace orvane::media {

namespace {

// A decoder that keeps rejecting data this many times in a row, without a
// frame in between, is treated as fed with something that is not its codec.
constexpr int kMaxConsecutiveErrors = 16;
// Demuxed packets without a single decoded frame before reading gives up. Far
// more than any real decoder delay; it bounds the work a hostile file can cause.
constexpr int kMaxPacketsWithoutFrame = 4096;
// How often a seek backs off further when the key frame the demuxer found
// still starts after the requested time (index by decode time, open GOPs).
constexpr int kSeekRetries = 5;

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

enum class Decoded { Frame, End, Failed };

// Whether the first bytes of the file look like a known container: tells a
// damaged movie (a cut-off recording) from something that never was one.
bool looksLikeAMovie(const std::string& path) {
    std::vector<unsigned char> head(4096 + AVPROBE_PADDING_SIZE, 0);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(head.data()), 4096);
    AVProbeData probe{};
    probe.filename = path.c_str();
    probe.buf = head.data();
    probe.buf_size = static_cast<int>(in.gcount());
    int score = 0;
    return av_probe_input_format3(&probe, 1, &score) != nullptr && score > AVPROBE_SCORE_RETRY;
}

// How far a stream's pictures must be turned clockwise to be shown upright,
// from its display matrix: 0, 90, 180 or 270 degrees. Mirrored matrices and
// angles that are not a quarter turn are shown as stored.
int uprightRotation(const AVStream* st) {
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix == nullptr || size < 9 * sizeof(int32_t)) {
        return 0;
    }
    // av_display_rotation_get gives the counterclockwise angle of the matrix.
    const double ccw = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (!std::isfinite(ccw)) {
        return 0;
    }
    const long quarter = std::lround(-ccw / 90.0);
    if (std::abs(-ccw - 90.0 * static_cast<double>(quarter)) > 1.0) {
        return 0;
    }
    return static_cast<int>(((quarter % 4) + 4) % 4) * 90;
}

// Turns a BGRA picture of w x h pixels clockwise by `degrees` (90, 180 or 270)
// into `target`, which holds the turned size.
void rotateBgra(const std::uint8_t* src, std::ptrdiff_t srcStride, int w, int h, int degrees,
                const BgraTarget& target) {
    const int outW = degrees == 180 ? w : h;
    const int outH = degrees == 180 ? h : w;
    for (int y = 0; y < outH; ++y) {
        std::uint8_t* out = target.data + static_cast<std::ptrdiff_t>(y) * target.stride;
        for (int x = 0; x < outW; ++x) {
            int sx = 0;
            int sy = 0;
            if (degrees == 90) {
                sx = y;
                sy = h - 1 - x;
            } else if (degrees == 180) {
                sx = w - 1 - x;
                sy = h - 1 - y;
            } else {
                sx = w - 1 - y;
                sy = x;
            }
            const std::uint8_t* from = src + static_cast<std::ptrdiff_t>(sy) * srcStride +
                                       static_cast<std::ptrdiff_t>(sx) * 4;
            std::memcpy(out + static_cast<std::ptrdiff_t>(x) * 4, from, 4);
        }
    }
}

} // namespace

struct MovieReader::State {
    av::InputPtr input;
    av::CodecContextPtr decoder;
    av::PacketPtr packet = av::makePacket();
    av::FramePtr work = av::makeFrame();
    av::FramePtr bgra = av::makeFrame(); // the caller's rows, wrapped for the scaler
    // Frames decoded ahead of the read position, in presentation order: the
    // frame a seek landed on, and the one after it that was decoded to learn
    // where the first one ends.
    std::array<av::FramePtr, 2> held{av::makeFrame(), av::makeFrame()};
    int heldCount = 0;

    av::SwsPtr sws;
    av::FramePtr padded; // BGRA with padded rows, for widths that are not a multiple of 16
    std::vector<std::uint8_t> bgraScratch; // frames that are not Orvane's I420 go through it
    // The source description the current scaler was set up for.
    int swsWidth = 0, swsHeight = 0, swsFormat = -1, swsSpace = -1, swsRange = -1;
    // The picture as stored, and how far it is turned clockwise to be shown
    // upright (0, 90, 180 or 270 degrees, from the stream's display matrix).
    // info holds the size as shown.
    int codedWidth = 0, codedHeight = 0;
    int rotation = 0;
    std::vector<std::uint8_t> rotationScratch; // BGRA as stored, for rotated streams

    int streamIndex = -1;
    AVRational timeBase{1, 1};
    VideoInfo info;
    Status status = Status::Closed;
    std::string error;
    std::string name; // file name for messages

    bool flushed = false;      // the end-of-stream packet went to the decoder
    bool damaged = false;      // demuxer or decoder met bad data since the last seek
    std::string damageText;    // what they said
    int consecutiveErrors = 0; // decoder refusals since the last frame
    double lastTime = 0;       // time of the last frame handed out or held

    void fail(std::string message) {
        status = Status::Error;
        error = std::move(message);
    }

    double frameStep() const { return info.frameRate > 0 ? 1.0 / info.frameRate : 1.0 / 30.0; }

    double timeOf(const AVFrame* f) const {
        const int64_t pts = f->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) {
            return lastTime + frameStep();
        }
        return static_cast<double>(pts) * av_q2d(timeBase);
    }

    // The last tick at or before `seconds`. A request between two ticks still
    // belongs to the frame that starts before it; the small allowance keeps a
    // time computed as k / rate from falling one tick short by rounding.
    int64_t ticksOf(double seconds) const {
        return static_cast<int64_t>(std::floor(seconds / av_q2d(timeBase) + 1e-6));
    }

    // Feeds the decoder until it yields the next frame in presentation order.
    Decoded decodeInto(AVFrame* out) {
        int packetsWithoutFrame = 0;
        for (;;) {
            const int r = avcodec_receive_frame(decoder.get(), out);
            if (r == 0) {
                consecutiveErrors = 0;
                lastTime = timeOf(out);
                return Decoded::Frame;
            }
            if (r == AVERROR_EOF) {
                return Decoded::End;
            }
            if (r != AVERROR(EAGAIN)) {
                // Frame-threaded decoders report a bad packet here.
                noteDamage(r);
                if (++consecutiveErrors >= kMaxConsecutiveErrors) {
                    return Decoded::Failed;
                }
                continue;
            }
            if (flushed) {
                // Drained but not at EOF cannot happen; end rather than spin.
                return Decoded::End;
            }
            if (++packetsWithoutFrame > kMaxPacketsWithoutFrame) {
                noteDamage(AVERROR_INVALIDDATA);
                return Decoded::Failed;
            }
            feedOnePacket();
        }
    }

    // Reads packets up to the next one of our stream and sends it to the
    // decoder; at the end of the file sends the flush packet instead.
    void feedOnePacket() {
        for (;;) {
            const int r = av_read_frame(input.get(), packet.get());
            if (r < 0) {
                if (r != AVERROR_EOF && !(input->pb != nullptr && avio_feof(input->pb))) {
                    noteDamage(r);
                }
                if (input->pb != nullptr && input->pb->error < 0) {
                    noteDamage(input->pb->error);
                }
                avcodec_send_packet(decoder.get(), nullptr);
                flushed = true;
                return;
            }
            if (packet->stream_index != streamIndex) {
                av_packet_unref(packet.get());
                continue;
            }
            if ((packet->flags & AV_PKT_FLAG_CORRUPT) != 0) {
                noteDamage(AVERROR_INVALIDDATA);
            }
            const int s = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            if (s < 0 && s != AVERROR(EAGAIN)) {
                noteDamage(s);
                ++consecutiveErrors;
            }
            return;
        }
    }

    void noteDamage(int code) {
        if (!damaged) {
            damaged = true;
            damageText = av::errorText(code);
        }
    }

    // Called when the decoder has no more frames: a clean end, or the end of
    // the readable part of a damaged file.
    void finishStream() {
        if (damaged) {
            fail("The movie \"" + name + "\" is damaged after " +
                 std::to_string(static_cast<int>(lastTime)) + " s (" + damageText + ")");
        } else {
            status = Status::End;
        }
    }

    // Converts a frame to BGRA the way it is shown: turned upright when the
    // stream says it is stored rotated (a phone's portrait video, a rotated
    // monitor's recording).
    bool convert(const AVFrame* f, const BgraTarget& target) {
        if (rotation == 0) {
            return convertCoded(f, target);
        }
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(codedWidth) * 4;
        rotationScratch.resize(static_cast<std::size_t>(stride) *
                               static_cast<std::size_t>(codedHeight));
        if (!convertCoded(f, BgraTarget{rotationScratch.data(), stride})) {
            return false;
        }
        rotateBgra(rotationScratch.data(), stride, codedWidth, codedHeight, rotation, target);
        return true;
    }

    // Converts a frame to BGRA as it is stored: codedWidth x codedHeight.
    bool convertCoded(const AVFrame* f, const BgraTarget& target) {
        const int space = f->colorspace == AVCOL_SPC_UNSPECIFIED ? AVCOL_SPC_BT709 : f->colorspace;
        const auto format = static_cast<AVPixelFormat>(f->format);
        const int full = (f->color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
                          format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P)
                             ? 1
                             : 0;
        if (!sws || f->width != swsWidth || f->height != swsHeight || f->format != swsFormat ||
            space != swsSpace || full != swsRange) {
            swsFormat = -1;
            sws.reset(makeScaler(f->width, f->height, format));
            if (!sws) {
                return false;
            }
            // Matrix and range of the source; the BGRA side is full-range RGB.
            sws_setColorspaceDetails(sws.get(), sws_getCoefficients(space), full,
                                     sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
            swsWidth = f->width;
            swsHeight = f->height;
            swsFormat = f->format;
            swsSpace = space;
            swsRange = full;
        }
        // libswscale's vector code writes whole groups of 16 pixels: for other
        // widths it runs past the end of each row, into the next row (which a
        // parallel slice may already have written) and, on the last row, past
        // the caller's memory. Such frames go through a padded frame of ours.
        if (codedWidth % 16 != 0) {
            if (!padded || padded->width != codedWidth || padded->height != codedHeight) {
                padded = av::makeFrame();
                if (!padded) {
                    return false;
                }
                padded->format = AV_PIX_FMT_BGRA;
                padded->width = codedWidth;
                padded->height = codedHeight;
                if (av_frame_get_buffer(padded.get(), 64) < 0) {
                    padded.reset();
                    return false;
                }
            }
            if (sws_scale_frame(sws.get(), padded.get(), f) < 0) {
                return false;
            }
            const auto rowBytes = static_cast<std::size_t>(codedWidth) * 4;
            for (int y = 0; y < codedHeight; ++y) {
                std::memcpy(target.data + static_cast<std::ptrdiff_t>(y) * target.stride,
                            padded->data[0] + static_cast<std::ptrdiff_t>(y) * padded->linesize[0],
                            rowBytes);
            }
            return true;
        }
        // The threaded scaling entry point wants a reference-counted
        // destination; wrap the caller's rows in a buffer that frees nothing.
        const int bytes = static_cast<int>(target.stride * codedHeight);
        av::BufferRefPtr wrapped(av_buffer_create(
            target.data, static_cast<size_t>(bytes), [](void*, uint8_t*) {}, nullptr, 0));
        if (!wrapped) {
            return false;
        }
        av_frame_unref(bgra.get());
        bgra->format = AV_PIX_FMT_BGRA;
        bgra->width = codedWidth;
        bgra->height = codedHeight;
        bgra->data[0] = target.data;
        bgra->linesize[0] = static_cast<int>(target.stride);
        bgra->buf[0] = wrapped.release();
        const int r = sws_scale_frame(sws.get(), bgra.get(), f);
        av_frame_unref(bgra.get());
        return r >= 0;
    }

    SwsContext* makeScaler(int width, int height, AVPixelFormat format) const {
        SwsContext* c = sws_alloc_context();
        if (c == nullptr) {
            return nullptr;
        }
        av_opt_set_int(c, "srcw", width, 0);
        av_opt_set_int(c, "srch", height, 0);
        av_opt_set_int(c, "src_format", format, 0);
        av_opt_set_int(c, "dstw", codedWidth, 0);
        av_opt_set_int(c, "dsth", codedHeight, 0);
        av_opt_set_int(c, "dst_format", AV_PIX_FMT_BGRA, 0);
        av_opt_set_int(c, "sws_flags", SWS_BILINEAR, 0);
        av_opt_set_int(c, "threads", 0, 0);
        if (sws_init_context(c, nullptr, nullptr) < 0) {
            sws_freeContext(c);
            return nullptr;
        }
        return c;
    }

    // Hands the next frame in presentation order to `deliver`, then lets it go.
    template <typename Deliver>
    bool read(double& time, Deliver deliver) {
        if (status != Status::Ready) {
            return false;
        }
        AVFrame* f = heldCount > 0 ? held[0].get() : work.get();
        if (heldCount == 0) {
            const Decoded d = decodeInto(f);
            if (d == Decoded::End) {
                finishStream();
                return false;
            }
            if (d == Decoded::Failed) {
                fail("The video of \"" + name + "\" cannot be decoded after " +
                     std::to_string(static_cast<int>(lastTime)) + " s (" + damageText + ")");
                return false;
            }
        }
        time = timeOf(f);
        const bool delivered = deliver(f);
        av_frame_unref(f);
        if (heldCount > 0) {
            std::swap(held[0], held[1]);
            --heldCount;
        }
        if (!delivered) {
            fail("The video of \"" + name + "\" has a picture format that cannot be shown");
            return false;
        }
        return true;
    }

    // Orvane's recordings are 8-bit 4:2:0, BT.709 (or untagged), limited range:
    // those frames are copied as they are.
    static bool isOrvaneYuv(const AVFrame* f) {
        return f->format == AV_PIX_FMT_YUV420P &&
               (f->colorspace == AVCOL_SPC_BT709 || f->colorspace == AVCOL_SPC_UNSPECIFIED) &&
               f->color_range != AVCOL_RANGE_JPEG;
    }

    bool convertYuv(const AVFrame* f, const YuvView& target) {
        if (rotation == 0 && isOrvaneYuv(f) && f->width == info.width &&
            f->height == info.height) {
            const Plane* planes[3] = {&target.y, &target.u, &target.v};
            for (int p = 0; p < 3; ++p) {
                const Plane& to = *planes[p];
                for (int y = 0; y < to.height; ++y) {
                    std::memcpy(to.row(y), f->data[p] + static_cast<std::ptrdiff_t>(y) * f->linesize[p],
                                static_cast<std::size_t>(to.width));
                }
            }
            return true;
        }
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(info.width) * 4;
        bgraScratch.resize(static_cast<std::size_t>(stride) * static_cast<std::size_t>(info.height));
        if (!convert(f, BgraTarget{bgraScratch.data(), stride})) {
            return false;
        }
        yuv::fromBgra(bgraScratch.data(), stride, info.width, info.height, target);
        return true;
    }

    void dropHeld() {
        for (auto& f : held) {
            av_frame_unref(f.get());
        }
        heldCount = 0;
    }
};

MovieReader::MovieReader() : s_(std::make_unique<State>()) {}
MovieReader::~MovieReader() = default;
MovieReader::MovieReader(MovieReader&&) noexcept = default;
MovieReader& MovieReader::operator=(MovieReader&&) noexcept = default;

void MovieReader::close() { s_ = std::make_unique<State>(); }

MovieReader::Status MovieReader::status() const { return s_->status; }
const std::string& MovieReader::error() const { return s_->error; }
const VideoInfo& MovieReader::info() const { return s_->info; }

void MovieReader::setSkipUnreferenced(bool skip) {
    if (s_->decoder) {
        s_->decoder->skip_frame = skip ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    }
}

int MovieReader::decodeDelay() const {
    if (!s_->decoder) {
        return 0;
    }
    // Frame threads each hold one frame, and reordering holds has_b_frames.
    return std::max(s_->decoder->thread_count, 1) + s_->decoder->has_b_frames;
}

Result<VideoInfo> MovieReader::open(const std::string& path) {
    close();
    State& s = *s_;
    s.name = fileName(path);
    auto failOpen = [&](std::string message, ErrorKind kind = ErrorKind::Corrupt) {
        s.status = Status::Closed;
        s.error = message;
        s.input.reset();
        s.decoder.reset();
        return Result<VideoInfo>::failure(kind, std::move(message));
    };

    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return failOpen("The movie \"" + s.name + "\" does not exist", ErrorKind::NotFound);
    }
    if (std::filesystem::is_directory(path, ec)) {
        return failOpen("\"" + path + "\" is a folder, not a movie", ErrorKind::Invalid);
    }
    if (!std::filesystem::is_regular_file(path, ec)) {
        return failOpen("\"" + s.name + "\" is not a movie file");
    }

    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return failOpen(looksLikeAMovie(path) ? "The movie \"" + s.name + "\" is damaged"
                                              : "\"" + s.name + "\" is not a movie file");
    }
    s.input.reset(raw);
    // A format guessed from almost nothing (FFmpeg's "misdetection possible")
    // means the bytes are not a movie, even if some demuxer accepts them.
    if (s.input->probe_score <= AVPROBE_SCORE_RETRY) {
        return failOpen("\"" + s.name + "\" is not a movie file");
    }
    if (avformat_find_stream_info(s.input.get(), nullptr) < 0) {
        return failOpen("The movie \"" + s.name + "\" is damaged");
    }

    for (unsigned i = 0; i < s.input->nb_streams; ++i) {
        AVStream* st = s.input->streams[i];
        const bool picture = (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
        if (s.streamIndex < 0 && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !picture) {
            s.streamIndex = static_cast<int>(i);
        } else {
            st->discard = AVDISCARD_ALL;
        }
    }
    if (s.streamIndex < 0) {
        return failOpen("The movie \"" + s.name + "\" has no video", ErrorKind::Unsupported);
    }
    AVStream* st = s.input->streams[s.streamIndex];
    s.timeBase = st->time_base;

    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    const std::string codecName = avcodec_get_name(st->codecpar->codec_id);
    if (codec == nullptr) {
        return failOpen("The video of \"" + s.name + "\" cannot be decoded (" + codecName + ")",
                        ErrorKind::Unsupported);
    }
    s.decoder.reset(avcodec_alloc_context3(codec));
    if (!s.decoder || avcodec_parameters_to_context(s.decoder.get(), st->codecpar) < 0) {
        return failOpen("The video of \"" + s.name + "\" cannot be decoded (" + codecName + ")",
                        ErrorKind::Unsupported);
    }
    s.decoder->pkt_timebase = st->time_base;
    s.decoder->thread_count = 0; // one per core
    s.decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(s.decoder.get(), codec, nullptr) < 0) {
        return failOpen("The video of \"" + s.name + "\" cannot be decoded (" + codecName + ")",
                        ErrorKind::Unsupported);
    }

    VideoInfo& info = s.info;
    info.width = st->codecpar->width;
    info.height = st->codecpar->height;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
        info.duration = static_cast<double>(st->duration) * av_q2d(st->time_base);
    } else if (s.input->duration != AV_NOPTS_VALUE && s.input->duration > 0) {
        info.duration = static_cast<double>(s.input->duration) / AV_TIME_BASE;
    }
    if (st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0) {
        info.frameRate = av_q2d(st->avg_frame_rate);
    } else if (st->r_frame_rate.num > 0 && st->r_frame_rate.den > 0) {
        info.frameRate = av_q2d(st->r_frame_rate);
    }

    // Decode the first frame now: a stream that yields none is not playable,
    // and the caller should hear so from open(), not from the first read.
    s.status = Status::Ready;
    if (s.decodeInto(s.held[0].get()) != Decoded::Frame) {
        std::string why = s.damaged ? " (" + s.damageText + ")" : "";
        return failOpen("The video of \"" + s.name + "\" cannot be decoded" + why);
    }
    s.heldCount = 1;
    if (info.width <= 0 || info.height <= 0) {
        info.width = s.held[0]->width;
        info.height = s.held[0]->height;
    }
    if (info.width <= 0 || info.height <= 0) {
        return failOpen("The video of \"" + s.name + "\" has no picture size");
    }
    s.codedWidth = info.width;
    s.codedHeight = info.height;
    s.rotation = uprightRotation(st);
    if (s.rotation == 90 || s.rotation == 270) {
        std::swap(info.width, info.height);
    }
    return info;
}

bool MovieReader::readFrame(const BgraTarget& target, double& time) {
    return s_->read(time, [&](const AVFrame* f) {
        return target.data == nullptr || s_->convert(f, target);
    });
}

bool MovieReader::readPicture(const YuvView& target, double& time) {
    State& s = *s_;
    if (target.width() != s.info.width || target.height() != s.info.height) {
        s.fail("The video of \"" + s.name + "\" does not fit the picture it is read into");
        return false;
    }
    return s.read(time, [&](const AVFrame* f) { return s.convertYuv(f, target); });
}

bool MovieReader::seek(double t, bool exact) {
    State& s = *s_;
    if (s.status == Status::Closed || !s.input) {
        return false;
    }
    AVStream* st = s.input->streams[s.streamIndex];
    const int64_t target = s.ticksOf(std::max(t, 0.0));
    const int64_t first = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    int64_t seekTs = std::max(target, first);
    int64_t backoff = std::max<int64_t>(s.ticksOf(1.0), 1);

    AVFrame* landed = s.held[0].get();
    for (int attempt = 0;; ++attempt) {
        s.dropHeld();
        if (av_seek_frame(s.input.get(), s.streamIndex, seekTs, AVSEEK_FLAG_BACKWARD) < 0 &&
            avformat_seek_file(s.input.get(), s.streamIndex, INT64_MIN, seekTs, seekTs, 0) < 0) {
            s.fail("The movie \"" + s.name + "\" cannot seek");
            return false;
        }
        avcodec_flush_buffers(s.decoder.get());
        s.flushed = false;
        s.damaged = false;
        s.consecutiveErrors = 0;
        s.status = Status::Ready;
        if (s.decodeInto(landed) != Decoded::Frame) {
            s.fail("The video of \"" + s.name + "\" cannot be decoded near " +
                   std::to_string(static_cast<int>(t)) + " s" +
                   (s.damaged ? " (" + s.damageText + ")" : ""));
            return false;
        }
        const int64_t pts = landed->best_effort_timestamp;
        // The demuxer indexes by decode time, so its key frame can start after
        // the requested time; back off until one starts at or before it.
        if (pts == AV_NOPTS_VALUE || pts <= target || seekTs <= first || attempt >= kSeekRetries) {
            break;
        }
        seekTs = std::max(first, seekTs - backoff);
        backoff *= 2;
    }
    s.heldCount = 1;
    if (!exact) {
        return true;
    }

    // Decode forward; keep the last frame starting at or before the target and
    // the frame after it, which the next read returns after it.
    for (;;) {
        AVFrame* next = s.held[1].get();
        const Decoded d = s.decodeInto(next);
        if (d == Decoded::End) {
            break; // the target lies in the last frame
        }
        if (d == Decoded::Failed) {
            s.fail("The video of \"" + s.name + "\" cannot be decoded near " +
                   std::to_string(static_cast<int>(t)) + " s (" + s.damageText + ")");
            s.dropHeld();
            return false;
        }
        const int64_t pts = next->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE && pts <= target) {
            std::swap(s.held[0], s.held[1]);
            av_frame_unref(s.held[1].get());
            continue;
        }
        s.heldCount = 2;
        break;
    }
    s.lastTime = s.timeOf(s.held[0].get());
    return true;
}

} // namespace orvane::media
