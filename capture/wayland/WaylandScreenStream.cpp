#include "WaylandScreenStream.h"

#include "capture/ContentRegion.h"
#include "capture/FrameFitter.h"
#include "capture/FramePacer.h"
#include "capture/HostClock.h"

#include <fcntl.h>

#include <chrono>
#include <cmath>

namespace orvane::wayland {

namespace {
constexpr int kFirstPictureTimeoutMs = 5000;
constexpr double kFps = 60;
} // namespace

WaylandScreenStream::WaylandScreenStream(std::shared_ptr<PortalSession> session,
                                         std::shared_ptr<StreamCursorTrack> cursor,
                                         HandShapeSet hands, QRect region)
    : session_(std::move(session)), cursor_(std::move(cursor)), hands_(std::move(hands)),
      region_(region) {}

WaylandScreenStream::~WaylandScreenStream() {
    stop();
    pipeWire_.reset();
}

Result<StreamFormat> WaylandScreenStream::negotiate() {
    if (!session_ || session_->pipeWireFd < 0) {
        return Error{ErrorKind::Invalid, "the screen cast session has no PipeWire connection"};
    }
    if (!pipeWire_) {
        // PipeWire takes the descriptor it is given; the session keeps its own.
        const int fd = fcntl(session_->pipeWireFd, F_DUPFD_CLOEXEC, 3);
        if (fd < 0) {
            return Error{ErrorKind::Io, "cannot use the screen cast's PipeWire connection"};
        }
        PipeWireStream::Options options;
        options.hands = hands_;
        // Cursor positions stay in stream pixels, the capture space.
        options.pixelScale = 1;
        cursor_->clear();
        auto created = PipeWireStream::tryCreate(fd, session_->node, cursor_, options);
        if (!created) {
            return created.errorValue();
        }
        pipeWire_ = std::move(created.value());
    }
    auto first = pipeWire_->waitForFirstPicture(kFirstPictureTimeoutMs);
    if (!first) {
        return first.errorValue();
    }
    const QSize pixels = first.value();
    StreamFormat format;
    format.pixelSize = QSizeF(pixels);
    // The capture space is the stream's own pixels: cursor positions and the
    // area agree whatever the desktop's scale. The portal's logical size only
    // tells how many pixels make one logical pixel.
    format.area = QRectF(0, 0, pixels.width(), pixels.height());
    format.cursorInPicture = !session_->cursorAsMetadata;
    if (!region_.isEmpty()) {
        if (const QString why = regionProblem(region_, pixels); !why.isEmpty()) {
            return Error{ErrorKind::Invalid, why.toStdString()};
        }
        // Only the region is recorded; the cursor, in stream pixels, is
        // normalised against it.
        format.pixelSize = QSizeF(region_.size());
        format.area = QRectF(region_);
    }
    const QSize logical = session_->logicalSize;
    if (logical.width() > 0 && session_->sourceType == PortalSession::SourceType::Monitor) {
        const double scale = static_cast<double>(pixels.width()) / logical.width();
        format.pixelScale = std::isfinite(scale) && scale > 0 ? scale : 1.0;
    }
    return format;
}

Result<void> WaylandScreenStream::start(FrameSink sink, EndSink onEnd) {
    if (thread_.running()) {
        return Result<void>::failure(ErrorKind::Invalid, "The stream is already running");
    }
    if (!pipeWire_) {
        if (auto negotiated = negotiate(); !negotiated) {
            return negotiated.errorValue();
        }
    }
    if (size_.width() < 2 || size_.height() < 2) {
        return Result<void>::failure(ErrorKind::Invalid, "Invalid capture size");
    }
    thread_.start(std::move(sink), std::move(onEnd), [this] { run(); });
    return {};
}

StreamEnd WaylandScreenStream::endReason() const {
    // The desktop's Closed signal reaches the main thread a moment after
    // PipeWire ends the stream; wait a little for it before deciding.
    for (int i = 0; i < 30 && !session_->closedByDesktop(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return session_->closedByDesktop() ? StreamEnd::SharingRevoked : StreamEnd::SourceGone;
}

void WaylandScreenStream::run() {
    FrameFitter fitter(size_.width(), size_.height());
    FramePacer pacer(kFps);
    std::uint64_t previous = 0; // the sequence of the picture last handed on
    while (!thread_.stopRequested()) {
        if (pipeWire_->ended() || session_->closedByDesktop()) {
            thread_.endBy(endReason());
            break;
        }
        // The newest picture stands for this tick, stamped now: a still
        // screen sends nothing, and the movie still needs its 60 frames.
        const double stamp = hostTime();
        if (std::shared_ptr<const StreamPicture> picture = pipeWire_->latest()) {
            const std::uint8_t* pixels = picture->bgra.data();
            int width = picture->width;
            int height = picture->height;
            // A region of the monitor, while the pictures still hold it (a
            // monitor whose mode changed mid-take is fitted whole).
            if (!region_.isEmpty() && region_.right() < width && region_.bottom() < height) {
                pixels += static_cast<std::ptrdiff_t>(region_.y()) * picture->stride +
                          static_cast<std::ptrdiff_t>(region_.x()) * 4;
                width = region_.width();
                height = region_.height();
            }
            const FrameFitter::Image img = fitter.fit(pixels, width, height, picture->stride);
            // Buffers are reused, so the picture's number (not its address)
            // tells that these are the same pixels as last time.
            const bool repeat = picture->sequence == previous;
            thread_.deliver(
                VideoFrame{img.pixels, size_.width(), size_.height(), img.stride, stamp, repeat});
            previous = picture->sequence;
        }
        pacer.wait();
    }
}

void WaylandScreenStream::stop() {
    thread_.stop();
}

} // namespace orvane::wayland
