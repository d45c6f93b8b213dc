#pragma once

#include "timeline/SoundMix.h"
#include "timeline/TimeMap.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace orvane {

class SoundReader;
class TimeStretch;

// The take's mixed sound on the output clock of its sections, for the export
// and the preview alike: cut sections are left out, each join is smoothed by
// a 10 ms crossfade (so no click is heard where the take jumps), a sped-up
// section is time-stretched with its pitch kept, and a muted section (or one
// above 4x) is silence. Every section starts exactly at the sample its output
// time gives, so picture and sound agree at every boundary whatever came
// before. With an identity map it reads the take as it is.
//
// Wraps a SoundReader it does not own, which must outlive it. One thread at a
// time (the reader's).
class SectionSound {
public:
    static constexpr int kCrossfadeFrames = 480; // 10 ms at kSoundRate

    SectionSound(SoundReader& reader, TimeMap map);
    ~SectionSound();
    SectionSound(const SectionSound&) = delete;
    SectionSound& operator=(const SectionSound&) = delete;

    // Goes to `seconds` of output time.
    void seek(double seconds);
    // The next `frames` frames of output (interleaved L R), mixed at `mix`.
    void readMixed(float* out, int frames, const SoundMix& mix);

private:
    // Enters piece i at the current output frame: the reader goes to the
    // matching take time and a stretch is set up for its speed.
    void enter(std::size_t i);
    // `frames` frames of the current piece's sound, from where it is.
    void produce(float* out, int frames, const SoundMix& mix);
    // Whether piece i + 1 simply goes on where piece i ends (same take time,
    // both as recorded): then neither a seek nor a crossfade is needed.
    bool continues(std::size_t i) const;

    SoundReader& reader_;
    TimeMap map_;
    std::vector<std::int64_t> starts_; // output frame of each piece's start
    std::vector<std::int64_t> ends_;   // and of its end
    bool openEnded_ = false; // the last piece runs on past its end (nothing cut after it)
    std::int64_t pos_ = 0;   // output frame of the next frame read
    std::optional<std::size_t> piece_; // the piece being read; none: enter first
    std::unique_ptr<TimeStretch> stretch_;
    std::vector<float> ready_; // stretched frames not handed out yet
    std::size_t readyAt_ = 0;  // samples of ready_ already handed out
    std::vector<float> scratch_;
    std::vector<float> tail_; // the previous piece going on, faded out over the join
    int faded_ = 0;           // frames of the join's crossfade done
};

} // namespace orvane
