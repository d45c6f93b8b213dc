#pragma once

#include "media/SoundTracks.h"
#include "timeline/Result.h"

#include <QString>

#include <memory>
#include <vector>

namespace orvane {

// Receives a sound source's samples. Called on the source's own thread, never
// concurrently for one source, never after SoundSource::stop() returned. It
// must not block for long (the server keeps only a few hundred milliseconds).
class SoundSink {
public:
    virtual ~SoundSink() = default;

    // `frames` frames of kSoundChannels interleaved float samples
    // (kSoundRate), the first of which was captured at `hostTime` (host
    // seconds, the take's clock: hostTime()). Blocks follow each other without
    // a gap: hostTime of the next block is hostTime + frames / kSoundRate, up
    // to rounding. A hole the source could not fill (an overrun of the
    // server's buffer) arrives as silence, so the timeline never stretches.
    virtual void soundArrived(const float* samples, int frames, double hostTime) = 0;
    // The source stopped by itself (its device disappeared, the server went
    // away) and will deliver nothing more; `why` is a sentence for the user.
    // Called at most once, on the source's thread.
    virtual void soundEnded(const Error& why) = 0;
};

// One sound source of a take (the microphone, or the desktop's sound), captured
// on a thread of its own.
//
// Contract: made by SoundDevices::open() on the main thread; start() and
// stop() on the main thread. Between them the sink is called on the source's
// thread. Timestamps are built from the count of frames delivered, anchored on
// the capture time of the first buffer (corrected for the latency the server
// reports) on the take's clock; they never follow the arrival times of later
// buffers, so sound is never stretched.
class SoundSource {
public:
    virtual ~SoundSource() = default; // stops first when still running
    SoundSource() = default;
    SoundSource(const SoundSource&) = delete;
    SoundSource& operator=(const SoundSource&) = delete;

    virtual SoundKind kind() const = 0;
    // The device's name for the user, e.g. "Built-in Audio Analog Stereo".
    virtual QString description() const = 0;
    // Starts delivering to `sink` (not owned; must outlive stop()). Fails
    // when the stream cannot be set up; nothing is delivered then.
    virtual Result<void> start(SoundSink* sink) = 0;
    // Stops and waits until the sink will not be called again. Idempotent.
    virtual void stop() = 0;
    // The loudest sample (0...1, absolute) since the previous call, for a level
    // meter. Any thread.
    virtual float takePeak() = 0;
};

// An input device the user can pick for the microphone.
struct SoundDevice {
    QString id;          // the server's name for it, passed back to open()
    QString description; // for the user
    bool isDefault = false;
};

// The sound server: its input devices, and sources opened on it.
//
// Contract: main thread. An implementation connects when asked and answers
// within a few seconds whether or not a server is there.
class SoundDevices {
public:
    virtual ~SoundDevices() = default;

    // The input devices that can be a microphone (monitors of outputs are not
    // listed). Empty when no server answers; `error()` then says why.
    virtual std::vector<SoundDevice> inputs() = 0;
    // Opens a source: for the microphone `device` names an input from
    // inputs(), empty for the server's default input; the desktop's sound
    // ignores it and takes the monitor of the default output. Fails with a
    // sentence for the user when no server answers or the device is gone.
    virtual Result<std::unique_ptr<SoundSource>> open(SoundKind kind, const QString& device) = 0;
};

} // namespace orvane
