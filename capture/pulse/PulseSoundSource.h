#pragma once

// Internal to the pulse backend: one sound source of a take.

#include "PulseLoop.h"
#include "capture/SoundClock.h"
#include "capture/SoundSource.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

struct pa_stream;

namespace orvane::pulse {

// A record stream on a loop (thread) of its own: float32 stereo at kSoundRate
// (the server converts), fragments of about 10 ms, stamped through a
// SoundClock. The stream may not move to another device: when its device goes
// away (unplugged, module unloaded) or the server dies, the stream fails and
// the sink hears soundEnded() once.
//
// Threads: tryCreate, start, stop and the destructor on the main thread; the
// sink is called on the loop's thread, under the loop's lock; takePeak on any.
class PulseSoundSource final : public SoundSource {
public:
    // `source` is the server's name of the source to record (an input, or an
    // output's monitor for the desktop's sound).
    static Result<std::unique_ptr<PulseSoundSource>> tryCreate(SoundKind kind, std::string source,
                                                               QString description);
    ~PulseSoundSource() override;

    SoundKind kind() const override { return kind_; }
    QString description() const override { return description_; }
    Result<void> start(SoundSink* sink) override;
    void stop() override;
    float takePeak() override;

    // The server's name of the recorded source.
    const std::string& sourceName() const { return source_; }

private:
    PulseSoundSource(SoundKind kind, std::string source, QString description);

    static void onRead(pa_stream* stream, size_t bytes, void* userdata);
    static void onState(pa_stream* stream, void* userdata);
    static void onOverflow(pa_stream* stream, void* userdata);
    static void onTiming(pa_stream* stream, void* userdata);

    // Loop thread.
    void readAll();
    void takeTiming();
    // Holds the report to the arrivals' bound (see arrivalBound_).
    void boundTiming();
    // Seconds between the capture of the frame at stream byte `bytePosition`
    // and `arrival`, by the latest timing report.
    double latencyAt(std::int64_t bytePosition, double arrival) const;
    // Places `frames` (nullptr: a hole) that end at stream byte `endPosition`.
    void deliver(const float* samples, std::int64_t frames, std::int64_t endPosition, double arrival);
    void deliverSilence(std::int64_t frames, double at);
    void end(std::string why);
    std::string endedSentence() const;
    void notePeak(const float* samples, std::int64_t frames);

    void releaseStream(); // under the lock

    SoundKind kind_;
    std::string source_;
    QString description_;
    std::unique_ptr<PulseLoop> loop_;
    pa_stream* stream_ = nullptr;
    SoundSink* sink_ = nullptr;
    bool used_ = false;
    // Loop thread only once started.
    SoundClock clock_;
    // The latest timing report of the server taken while the stream ran: the
    // frame at stream byte `timingWriteIndex_` was captured at host time
    // `timingCapturedAt_`. Later frames follow at the nominal rate. Worked
    // out from the report itself rather than libpulse's interpolated
    // latency, which stands still for a while after a report that arrives
    // late (it never runs backwards) and so misplaces blocks by hundreds of
    // milliseconds on a busy machine.
    //
    // A report is worked out a little after the moment it describes (the
    // server takes its snapshot on one thread and the time on another), so
    // it can place a frame later than it really was, by a millisecond or
    // two, more on a busy machine. The arrivals bound it: no frame arrives
    // before it was captured, so the capture of stream byte 0 was no later
    // than `arrivalBound_`, the least of (arrival - position / rate) over
    // every block read so far, and a report is held to that bound.
    bool timingKnown_ = false;
    bool timingAsked_ = false;
    double timingCapturedAt_ = 0.0; // host seconds, on capture (not when heard)
    // A monitor's sound is heard this long after the server rendered it
    // (seconds; 0 for other sources): stamps are when it is heard.
    double timingHeardAfter_ = 0.0;
    double arrivalBound_ = 1e300; // host seconds
    std::int64_t timingWriteIndex_ = 0;
    std::int64_t readBytes_ = 0; // bytes taken from the stream (data and holes)
    std::int64_t timingSerial_ = 0; // counts the reports taken
    // A lag beyond the threshold seen on report `lagSerial_`, awaiting a
    // newer report to confirm it before silence is made up.
    bool lagSuspected_ = false;
    std::int64_t lagSerial_ = 0;
    // Frames held back until the first report and for the first
    // kAnchorHoldFrames, whose arrivals bound where the first frame goes.
    std::vector<float> pending_;
    bool ended_ = false;
    bool starting_ = false; // start() waits for the stream: a failure is its answer
    std::vector<float> silence_;
    std::atomic<float> peak_{0.0F};
};

} // namespace orvane::pulse
