#pragma once

#include "VideoFrame.h"

#include "timeline/Result.h"

#include <QSize>
#include <QRectF>
#include <QSizeF>

#include <functional>

namespace orvane {

// How a stream ended, or that it still runs.
enum class StreamEnd {
    Running,        // still capturing (or not started)
    Stopped,        // stop() was called
    SourceGone,     // the captured window was closed, the display unplugged
    DisplayLost,    // the connection to the display server broke
    SharingRevoked, // the user stopped sharing from the desktop's own controls
};

// What a stream's source delivers, known once the stream has negotiated with
// it: the picture's size in pixels, the pixels per unit of the capture
// coordinate space, and the picture's area in that space (what clicks and
// cursor positions are normalised against).
struct StreamFormat {
    QSizeF pixelSize; // may be fractional where the area is
    double pixelScale = 1;
    QRectF area;
    // The pictures show the cursor themselves (a desktop that cannot send it
    // apart); the take then has no cursor track and draws no cursor.
    bool cursorInPicture = false;
};

// Receives frames on the capture thread. Must not block for long: a slow sink
// costs frames.
using FrameSink = std::function<void(const VideoFrame&)>;
// Told once, on the capture thread, that the stream ended by itself (never
// for stop()). Must not call back into the stream.
using EndSink = std::function<void(StreamEnd reason)>;

// A running screen capture of one display or window, at most 60 frames per
// second, without the cursor in the pixels.
//
// Contract, in the order of the calls: negotiate(), setOutputSize(), start(),
// stop(). All four are called on the main thread; frames and the end arrive on
// the stream's own capture thread. When the source goes away the stream ends
// by itself: it delivers nothing more, end() says why and the end sink is
// told; the owner then stops it as usual.
class ScreenStream {
public:
    virtual ~ScreenStream() = default;
    ScreenStream() = default;
    ScreenStream(const ScreenStream&) = delete;
    ScreenStream& operator=(const ScreenStream&) = delete;

    // Required. Finds out what the source delivers before anything is written
    // (X11: at once; a portal stream: after its format is negotiated, which
    // may take a moment). Fails when the source cannot be reached at all.
    virtual Result<StreamFormat> negotiate() = 0;
    // Required. The size (even, at least 2 x 2) of the frames handed to the
    // sink: the source's pictures are scaled to it, or fitted and centred on
    // black when their shape changes mid-take.
    virtual void setOutputSize(QSize pixelSize) = 0;
    // Required. Starts capturing. On failure no frame is ever delivered and
    // the message is one user-readable line.
    virtual Result<void> start(FrameSink sink, EndSink onEnd = {}) = 0;
    // Required. Stops capturing and joins the capture thread: when it returns,
    // no sink call is running or will run. Idempotent; safe after the stream
    // ended by itself.
    virtual void stop() = 0;
    // Required. How the stream ended, or Running. Any thread.
    virtual StreamEnd end() const = 0;
    // The area of the capture coordinate space that the whole output picture
    // showed at the latest frame: it follows a window that was moved or
    // resized mid-take (and the black bars a resize fits it into), so clicks
    // and the cursor are normalised against what the picture shows at that
    // moment. Empty while it is the negotiated area. Any thread.
    virtual QRectF pictureArea() const { return {}; }
};

} // namespace orvane
