#pragma once

#include "ClickReader.h"
#include "StreamCursorTrack.h"

#include "capture/InputMonitor.h"

#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

namespace orvane::wayland {

// Mouse input on Wayland. The cursor comes from the screen stream's cursor
// metadata (position in stream pixels, the capture space; the hand from the
// cursor's bitmap); while no stream runs, or while the cursor is outside
// what is shared, there is no reading. Clicks come from the kernel's input
// devices (ClickReader): a press carries the kernel's time, and its position
// is the cursor's at that time, interpolated from the stream's reports around
// it. A press while the cursor was outside what is shared is dropped, as a
// click outside the captured area is on X11.
//
// Main thread only; presses are read on the reader's thread and handed over
// queued.
class WaylandInputMonitor final : public InputMonitor {
    Q_OBJECT
public:
    // `rawSources`: descriptors of raw input_event records read as devices
    // besides /dev/input (owned; tests feed clicks through a FIFO).
    WaylandInputMonitor(std::shared_ptr<StreamCursorTrack> cursor, std::vector<int> rawSources,
                        QObject* parent = nullptr);
    ~WaylandInputMonitor() override;

    bool startClicks() override;
    void stopClicks() override;
    std::optional<CursorReading> readCursor() override;

    // Sources being read (devices and raw ones); for tests and diagnostics.
    int openSources() const { return reader_ ? reader_->openSources() : 0; }

private:
    void pressRead(double hostTime);
    void resolvePresses();

    std::shared_ptr<StreamCursorTrack> cursor_;
    std::vector<int> rawSources_;
    std::unique_ptr<ClickReader> reader_;
    std::deque<double> pending_; // press times waiting for the cursor report after them
    QTimer resolver_;
};

} // namespace orvane::wayland
