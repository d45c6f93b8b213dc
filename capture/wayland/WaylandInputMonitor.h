#pragma once

#include "StreamCursorTrack.h"

#include "capture/InputMonitor.h"

#include <memory>

namespace orvane::wayland {

// Mouse input on Wayland. The cursor comes from the screen stream's cursor
// metadata (position in stream pixels, the capture space; the hand from the
// cursor's bitmap); while no stream runs, or while the cursor is outside
// what is shared, there is no reading. Clicks need the input devices, which
// this monitor does not read: startClicks() reports that clicks cannot be
// observed. Main thread only.
class WaylandInputMonitor final : public InputMonitor {
    Q_OBJECT
public:
    explicit WaylandInputMonitor(std::shared_ptr<StreamCursorTrack> cursor, QObject* parent = nullptr);

    bool startClicks() override;
    void stopClicks() override;
    std::optional<CursorReading> readCursor() override;

private:
    std::shared_ptr<StreamCursorTrack> cursor_;
};

} // namespace orvane::wayland
