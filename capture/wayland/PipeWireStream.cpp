#include "PipeWireStream.h"

#include "capture/HostClock.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace orvane::wayland {

namespace {

constexpr std::uint32_t kMaxCursor = 1024;

constexpr std::uint32_t cursorMetaSize(std::uint32_t w, std::uint32_t h) {
    return static_cast<std::uint32_t>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + w * h * 4;
}

bool redFirst(std::uint32_t format) {
    return format == SPA_VIDEO_FORMAT_RGBx || format == SPA_VIDEO_FORMAT_RGBA;
}

// Which byte of a 32-bit cursor pixel is alpha; -1 when the format has none
// we know.
int alphaByte(std::uint32_t format) {
    switch (format) {
    case SPA_VIDEO_FORMAT_RGBA:
    case SPA_VIDEO_FORMAT_BGRA:
        return 3;
    case SPA_VIDEO_FORMAT_ARGB:
    case SPA_VIDEO_FORMAT_ABGR:
        return 0;
    default:
        return -1;
    }
}

} // namespace

struct PipeWireStream::Callbacks {
    static void paramChanged(void* self, std::uint32_t id, const spa_pod* param) {
        if (id == SPA_PARAM_Format && param != nullptr) {
            static_cast<PipeWireStream*>(self)->onFormat(param);
        }
    }
    static void process(void* self) { static_cast<PipeWireStream*>(self)->onProcess(); }
    static void stateChanged(void* self, pw_stream_state, pw_stream_state state, const char*) {
        static_cast<PipeWireStream*>(self)->onState(static_cast<int>(state));
    }
    static const pw_stream_events& events() {
        static const pw_stream_events e = [] {
            pw_stream_events ev{};
            ev.version = PW_VERSION_STREAM_EVENTS;
            ev.state_changed = &Callbacks::stateChanged;
            ev.param_changed = &Callbacks::paramChanged;
            ev.process = &Callbacks::process;
            return ev;
        }();
        return e;
    }
};

Result<std::unique_ptr<PipeWireStream>> PipeWireStream::tryCreate(
    int fd, std::uint32_t node, std::shared_ptr<StreamCursorTrack> cursor, Options options) {
    auto loop = PipeWireLoop::tryCreate(fd, "orvane-screencast");
    if (!loop) {
        return loop.errorValue();
    }
    std::unique_ptr<PipeWireStream> s(new PipeWireStream());
    s->loop_ = std::move(loop.value());
    s->cursor_ = std::move(cursor);
    s->options_ = std::move(options);
    s->listener_ = std::make_unique<spa_hook>();

    PipeWireLoop::Lock lock(*s->loop_);
    s->stream_ = pw_stream_new(
        s->loop_->core(), "Orvane screen",
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                          PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (s->stream_ == nullptr) {
        return Error{ErrorKind::Io, "cannot create a PipeWire stream"};
    }
    pw_stream_add_listener(s->stream_, s->listener_.get(), &Callbacks::events(), s.get());

    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_rectangle defaultSize = SPA_RECTANGLE(1920, 1080);
    const spa_rectangle minSize = SPA_RECTANGLE(1, 1);
    const spa_rectangle maxSize = SPA_RECTANGLE(8192, 8192);
    const spa_fraction defaultRate = SPA_FRACTION(60, 1);
    const spa_fraction minRate = SPA_FRACTION(0, 1);
    const spa_fraction maxRate = SPA_FRACTION(1000, 1);
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat,
        SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate)));
    const int rc = pw_stream_connect(
        s->stream_, PW_DIRECTION_INPUT, node,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    if (rc < 0) {
        return Error{ErrorKind::NotFound, "cannot connect to the shared screen's PipeWire stream"};
    }
    return s;
}

PipeWireStream::~PipeWireStream() {
    if (loop_ && stream_ != nullptr) {
        PipeWireLoop::Lock lock(*loop_);
        pw_stream_destroy(stream_);
        stream_ = nullptr;
    }
    loop_.reset(); // core, thread, context, loop
}

void PipeWireStream::onFormat(const spa_pod* param) {
    std::uint32_t mediaType = 0;
    std::uint32_t mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw) {
        return;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) {
        return;
    }
    format_ = info.format;
    size_ = QSize(static_cast<int>(info.size.width), static_cast<int>(info.size.height));

    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod* params[4];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
        SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(8, 2, 16),
        SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
        SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(static_cast<int>(sizeof(spa_meta_header)))));
    params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
        SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoCrop),
        SPA_PARAM_META_size, SPA_POD_Int(static_cast<int>(sizeof(spa_meta_region)))));
    params[3] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
        SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(static_cast<int>(cursorMetaSize(64, 64)),
                                 static_cast<int>(cursorMetaSize(1, 1)),
                                 static_cast<int>(cursorMetaSize(kMaxCursor, kMaxCursor)))));
    pw_stream_update_params(stream_, params, 4);
}

std::shared_ptr<StreamPicture> PipeWireStream::freeBuffer() {
    // A buffer nobody else holds any more (the pacing thread lets go of a
    // picture before it takes the next).
    for (auto& p : pool_) {
        if (p.use_count() == 1) {
            return p;
        }
    }
    if (pool_.size() < 4) {
        pool_.push_back(std::make_shared<StreamPicture>());
        return pool_.back();
    }
    return std::make_shared<StreamPicture>();
}

void PipeWireStream::publish(std::shared_ptr<StreamPicture> picture) {
    {
        std::lock_guard lock(mutex_);
        latest_ = std::move(picture);
    }
    firstPicture_.notify_all();
}

