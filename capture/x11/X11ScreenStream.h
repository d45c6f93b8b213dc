#pragma once

#include "capture/CaptureContent.h"
#include "capture/CaptureThread.h"
#include "capture/FrameFitter.h"
#include "capture/ScreenStream.h"

#include <QRectF>
#include <QSize>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace orvane {

namespace x11 {
struct Grab;
}

// Screen capture on X11. A display is a rectangle of the root window read with
// MIT-SHM (plain GetImage where the server refuses shared memory); a window is
// read from its XComposite backing pixmap, so covered parts still record. The
// capture thread has its own X connection, paces itself against absolute
// deadlines at up to 60 frames per second (a late frame moves the next
// deadline, never bunches frames), stamps each frame with hostTime() just
// before asking the server for it, and delivers BGRA frames of exactly the
// output size (scaled, or letterboxed when a window changed shape).
// X11 images never contain the pointer. A closed window ends the stream with
// SourceGone, a broken connection with DisplayLost.
//
// Created and controlled on the main thread; the sinks run on the capture
// thread.
class X11ScreenStream final : public ScreenStream {
public:
    struct Options {
        std::string display;   // X display name; empty: the DISPLAY variable
        bool allowShm = true;  // false: always plain GetImage
        double maxFps = 60;    // frames per second, at most 60
    };

    // `content` must carry an X11Source. The output size is set later
    // (setOutputSize), or given here.
    X11ScreenStream(const CaptureContent& content, Options options);
    X11ScreenStream(const CaptureContent& content, QSize pixelSize);
    X11ScreenStream(const CaptureContent& content, QSize pixelSize, Options options);
    ~X11ScreenStream() override; // stops

    // The content's area in pixels: nothing to negotiate on X11.
    Result<StreamFormat> negotiate() override;
    void setOutputSize(QSize pixelSize) override { size_ = pixelSize; }
    Result<void> start(FrameSink sink, EndSink onEnd = {}) override;
    void stop() override;
    StreamEnd end() const override { return thread_.end(); }
    QRectF pictureArea() const override;

    // Any thread.
    std::int64_t framesDelivered() const { return thread_.delivered(); }
    // Whether grabs go through shared memory (valid after a successful start).
    bool usesShm() const { return usesShm_.load(); }

    struct Capture;

private:
    void run();
    void notePictureArea(const x11::Grab& g, const FrameFitter::Box& box);

    CaptureContent content_;
    QSize size_;
    Options options_;
    std::unique_ptr<Capture> capture_; // owned by the capture thread while it runs
    CaptureThread thread_;
    std::atomic<bool> usesShm_{false};
    mutable std::mutex areaMutex_; // guards pictureArea_
    QRectF pictureArea_;           // set by the capture thread when a window moves
};

} // namespace orvane
