#include "X11ScreenStream.h"

#include "DrawableReader.h"
#include "FrameFitter.h"
#include "FrameSource.h"
#include "WindowSource.h"

#include "capture/HostClock.h"

#include <algorithm>
#include <cmath>
#include <ctime>

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

constexpr std::int64_t kNanos = 1'000'000'000;

std::int64_t monotonicNanos() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * kNanos + ts.tv_nsec;
}

void sleepUntilNanos(std::int64_t deadline) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(deadline / kNanos);
    ts.tv_nsec = static_cast<long>(deadline % kNanos);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

} // namespace

X11ScreenStream::X11ScreenStream(const CaptureContent& content, QSize pixelSize)
    : X11ScreenStream(content, pixelSize, Options{}) {}

X11ScreenStream::X11ScreenStream(const CaptureContent& content, QSize pixelSize, Options options)
    : content_(content), size_(pixelSize), options_(std::move(options)) {}

X11ScreenStream::~X11ScreenStream() {
    stop();
}

std::optional<QString> X11ScreenStream::start(FrameSink sink) {
    if (thread_.joinable() || capture_) {
        return QStringLiteral("The stream is already running");
    }
    if (size_.width() < 2 || size_.height() < 2) {
        return QStringLiteral("Invalid capture size");
    }
    auto conn = Connection::open(options_.display);
    if (!conn) {
        return QStringLiteral("Cannot connect to the X display");
    }
    auto reader = DrawableReader::create(*conn, options_.allowShm);
    if (!reader) {
        return QStringLiteral("Only 24- and 32-bit X displays can be recorded");
    }
    std::unique_ptr<FrameSource> source;
    if (content_.kind == CaptureContent::Kind::Window) {
        QString error;
        source = WindowSource::create(*conn, static_cast<xcb_window_t>(content_.sourceId), &error);
        if (!source) {
            return error;
        }
    } else {
        const QRect area = content_.area.toAlignedRect();
        const xcb_screen_t* screen = conn->screen();
        const QRect rootRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
        if (area.isEmpty() || !rootRect.contains(area)) {
            return QStringLiteral("The display is not available");
        }
        source = std::make_unique<DisplaySource>(conn->root(), area.x(), area.y(), area.width(),
                                                 area.height());
        // A first grab proves the display can be read at all.
        const Grab probe = source->grab(*reader);
        if (probe.status != Grab::Status::Frame) {
            return QStringLiteral("The display could not be read");
        }
    }
    usesShm_ = reader->usesShm();
    capture_.reset(new Capture{std::move(*conn), std::move(*reader), std::move(source),
                               FrameFitter(size_.width(), size_.height())});
    sink_ = std::move(sink);
    stopRequested_ = false;
    end_ = StreamEnd::Running;
    thread_ = std::thread([this] { run(); });
    return std::nullopt;
}

void X11ScreenStream::run() {
    const double fps = std::clamp(options_.maxFps, 1.0, 60.0);
    const auto period = static_cast<std::int64_t>(std::llround(kNanos / fps));
    std::int64_t deadline = monotonicNanos();
    while (!stopRequested_.load(std::memory_order_relaxed)) {
        const double stamp = hostTime();
        const Grab g = capture_->source->grab(capture_->reader);
        if (g.status == Grab::Status::Ended) {
            end_ = StreamEnd::SourceGone;
            break;
        }
        if (g.status == Grab::Status::Broken || capture_->conn.broken()) {
            end_ = StreamEnd::DisplayLost;
            break;
        }
        if (g.status == Grab::Status::Frame) {
            const FrameFitter::Image img =
                capture_->fitter.fit(g.pixels, g.width, g.height, g.stride);
            sink_(VideoFrame{img.pixels, size_.width(), size_.height(), img.stride, stamp});
            delivered_.fetch_add(1, std::memory_order_relaxed);
        }
        deadline += period;
        const std::int64_t now = monotonicNanos();
        if (deadline < now - period) {
            // More than a frame behind (a slow grab, a busy machine): start a
            // fresh schedule from now instead of firing the missed ticks back
            // to back.
            deadline = now;
        }
        sleepUntilNanos(deadline);
    }
    // Release the X resources on this thread, in order, while the connection is
    // still open.
    capture_->source.reset();
}

void X11ScreenStream::stop() {
    stopRequested_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (end_.load() == StreamEnd::Running && capture_) {
        end_ = StreamEnd::Stopped;
    }
    capture_.reset();
}

} // namespace orvane
