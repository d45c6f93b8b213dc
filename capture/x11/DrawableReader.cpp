#include "DrawableReader.h"

#include <sys/ipc.h>
#include <sys/shm.h>

namespace orvane::x11 {

std::unique_ptr<ShmSegment> ShmSegment::attach(xcb_connection_t* conn, std::size_t bytes) {
    const int shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shmid < 0) {
        return nullptr;
    }
    void* mem = shmat(shmid, nullptr, 0);
    // Marked for removal now: the segment lives until the last detach, so
    // neither a crash here nor in the server leaks it.
    shmctl(shmid, IPC_RMID, nullptr);
    if (mem == reinterpret_cast<void*>(-1)) {
        return nullptr;
    }
    std::unique_ptr<ShmSegment> seg(new ShmSegment);
    seg->data_ = static_cast<std::uint8_t*>(mem);
    seg->size_ = bytes;
    seg->conn_ = conn;
    seg->seg_ = xcb_generate_id(conn);
    ErrorTrap trap(conn);
    if (!trap.check(xcb_shm_attach_checked(conn, seg->seg_, static_cast<std::uint32_t>(shmid), 0))) {
        // The server could not attach it (another IPC namespace, a remote
        // display): the caller falls back to GetImage.
        seg->seg_ = 0;
        return nullptr;
    }
    return seg;
}

ShmSegment::~ShmSegment() {
    if (seg_ != 0 && conn_ != nullptr && xcb_connection_has_error(conn_) == 0) {
        xcb_shm_detach(conn_, seg_);
        xcb_flush(conn_);
    }
    if (data_ != nullptr) {
        shmdt(data_);
    }
}

std::optional<DrawableReader> DrawableReader::create(const Connection& conn, bool allowShm) {
    const xcb_setup_t* setup = xcb_get_setup(conn.get());
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        return std::nullopt;
    }
    // Depth 24 and 32 drawables must be stored at 32 bits per pixel.
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0;
         xcb_format_next(&it)) {
        if ((it.data->depth == 24 || it.data->depth == 32) && it.data->bits_per_pixel != 32) {
            return std::nullopt;
        }
    }
    if (conn.screen()->root_depth != 24 && conn.screen()->root_depth != 32) {
        return std::nullopt;
    }
    DrawableReader reader(conn.get());
    if (allowShm) {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn.get(), &xcb_shm_id);
        if (ext != nullptr && ext->present != 0) {
            Reply<xcb_shm_query_version_reply_t> version(xcb_shm_query_version_reply(
                conn.get(), xcb_shm_query_version(conn.get()), nullptr));
            // A first small segment proves the server can attach ours at all.
            if (version) {
                reader.segment_ = ShmSegment::attach(conn.get(), 4096);
                reader.useShm_ = reader.segment_ != nullptr;
            }
        }
    }
    return reader;
}

ReadStatus DrawableReader::failureStatus() const {
    // Any X error on a read (BadDrawable, BadMatch, BadWindow) means the source
    // cannot be read as asked; a broken connection means nothing ever will be.
    return xcb_connection_has_error(conn_) != 0 ? ReadStatus::Broken : ReadStatus::Gone;
}

ReadStatus DrawableReader::read(xcb_drawable_t drawable, int x, int y, int w, int h) {
    if (useShm_) {
        return readShm(drawable, x, y, w, h);
    }
    return readPlain(drawable, x, y, w, h);
}

ReadStatus DrawableReader::readShm(xcb_drawable_t drawable, int x, int y, int w, int h) {
    const std::size_t bytes = static_cast<std::size_t>(w) * h * 4;
    if (!segment_ || segment_->size() < bytes) {
        segment_.reset();
        segment_ = ShmSegment::attach(conn_, bytes);
        if (!segment_) {
            if (xcb_connection_has_error(conn_) != 0) {
                return ReadStatus::Broken;
            }
            // Out of shared memory for a larger frame: carry on without it.
            useShm_ = false;
            return readPlain(drawable, x, y, w, h);
        }
    }
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
        conn_,
        xcb_shm_get_image(conn_, drawable, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                          static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, segment_->id(), 0),
        &error));
    ErrorPtr owned(error);
    if (!reply) {
        return failureStatus();
    }
    pixels_ = segment_->data();
    stride_ = w * 4;
    return ReadStatus::Ok;
}

ReadStatus DrawableReader::readPlain(xcb_drawable_t drawable, int x, int y, int w, int h) {
    xcb_generic_error_t* error = nullptr;
    plain_.reset(xcb_get_image_reply(
        conn_,
        xcb_get_image(conn_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w),
                      static_cast<std::uint16_t>(h), ~0u),
        &error));
    ErrorPtr owned(error);
    if (!plain_) {
        return failureStatus();
    }
    if (xcb_get_image_data_length(plain_.get()) < w * h * 4) {
        return ReadStatus::Gone;
    }
    pixels_ = xcb_get_image_data(plain_.get());
    stride_ = w * 4;
    return ReadStatus::Ok;
}

} // namespace orvane::x11
