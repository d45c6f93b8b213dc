#pragma once

// Internal to the X11 backend: reads rectangles of a drawable as 32-bit BGRA.

#include "XcbHandles.h"

#include <xcb/shm.h>

#include <cstdint>
#include <optional>

namespace orvane::x11 {

// A System V shared-memory segment attached to this process and to the X
// server. Both attachments are undone on destruction; the segment is marked for
// removal at once, so it disappears even if the process dies.
class ShmSegment {
public:
    // Nothing when the segment cannot be made or the server refuses to attach
    // it (a server in another IPC namespace, a remote display).
    static std::unique_ptr<ShmSegment> attach(xcb_connection_t* conn, std::size_t bytes);
    ~ShmSegment();
    ShmSegment(const ShmSegment&) = delete;
    ShmSegment& operator=(const ShmSegment&) = delete;

    xcb_shm_seg_t id() const { return seg_; }
    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    ShmSegment() = default;
    xcb_connection_t* conn_ = nullptr;
    xcb_shm_seg_t seg_ = 0;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

enum class ReadStatus {
    Ok,
    Gone,   // the drawable no longer exists or cannot be read (window unmapped, closed)
    Broken, // the connection to the server is lost
};

// Grabs a rectangle of a window or pixmap into memory: through MIT-SHM when the
// server accepts a shared segment (no copy through the socket), else by plain
// GetImage. Capture thread only.
class DrawableReader {
public:
    // Nothing when the server's pixel layout is not 32-bit little-endian BGRX
    // (a 16-bit or big-endian display). `allowShm` false forces GetImage.
    static std::optional<DrawableReader> create(const Connection& conn, bool allowShm = true);

    // Reads `w` x `h` pixels at (x, y) of `drawable`. On Ok, pixels() holds
    // them (stride() bytes per row) until the next read.
    ReadStatus read(xcb_drawable_t drawable, int x, int y, int w, int h);
    const std::uint8_t* pixels() const { return pixels_; }
    int stride() const { return stride_; }
    bool usesShm() const { return useShm_; }

private:
    explicit DrawableReader(xcb_connection_t* conn) : conn_(conn) {}
    ReadStatus readShm(xcb_drawable_t drawable, int x, int y, int w, int h);
    ReadStatus readPlain(xcb_drawable_t drawable, int x, int y, int w, int h);
    ReadStatus failureStatus() const;

    xcb_connection_t* conn_;
    bool useShm_ = false;
    std::shared_ptr<ShmSegment> segment_; // shared so the reader stays movable
    Reply<xcb_get_image_reply_t> plain_;
    const std::uint8_t* pixels_ = nullptr;
    int stride_ = 0;
};

} // namespace orvane::x11
