#pragma once

#include "ui/player/SoundOutput.h"

#include <memory>

namespace orvane::ui {

// A SoundOutput through libpulse: a playback stream on the default output of
// the sound server (PulseAudio, or PipeWire's pulse server), on a connection
// of its own (pulse::PulseLoop, the capture backend's, with its thread). The queue in front of the speakers is kept
// short (about 40 ms) so a new volume is heard quickly and a flush leaves
// little behind. libpulse stays inside the .cpp file.
//
// Threads: as SoundOutput; the loop's thread runs libpulse's callbacks, which
// only wake the caller.
class PulseSoundOutput final : public SoundOutput {
public:
    // Connects to the server (without starting one) and opens the stream,
    // waiting at most about two seconds for either. An Error (NotFound when no
    // server answers) says why there is no sound.
    static Result<std::unique_ptr<SoundOutput>> open();
    ~PulseSoundOutput() override;
    PulseSoundOutput(const PulseSoundOutput&) = delete;
    PulseSoundOutput& operator=(const PulseSoundOutput&) = delete;

    Result<int> write(const float* samples, int frames, std::chrono::milliseconds wait) override;
    void flush() override;
    void setPaused(bool paused) override;
    std::optional<double> latency() override;

    struct Impl;

private:
    explicit PulseSoundOutput(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

} // namespace orvane::ui