void PipeWireStream::onProcess() {
    // Only the newest buffer counts: older ones go straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* next = pw_stream_dequeue_buffer(stream_)) {
        if (newest != nullptr) {
            pw_stream_queue_buffer(stream_, newest);
        }
        newest = next;
    }
    if (newest == nullptr) {
        return;
    }
    const double now = hostTime();
    spa_buffer* buf = newest->buffer;
    QRect crop(QPoint(0, 0), size_);
    if (auto* region = static_cast<spa_meta_region*>(
            spa_buffer_find_meta_data(buf, SPA_META_VideoCrop, sizeof(spa_meta_region)));
        region != nullptr && spa_meta_region_is_valid(region)) {
        crop = QRect(region->region.position.x, region->region.position.y,
                     static_cast<int>(region->region.size.width),
                     static_cast<int>(region->region.size.height))
                   .intersected(QRect(QPoint(0, 0), size_));
    }

    // The cursor, when the buffer says anything about it.
    if (auto* mc = static_cast<spa_meta_cursor*>(
            spa_buffer_find_meta_data(buf, SPA_META_Cursor, sizeof(spa_meta_cursor)));
        mc != nullptr && cursor_) {
        StreamCursor report;
        report.hostTime = now;
        if (spa_meta_cursor_is_valid(mc)) {
            if (mc->bitmap_offset >= sizeof(spa_meta_cursor)) {
                auto* bm = static_cast<spa_meta_bitmap*>(SPA_PTROFF(mc, mc->bitmap_offset, void));
                const int alpha = alphaByte(bm->format);
                if (bm->size.width > 0 && bm->size.height > 0 && bm->size.width <= kMaxCursor &&
                    bm->size.height <= kMaxCursor && bm->offset >= sizeof(spa_meta_bitmap) &&
                    alpha >= 0) {
                    const auto* px = static_cast<const std::uint8_t*>(SPA_PTROFF(bm, bm->offset, void));
                    const int w = static_cast<int>(bm->size.width);
                    const int h = static_cast<int>(bm->size.height);
                    const int stride = bm->stride > 0 ? bm->stride : w * 4;
                    std::vector<bool> opaque(static_cast<std::size_t>(w) * h);
                    for (int y = 0; y < h; ++y) {
                        for (int x = 0; x < w; ++x) {
                            opaque[static_cast<std::size_t>(y) * w + x] =
                                px[static_cast<std::ptrdiff_t>(y) * stride + x * 4 + alpha] != 0;
                        }
                    }
                    hand_ = options_.hands.contains(cursorShapeHash(w, h, opaque));
                } else {
                    hand_ = false; // an empty sprite: no cursor to see
                }
            }
            report.visible = true;
            report.position = QPointF(mc->position.x - crop.x(), mc->position.y - crop.y()) /
                              std::max(options_.pixelScale, 1e-6);
            report.hand = hand_;
        }
        cursor_->add(report);
    }

    const spa_data& d = buf->datas[0];
    auto* header = static_cast<spa_meta_header*>(
        spa_buffer_find_meta_data(buf, SPA_META_Header, sizeof(spa_meta_header)));
    const bool corrupted = header != nullptr && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) != 0;
    if (d.data != nullptr && d.chunk != nullptr && d.chunk->size > 0 && !corrupted && !crop.isEmpty() &&
        format_ != 0) {
        const int srcStride = d.chunk->stride > 0 ? d.chunk->stride : size_.width() * 4;
        const auto* base = static_cast<const std::uint8_t*>(d.data) + d.chunk->offset;
        const std::size_t needed =
            static_cast<std::size_t>(crop.bottom()) * static_cast<std::size_t>(srcStride) +
            static_cast<std::size_t>(crop.right() + 1) * 4;
        if (d.chunk->offset + needed <= d.maxsize) {
            std::shared_ptr<StreamPicture> picture = freeBuffer();
            picture->width = crop.width();
            picture->height = crop.height();
            picture->stride = crop.width() * 4;
            picture->hostTime = now;
            picture->sequence = ++sequence_;
            picture->bgra.resize(static_cast<std::size_t>(picture->stride) * picture->height);
            const bool swap = redFirst(format_);
            for (int y = 0; y < crop.height(); ++y) {
                const std::uint8_t* src =
                    base + static_cast<std::ptrdiff_t>(crop.y() + y) * srcStride + crop.x() * 4;
                std::uint8_t* dst = picture->bgra.data() + static_cast<std::ptrdiff_t>(y) * picture->stride;
                if (!swap) {
                    std::memcpy(dst, src, static_cast<std::size_t>(picture->stride));
                } else {
                    for (int x = 0; x < crop.width(); ++x) {
                        dst[x * 4] = src[x * 4 + 2];
                        dst[x * 4 + 1] = src[x * 4 + 1];
                        dst[x * 4 + 2] = src[x * 4];
                        dst[x * 4 + 3] = 255;
                    }
                }
            }
            received_.fetch_add(1, std::memory_order_relaxed);
            publish(std::move(picture));
        }
    }
    pw_stream_queue_buffer(stream_, newest);
}

void PipeWireStream::onState(int state) {
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
        ended_ = true;
        firstPicture_.notify_all();
    }
}

Result<QSize> PipeWireStream::waitForFirstPicture(int timeoutMs) {
    std::unique_lock lock(mutex_);
    firstPicture_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return latest_ != nullptr || ended_.load(); });
    if (latest_ != nullptr) {
        return QSize(latest_->width, latest_->height);
    }
    if (ended_.load()) {
        return Error{ErrorKind::NotFound, "the shared screen's stream ended before its first picture"};
    }
    return Error{ErrorKind::Io, "the shared screen sent no picture"};
}

std::shared_ptr<const StreamPicture> PipeWireStream::latest() const {
    std::lock_guard lock(mutex_);
    return latest_;
}

} // namespace orvane::wayland
