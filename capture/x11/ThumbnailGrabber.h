#pragma once

#include "capture/CaptureContent.h"

#include <QImage>

#include <memory>
#include <string>

namespace orvane {

namespace x11 {
class Connection;
}

// Reads small pictures of the displays and windows the picker lists, over a
// connection of its own. Each call reads the content's pixels at full size and
// shrinks them to at most kWidth x kHeight, which takes tens of milliseconds for
// a large window: call it off the main thread. One grabber is used by one
// thread at a time; different grabbers may run on different threads at once.
class ThumbnailGrabber {
public:
    static constexpr int kWidth = 160;  // pixels
    static constexpr int kHeight = 100; // pixels

    // Connects to `display` (the DISPLAY variable when empty); null when the
    // server cannot be reached.
    static std::unique_ptr<ThumbnailGrabber> open(const std::string& display);
    ~ThumbnailGrabber();
    ThumbnailGrabber(const ThumbnailGrabber&) = delete;
    ThumbnailGrabber& operator=(const ThumbnailGrabber&) = delete;

    // The picture of `content` (an X11 display or window), scaled down keeping
    // its aspect ratio. Null when it cannot be read: the window was closed or
    // unmapped meanwhile, has another depth, or the connection broke.
    QImage grab(const CaptureContent& content);
    // True once the connection broke; every later grab is null.
    bool broken() const;

private:
    explicit ThumbnailGrabber(std::unique_ptr<x11::Connection> conn);
    std::unique_ptr<x11::Connection> conn_;
};

} // namespace orvane
