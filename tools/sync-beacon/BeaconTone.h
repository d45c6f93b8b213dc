#pragma once

// The sync beacon's sound: a playback stream that runs silent and plays a
// short tone whose first sample the server plays at given host times.

#include <memory>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace orvane::beacon {

struct ToneShape {
    double hz = 1000.0;
    double amplitude = 0.5; // peak, 0...1 (0.5 is -6 dBFS)
    double seconds = 0.150;
};

// Keeps a float32 stereo playback stream at 48 kHz on `sink` fed with
// silence, in small requests (about 20 ms buffered), so that the time a
// written frame will be played is known from the stream's timing reports
// (requested automatically every so often): the frame at the report's read
// index is heard the sink's latency after the report, later frames follow at
// the nominal rate. Each tone's first frame is placed at the frame that will
// play at its host time, computed in the very write that contains it.
//
// Threads: open, schedule, placedAt and the destructor on the main thread;
// the stream is fed on libpulse's own thread.
class BeaconTone {
public:
    static std::unique_ptr<BeaconTone> open(const std::string& sink, const ToneShape& shape, std::string& error);
    ~BeaconTone();
    BeaconTone(const BeaconTone&) = delete;
    BeaconTone& operator=(const BeaconTone&) = delete;

    // Tones start at these host times (seconds, CLOCK_MONOTONIC), each at
    // least a few tens of milliseconds ahead.
    void schedule(const std::vector<double>& hostTimes);
    // The host time tone `index` was placed to be heard at (the schedule up
    // to a fraction of a frame); a negative value while not placed, or when
    // it came too late to place.
    double placedAt(std::size_t index) const;
    // Whether the stream still runs.
    bool running() const;

private:
    BeaconTone() = default;
    static void onWrite(pa_stream* stream, std::size_t bytes, void* userdata);
    static void onState(pa_stream* stream, void* userdata);
    static void onContextState(pa_context* context, void* userdata);
    void write(std::size_t bytes);

    struct Tone {
        double at = 0.0;
        long long startFrame = -1;
        double placedAt = -1.0;
        bool late = false;
    };

    ToneShape shape_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    // Loop thread, or under the loop's lock.
    std::vector<Tone> tones_;
    long long written_ = 0; // frames written so far
    std::vector<float> buffer_;
};

} // namespace orvane::beacon
