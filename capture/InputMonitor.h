#pragma once

#include <QObject>
#include <QPointF>

#include <optional>

namespace orvane {

// The cursor as read at one instant.
struct CursorReading {
    QPointF position;     // capture coordinate space
    bool pointer = false; // the pointing-hand cursor is showing
};

// Global mouse input: left and right button presses anywhere on the desktop
// (whatever window has focus or a grab) and the current cursor.
//
// Contract: created, controlled and destroyed on the main thread. `clicked`
// is emitted on the main thread; its time is the host clock (hostTime()) at
// which the press was read where it entered the program (the event, not the
// signal), so a busy main thread does not move it.
class InputMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Required. Starts reporting presses. False when input cannot be observed
    // (the caller records on without clicks).
    virtual bool startClicks() = 0;
    // Required. Stops reporting presses; idempotent.
    virtual void stopClicks() = 0;
    // Required. The cursor now; nothing when it cannot be read (that sample is
    // skipped). Called 60 times a second while a take records.
    virtual std::optional<CursorReading> readCursor() = 0;

signals:
    // A left or right press at `position` (capture coordinate space) at host
    // time `hostTime` (seconds).
    void clicked(QPointF position, double hostTime);
};

} // namespace orvane
