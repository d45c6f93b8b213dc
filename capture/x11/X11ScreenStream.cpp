#include "X11ScreenStream.h"

#include "DrawableReader.h"
#include "FrameSource.h"
#include "WindowSource.h"
#include "X11Source.h"

#include "capture/ContentRegion.h"
#include "capture/FrameFitter.h"
#include "capture/FramePacer.h"
#include "capture/HostClock.h"

#include <cmath>

namespace orvane {

using namespace x11;

// Everything the capture thread touches, built on the main thread by start()
// so that set-up failures are reported there, then handed to the thread.
struct X11ScreenStream::Capture {
    Connection conn;
    DrawableReader reader;
    std::unique_ptr<FrameSource> source;
    FrameFitter fitter;
};

namespace {

// A region of a display is grabbed as the display's own rectangle there.
CaptureContent narrowed(CaptureContent content) {
    content.area = recordedArea(content);
    content.region = QRect();
    return content;
}

} // namespace

X11ScreenStream::X11ScreenStream(const CaptureContent& content, Options options)
    : content_(narrowed(content)), options_(std::move(options)) {}

X11ScreenStream::X11ScreenStream(const CaptureContent& content, QSize pixelSize)
    : X11ScreenStream(content, pixelSize, Options{}) {}

X11ScreenStream::X11ScreenStream(const CaptureContent& content, QSize pixelSize, Options options)
    : content_(narrowed(content)), size_(pixelSize), options_(std::move(options)) {}

X11ScreenStream::~X11ScreenStream() {
    stop();
}

Result<StreamFormat> X11ScreenStream::negotiate() {
    StreamFormat format;
    format.pixelSize = QSizeF(content_.area.width() * content_.pixelScale,
                              content_.area.height() * content_.pixelScale);
    format.pixelScale = content_.pixelScale;
    format.area = content_.area;
    return format;
}

Result<void> X11ScreenStream::start(FrameSink sink, EndSink onEnd) {
    using R = Result<void>;
    if (thread_.running() || capture_) {
        return R::failure(ErrorKind::Invalid, "The stream is already running");
    }
    if (size_.width() < 2 || size_.height() < 2) {
        return R::failure(ErrorKind::Invalid, "Invalid capture size");
    }
    auto conn = Connection::open(options_.display);
    if (!conn) {
        return R::failure(ErrorKind::NotFound, "Cannot connect to the X display");
    }
    auto reader = DrawableReader::create(*conn, options_.allowShm);
    if (!reader) {
        return R::failure(ErrorKind::Unsupported, "Only 24- and 32-bit X displays can be recorded");
    }
    const X11Source* chosen = X11Source::of(content_);
    std::unique_ptr<FrameSource> source;
    if (content_.kind == CaptureContent::Kind::Window) {
        auto window = WindowSource::tryCreate(
            *conn, static_cast<xcb_window_t>(chosen != nullptr ? chosen->windowId() : 0));
        if (!window) {
            return window.errorValue();
        }
        source = std::move(window.value());
    } else {
        const QRect area = content_.area.toAlignedRect();
        const xcb_screen_t* screen = conn->screen();
        const QRect rootRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
        if (area.isEmpty() || !rootRect.contains(area)) {
            return R::failure(ErrorKind::NotFound, "The display is not available");
        }
        source = std::make_unique<DisplaySource>(conn->root(), area.x(), area.y(), area.width(),
                                                 area.height());
        // A first grab proves the display can be read at all.
        const Grab probe = source->grab(*reader);
        if (probe.status != Grab::Status::Frame) {
            return R::failure(ErrorKind::Io, "The display could not be read");
        }
    }
    usesShm_ = reader->usesShm();
    capture_.reset(new Capture{std::move(*conn), std::move(*reader), std::move(source),
                               FrameFitter(size_.width(), size_.height())});
    thread_.start(std::move(sink), std::move(onEnd), [this] { run(); });
    return {};
}

void X11ScreenStream::run() {
    FramePacer pacer(options_.maxFps);
    while (!thread_.stopRequested()) {
        const double stamp = hostTime();
        const Grab g = capture_->source->grab(capture_->reader);
        if (g.status == Grab::Status::Ended) {
            thread_.endBy(StreamEnd::SourceGone);
            break;
        }
        if (g.status == Grab::Status::Broken || capture_->conn.broken()) {
            thread_.endBy(StreamEnd::DisplayLost);
            break;
        }
        if (g.status == Grab::Status::Frame) {
            const FrameFitter::Image img =
                capture_->fitter.fit(g.pixels, g.width, g.height, g.stride);
            if (content_.kind == CaptureContent::Kind::Window) {
                notePictureArea(g, capture_->fitter.box());
            }
            thread_.deliver(VideoFrame{img.pixels, size_.width(), size_.height(), img.stride, stamp});
        }
        pacer.wait();
    }
    // Release the X resources on this thread, in order, while the connection is
    // still open.
    capture_->source.reset();
}

void X11ScreenStream::notePictureArea(const Grab& g, const FrameFitter::Box& box) {
    // The window's pixels landed in `box` of the picture: the whole picture
    // shows the root-window rectangle that maps onto it at the same scale.
    if (box.width < 1 || box.height < 1 || g.width < 1 || g.height < 1) {
        return;
    }
    const double sx = static_cast<double>(box.width) / g.width;  // picture px per root px
    const double sy = static_cast<double>(box.height) / g.height;
    const QRectF area(g.rootX - box.x / sx, g.rootY - box.y / sy, size_.width() / sx,
                      size_.height() / sy);
    std::lock_guard lock(areaMutex_);
    // Unchanged from the chosen area: nothing to report.
    pictureArea_ = area == content_.area ? QRectF() : area;
}

QRectF X11ScreenStream::pictureArea() const {
    std::lock_guard lock(areaMutex_);
    return pictureArea_;
}

void X11ScreenStream::stop() {
    thread_.stop();
    capture_.reset();
}

} // namespace orvane
