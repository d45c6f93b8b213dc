#include "ThumbnailGrabber.h"

#include "X11Source.h"
#include "XcbHandles.h"

namespace orvane {

using namespace x11;

namespace {

// A picture of a rectangle of `drawable`, shrunk to thumbnail size; null when
// it cannot be read (a closed or unmapped window, another depth).
QImage thumbnailOf(xcb_connection_t* c, xcb_drawable_t drawable, int x, int y, int w, int h) {
    if (w < 1 || h < 1 || w > 0xFFFF || h > 0xFFFF) {
        return {};
    }
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w),
                      static_cast<std::uint16_t>(h), ~0U),
        &error));
    ErrorPtr owned(error);
    if (!image || (image->depth != 24 && image->depth != 32) ||
        xcb_get_image_data_length(image.get()) < static_cast<qsizetype>(w) * h * 4) {
        return {};
    }
    const QImage full(xcb_get_image_data(image.get()), w, h, w * 4, QImage::Format_RGB32);
    // scaled() makes a copy, so the picture outlives the reply. A large picture
    // is first thinned out to four times the thumbnail, which a smooth scale
    // then averages: the same look for a fraction of the work.
    constexpr int kStep = 4;
    const QImage thinned =
        w > kStep * ThumbnailGrabber::kWidth || h > kStep * ThumbnailGrabber::kHeight
            ? full.scaled(kStep * ThumbnailGrabber::kWidth, kStep * ThumbnailGrabber::kHeight,
                          Qt::KeepAspectRatio, Qt::FastTransformation)
            : full;
    return thinned.scaled(ThumbnailGrabber::kWidth, ThumbnailGrabber::kHeight,
                          Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

std::unique_ptr<ThumbnailGrabber> ThumbnailGrabber::open(const std::string& display) {
    auto conn = Connection::open(display);
    if (!conn) {
        return nullptr;
    }
    return std::unique_ptr<ThumbnailGrabber>(
        new ThumbnailGrabber(std::make_unique<Connection>(std::move(*conn))));
}

ThumbnailGrabber::ThumbnailGrabber(std::unique_ptr<Connection> conn) : conn_(std::move(conn)) {}

ThumbnailGrabber::~ThumbnailGrabber() = default;

bool ThumbnailGrabber::broken() const {
    return conn_->broken();
}

QImage ThumbnailGrabber::grab(const CaptureContent& content) {
    const X11Source* source = X11Source::of(content);
    if (source == nullptr || broken()) {
        return {};
    }
    xcb_connection_t* c = conn_->get();
    if (!source->isWindow()) {
        const QRect a = content.area.toRect();
        return thumbnailOf(c, conn_->root(), a.x(), a.y(), a.width(), a.height());
    }
    // The window's size now: it may have been resized, or closed, since it was listed.
    const xcb_window_t w = source->windowId();
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, w), &error));
    ErrorPtr owned(error);
    if (!geometry) {
        return {};
    }
    return thumbnailOf(c, w, 0, 0, geometry->width, geometry->height);
}

} // namespace orvane
