#pragma once

// A SoundOutput for unit tests: a speaker that plays what is queued in real
// time at `speed` movie seconds per second (0.8 = a sound card whose clock runs
// slow), with a queue of `capacity` frames. It keeps every frame written since
// the last flush, so a test can check what would have been heard, and it can
// be made to break after a number of frames, like a server that goes away.

#include "media/SoundTracks.h"
#include "ui/player/SoundOutput.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane::test {

// What the test sees of the speaker; shared with it, all under `mutex`.
struct SpeakerProbe {
    std::mutex mutex;
    std::vector<float> sinceFlush; // frames written since the last flush, interleaved
    long long writtenTotal = 0;    // frames, over every flush
    int flushes = 0;
    int opened = 0;
    bool paused = true;
    long long breakAfter = -1; // frames; -1 never

    std::vector<float> copy() {
        const std::lock_guard<std::mutex> g(mutex);
        return sinceFlush;
    }
};

class FakeSpeaker final : public ui::SoundOutput {
public:
    using Clock = std::chrono::steady_clock;

    FakeSpeaker(std::shared_ptr<SpeakerProbe> probe, double speed, int capacity)
        : probe_(std::move(probe)), speed_(speed), capacity_(capacity), last_(Clock::now()) {
        const std::lock_guard<std::mutex> g(probe_->mutex);
        ++probe_->opened;
    }

    Result<int> write(const float* samples, int frames, std::chrono::milliseconds wait) override {
        const auto deadline = Clock::now() + wait;
        for (;;) {
            {
                const std::lock_guard<std::mutex> g(probe_->mutex);
                if (probe_->breakAfter >= 0 && probe_->writtenTotal >= probe_->breakAfter) {
                    return Error{ErrorKind::Io, "the fake speaker was unplugged"};
                }
                play();
                const int n = std::min(frames, capacity_ - static_cast<int>(queued_));
                if (n > 0) {
                    probe_->sinceFlush.insert(probe_->sinceFlush.end(), samples,
                                              samples +
                                                  static_cast<std::ptrdiff_t>(n) * kSoundChannels);
                    probe_->writtenTotal += n;
                    queued_ += n;
                    return n;
                }
            }
            if (Clock::now() >= deadline) {
                return 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void flush() override {
        const std::lock_guard<std::mutex> g(probe_->mutex);
        play();
        queued_ = 0;
        probe_->sinceFlush.clear();
        ++probe_->flushes;
    }
    void setPaused(bool paused) override {
        const std::lock_guard<std::mutex> g(probe_->mutex);
        play();
        probe_->paused = paused;
    }
    std::optional<double> latency() override {
        const std::lock_guard<std::mutex> g(probe_->mutex);
        play();
        return queued_ / kSoundRate;
    }

private:
    // Takes from the queue what was played since the last look. Under the
    // probe's mutex.
    void play() {
        const Clock::time_point now = Clock::now();
        if (!probe_->paused) {
            const double played =
                std::chrono::duration<double>(now - last_).count() * speed_ * kSoundRate;
            queued_ = std::max(0.0, queued_ - played);
        }
        last_ = now;
    }

    std::shared_ptr<SpeakerProbe> probe_;
    double speed_;
    int capacity_;
    double queued_ = 0; // frames not played yet
    Clock::time_point last_;
};

// A factory for MoviePlayer and SoundPlayback that makes FakeSpeakers.
inline ui::SoundOutputFactory fakeSpeakers(std::shared_ptr<SpeakerProbe> probe, double speed = 1.0,
                                           int capacity = 2400) {
    return [probe, speed, capacity]() -> Result<std::unique_ptr<ui::SoundOutput>> {
        return std::unique_ptr<ui::SoundOutput>(new FakeSpeaker(probe, speed, capacity));
    };
}

// A factory that finds no sound server, counting how often it was asked.
inline ui::SoundOutputFactory noSpeakers(std::shared_ptr<SpeakerProbe> probe) {
    return [probe]() -> Result<std::unique_ptr<ui::SoundOutput>> {
        const std::lock_guard<std::mutex> g(probe->mutex);
        ++probe->opened;
        return Error{ErrorKind::NotFound, "No sound server (test)"};
    };
}

} // namespace orvane::test
