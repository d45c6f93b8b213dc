#pragma once

#include "CaptureContent.h"
#include "ContentPicker.h"
#include "GlobalShortcut.h"
#include "InputMonitor.h"
#include "PermissionChecks.h"
#include "ScreenStream.h"

#include "timeline/Result.h"

#include <QString>

#include <memory>

namespace orvane {

// Everything the TakeRecorder needs from the platform, behind one object: one per
// kind of desktop session (X11, Wayland), test doubles in unit tests. Made by
// CaptureBackendFactory; nothing above capture/ knows which one runs.
//
// Contract: created, used and destroyed on the main thread. The backend owns
// its picker, input monitor and permission checks, which live as long as it
// does; the streams it creates belong to the caller and must be stopped and
// destroyed before the backend.
class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;
    CaptureBackend() = default;
    CaptureBackend(const CaptureBackend&) = delete;
    CaptureBackend& operator=(const CaptureBackend&) = delete;

    // Required. The backend's name as ORVANE_CAPTURE and --backend spell it.
    virtual const char* name() const = 0;

    // Required. The parts that live as long as the backend.
    virtual ContentPicker& picker() = 0;
    virtual InputMonitor& input() = 0;
    virtual PermissionChecks& permissions() = 0;

    // Required. A stream of `content`, which the backend's own picker made.
    // Fails when `content` is not this backend's or the stream cannot be set
    // up at all; failures when capture begins come from the stream's start().
    virtual Result<std::unique_ptr<ScreenStream>> createStream(const CaptureContent& content) = 0;

    // Optional. Host clock in seconds: hostTime() unless a test says otherwise.
    virtual double now();
    // Optional. One or two sentences, for the empty state before a take, on
    // what recording on this desktop cannot do; empty when it can do it all.
    virtual QString captureNote() { return {}; }
    // The desktop's way to reach Orvane from anywhere with a key combination
    // (owned by the backend); null where this desktop offers none to Orvane.
    virtual GlobalShortcut* globalShortcut() { return nullptr; }

    // The folder for the take's files: the one set with setOutputFolder(), or
    // else the Desktop, else Videos, else home, created when missing. Empty
    // only when none can be formed.
    QString outputFolder() const;
    // A folder chosen by the user or a command line, instead of the default;
    // empty goes back to the default.
    void setOutputFolder(const QString& folder) { outputFolder_ = folder; }

private:
    QString outputFolder_;
};

} // namespace orvane
