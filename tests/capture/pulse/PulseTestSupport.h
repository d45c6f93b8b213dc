#pragma once

// Helpers of the sound-source tests: a sink that keeps what it hears, tones,
// and the test server's tools (pactl, pacat).

#include "capture/SoundSource.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace orvane::testing {

// Keeps every block and the end report; any thread may look.
class RecordingSink : public SoundSink {
public:
    struct Block {
        double hostTime = 0.0;
        int frames = 0;
        double arrivedAt = 0.0; // hostTime() when the sink got it
    };

    void soundArrived(const float* samples, int frames, double hostTime) override;
    void soundEnded(const Error& why) override;

    std::vector<Block> blocks() const;
    std::vector<float> samples() const; // interleaved stereo
    int endings() const;
    std::string endMessage() const;
    // Waits up to `seconds` for soundEnded; whether it came.
    bool waitForEnd(double seconds);
    // Waits up to `seconds` until at least `frames` frames arrived.
    bool waitForFrames(long frames, double seconds);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Block> blocks_;
    std::vector<float> samples_;
    int endings_ = 0;
    std::string endMessage_;
};

// A sine of `hz` at `amplitude` (peak, 0...1) on both channels, `seconds` long,
// as a raw float32 stereo file at kSoundRate; returns its path.
std::string writeTone(const std::string& name, double hz, double amplitude, double seconds);
// Plays a raw float32 stereo file into `sink` and waits until it has played.
bool playInto(const std::string& sink, const std::string& rawFile);
// Runs a shell command; its standard output (trimmed).
std::string shell(const std::string& command);
// The index of the module that made sink or source `name`; -1 when none did.
int moduleOf(const std::string& name);

// Root mean square of the left channel over frames [from, to).
double rmsOf(const std::vector<float>& stereo, long from, long to);
// The first frame whose left sample's magnitude reaches `level`; -1 if none.
long firstFrameAbove(const std::vector<float>& stereo, float level);
// The frequency of a tone from its zero crossings over frames [from, to).
double frequencyOf(const std::vector<float>& stereo, long from, long to);

} // namespace orvane::testing
