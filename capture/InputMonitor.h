#pragma once

#include <QObject>
#include <QPointF>

#include <optional>

namespace orvane {

// The cursor as read at one instant.
struct CursorReading {
    QPointF position;     // capture coordinate space (X11: root-window pixels)
    bool pointer = false; // the pointing-hand cursor is showing
};

// Global mouse input: left and right button presses anywhere on the desktop
// (whatever window has focus or a grab) and the current cursor. Main thread only;
// `clicked` is emitted on the main thread with the position read at the press.
class InputMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts reporting presses. False when input cannot be observed (the caller
    // records on without clicks).
    virtual bool startClicks() = 0;
    virtual void stopClicks() = 0;
    // The cursor now; nothing when it cannot be read (that sample is skipped).
    virtual std::optional<CursorReading> readCursor() = 0;

signals:
    void clicked(QPointF position);
};

} // namespace orvane
