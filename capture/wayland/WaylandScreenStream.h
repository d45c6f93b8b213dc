#pragma once

// Internal to the Wayland backend: the screen stream over a portal session.

#include "PipeWireStream.h"
#include "PortalSession.h"
#include "StreamCursorTrack.h"

#include "capture/CaptureThread.h"
#include "capture/ScreenStream.h"

#include <atomic>
#include <memory>
#include <thread>

namespace orvane::wayland {

// A ScreenStream over the portal's PipeWire node. Compositors send a picture
// only when something changed, so a pacing thread of its own hands the sink
// the newest picture 60 times a second on the take's clock, as the X11
// stream does; the PipeWire thread never waits for it. Pictures are cropped
// to what is shared and fitted into the output size (a window resized
// mid-take is letterboxed). The stream ends by itself when the compositor
// ends it: SharingRevoked when the desktop closed the portal session (the
// user stopped sharing), SourceGone otherwise (a closed window).
//
// Created and controlled on the main thread; the sinks run on the pacing
// thread.
class WaylandScreenStream final : public ScreenStream {
public:
    // `region`: only this rectangle of a shared monitor's pictures, in its
    // pixels (empty: all of it).
    WaylandScreenStream(std::shared_ptr<PortalSession> session,
                        std::shared_ptr<StreamCursorTrack> cursor, HandShapeSet hands,
                        QRect region = {});
    ~WaylandScreenStream() override;

    // Connects to the node and waits (up to 5 s) for the first picture, whose
    // size is the stream's pixel size.
    Result<StreamFormat> negotiate() override;
    void setOutputSize(QSize pixelSize) override { size_ = pixelSize; }
    Result<void> start(FrameSink sink, EndSink onEnd = {}) override;
    void stop() override;
    StreamEnd end() const override { return thread_.end(); }

    std::int64_t framesDelivered() const { return thread_.delivered(); }
    std::int64_t picturesReceived() const { return pipeWire_ ? pipeWire_->picturesReceived() : 0; }

private:
    void run();
    StreamEnd endReason() const;

    std::shared_ptr<PortalSession> session_;
    std::shared_ptr<StreamCursorTrack> cursor_;
    HandShapeSet hands_;
    std::unique_ptr<PipeWireStream> pipeWire_;
    QSize size_;
    QRect region_;
    CaptureThread thread_;
};

} // namespace orvane::wayland
