#pragma once

#include <cstddef>
#include <vector>

namespace orvane {

// The outline of a take's sound for the timeline bar: the loudest sample of
// each source in every bucket of kBucketSeconds, as a fraction of full scale
// (0...1). Computed once per take (readSoundWaveform, off the main thread) and
// then only copied and mixed for display. A plain value; any thread.
struct SoundWaveform {
    static constexpr double kBucketSeconds = 0.01;

    // Bucket i covers [i, i + 1) x kBucketSeconds of the movie. Empty for a
    // source the take has no track of.
    std::vector<float> microphone;
    std::vector<float> desktop;

    bool empty() const { return microphone.empty() && desktop.empty(); }
    // Buckets of the longer source.
    std::size_t buckets() const { return microphone.size() > desktop.size() ? microphone.size() : desktop.size(); }

    // The peaks the two sources reach mixed at these gains (0 for a muted
    // source): each bucket's peaks scaled and added, which is what the mix
    // reaches at most, and held at 1 where the mix is limited. Empty when the
    // take has no sound.
    std::vector<float> mixed(double microphoneGain, double desktopGain) const;

    friend bool operator==(const SoundWaveform&, const SoundWaveform&) = default;
};

} // namespace orvane
