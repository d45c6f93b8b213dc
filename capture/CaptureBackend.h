#pragma once

#include "CaptureContent.h"
#include "ContentPicker.h"
#include "InputMonitor.h"
#include "PermissionChecks.h"
#include "ScreenStream.h"
#include "VideoWriter.h"

#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace orvane {

// Everything the Recorder needs from the platform, behind one object: X11 today,
// a Wayland portal backend later, test doubles in unit tests. Main thread only.
// The backend owns the picker, the input monitor and the permission checks; the
// streams and writers it creates belong to the caller.
class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;

    virtual ContentPicker& picker() = 0;
    virtual InputMonitor& input() = 0;
    virtual PermissionChecks& permissions() = 0;

    // A stream of `content` scaled into `pixelSize` (even, at least 2 x 2).
    // Nothing when the stream cannot be set up at all; start() reports failures
    // that happen when capture begins.
    virtual std::unique_ptr<ScreenStream> createStream(const CaptureContent& content,
                                                       QSize pixelSize) = 0;
    // A movie writer for `path` (any file there is replaced) of `width` x
    // `height` pixels whose time 0 is `startTime` on the host clock. Nothing when
    // the file or the encoder cannot be set up.
    virtual std::unique_ptr<VideoWriter> createWriter(const QString& path, int width, int height,
                                                      double startTime) = 0;

    // The duration of a finished movie in seconds, read from the file; nothing
    // when it cannot be read or is not a positive finite number. Any thread.
    virtual std::optional<double> movieDuration(const QString& path) = 0;

    // Host clock in seconds (CLOCK_MONOTONIC unless a test says otherwise).
    virtual double now();
    // Folder for the take's files: the Desktop, else Videos, else home; created
    // when missing. Empty only when none can be formed.
    virtual QString outputFolder();
};

} // namespace orvane
