#pragma once

// The sound server reached through libpulse: PulseAudio, or PipeWire's pulse
// server. libpulse stays behind this header.

#include "capture/SoundSource.h"

#include <string>

namespace orvane {

// Lists the server's inputs and opens sources on it. Each call connects anew
// (a server may come and go between takes) and answers within a few seconds
// whether or not a server is there.
//
// Main thread (not thread-safe). The sources it opens each run a thread of
// their own and outlive it.
class PulseSoundDevices : public SoundDevices {
public:
    PulseSoundDevices() = default;

    // Real inputs only: monitors of outputs are left out. The server's default
    // input is marked. Empty, with error() saying why, when no server answers.
    std::vector<SoundDevice> inputs() override;
    Result<std::unique_ptr<SoundSource>> open(SoundKind kind, const QString& device) override;

    // Why the last inputs() came back empty for want of a server; empty when
    // it answered.
    const std::string& error() const { return error_; }

private:
    std::string error_;
};

} // namespace orvane
