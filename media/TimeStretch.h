#pragma once

#include <memory>
#include <vector>

namespace orvane {

// Changes the tempo of sound without changing its pitch (FFmpeg's atempo):
// interleaved stereo float at kSoundRate in, the same out, `speed` times
// faster. Speeds from 0.25 to 4 (two atempo stages below 0.5). A stream
// object: push input, pull what is ready, finish() at the end to get the
// rest. Not thread-safe; one thread at a time.
class TimeStretch {
public:
    // Nothing when the filter cannot be set up (the speed out of range, or
    // FFmpeg without atempo).
    static std::unique_ptr<TimeStretch> create(double speed);
    ~TimeStretch();
    TimeStretch(const TimeStretch&) = delete;
    TimeStretch& operator=(const TimeStretch&) = delete;

    double speed() const { return speed_; }
    // Hands `frames` frames of input over; false when the filter failed.
    bool push(const float* interleaved, int frames);
    // No more input: what the filter still holds becomes ready.
    void finish();
    // Appends every ready output frame to `out` (interleaved L R).
    void pull(std::vector<float>& out);

private:
    struct Graph;
    TimeStretch(std::unique_ptr<Graph> graph, double speed);
    std::unique_ptr<Graph> graph_;
    double speed_ = 1;
    long long pts_ = 0; // input frames pushed so far
};

} // namespace orvane
