#pragma once

#include "VideoFrame.h"

#include <QString>

#include <functional>
#include <optional>

namespace orvane {

// Receives frames on the capture thread. Must not block for long: a slow sink
// costs frames.
using FrameSink = std::function<void(const VideoFrame&)>;

// A running screen capture of one display or window, at the pixel size it was
// created with, at most 60 frames per second, without the cursor in the pixels.
// Created and controlled on the main thread; frames arrive on its own capture
// thread. When the source goes away (the window closes, the display connection
// is lost) the stream ends by itself and delivers nothing more; the take goes on
// until stop().
class ScreenStream {
public:
    virtual ~ScreenStream() = default;
    ScreenStream() = default;
    ScreenStream(const ScreenStream&) = delete;
    ScreenStream& operator=(const ScreenStream&) = delete;

    // Starts capturing. On failure returns a one-line, user-readable description
    // and no frame is ever delivered.
    virtual std::optional<QString> start(FrameSink sink) = 0;
    // Stops capturing and joins the capture thread: when it returns, no sink call
    // is running or will run. Idempotent; safe after the stream ended by itself.
    virtual void stop() = 0;
};

} // namespace orvane
