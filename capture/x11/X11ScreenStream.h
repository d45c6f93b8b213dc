#pragma once

#include "capture/CaptureContent.h"
#include "capture/ScreenStream.h"

#include <QSize>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace orvane {

// How an X11 stream ended or is running, for diagnostics and tests.
enum class StreamEnd {
    Running,     // still capturing (or not started)
    Stopped,     // stop() was called
    SourceGone,  // the captured window was closed
    DisplayLost, // the connection to the X server broke
};

// Screen capture on X11. A display is a rectangle of the root window read with
// MIT-SHM (plain GetImage where the server refuses shared memory); a window is
// read from its XComposite backing pixmap, so covered parts still record. The
// capture thread has its own X connection, paces itself against absolute
// deadlines at up to 60 frames per second (a late frame moves the next
// deadline, never bunches frames), stamps each frame with hostTime() just
// before asking the server for it, and delivers BGRA frames of exactly the
// configured size (scaled, or letterboxed when a window changed shape).
// X11 images never contain the pointer.
//
// Created and controlled on the main thread; the sink runs on the capture
// thread.
class X11ScreenStream final : public ScreenStream {
public:
    struct Options {
        std::string display;   // X display name; empty: the DISPLAY variable
        bool allowShm = true;  // false: always plain GetImage
        double maxFps = 60;    // frames per second, at most 60
    };

    X11ScreenStream(const CaptureContent& content, QSize pixelSize);
    X11ScreenStream(const CaptureContent& content, QSize pixelSize, Options options);
    ~X11ScreenStream() override; // stops

    std::optional<QString> start(FrameSink sink) override;
    void stop() override;

    // Any thread.
    StreamEnd end() const { return end_.load(); }
    std::int64_t framesDelivered() const { return delivered_.load(); }
    // Whether grabs go through shared memory (valid after a successful start).
    bool usesShm() const { return usesShm_.load(); }

    struct Capture;

private:
    void run();

    CaptureContent content_;
    QSize size_;
    Options options_;
    FrameSink sink_;
    std::unique_ptr<Capture> capture_; // owned by the capture thread while it runs
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<StreamEnd> end_{StreamEnd::Running};
    std::atomic<std::int64_t> delivered_{0};
    std::atomic<bool> usesShm_{false};
};

} // namespace orvane
