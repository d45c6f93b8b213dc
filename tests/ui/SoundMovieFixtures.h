#pragma once

// Movies with sound for the player's tests, made with the ffmpeg command-line
// tool: a small moving picture and up to two sound tracks named like a take's
// ("Orvane microphone", "Orvane desktop sound"), each silent except for one
// sine tone between known times, so a test can tell from the samples heard
// which part of the movie they came from.

#include "media/SoundTracks.h"

#include <string>
#include <vector>

namespace orvane::test {

struct ToneTrack {
    SoundKind kind = SoundKind::Microphone;
    double toneStart = 1.0; // seconds of the movie
    double toneEnd = 2.0;   // seconds
    double amplitude = 0.3; // peak, of full scale
    double frequency = 440; // Hz
};

struct ToneMovie {
    double seconds = 3.0;
    std::vector<ToneTrack> tracks{ToneTrack{}};
};

// The movie in the fixture folder (made once, then reused); empty when ffmpeg
// failed.
std::string toneMovie(const ToneMovie& movie);

// Root mean square of `frames` interleaved stereo frames.
double rms(const float* samples, std::size_t frames);

} // namespace orvane::test
