#include "ui/player/SoundPlayback.h"

#include "media/SectionSound.h"
#include "media/SoundReader.h"

#include <algorithm>

namespace orvane::ui {

namespace {
// How long one write may wait for room: short, so a stop or a new start is
// taken up quickly even when the server has stopped reading.
constexpr auto kWriteWait = std::chrono::milliseconds(20);
} // namespace

SoundPlayback::SoundPlayback(std::string path, SoundOutputFactory makeOutput, KindsFn kinds,
                             UnavailableFn unavailable)
    : path_(std::move(path)), makeOutput_(std::move(makeOutput)), kinds_(std::move(kinds)),
      unavailable_(std::move(unavailable)), thread_([this] { run(); }) {}

SoundPlayback::~SoundPlayback() {
    {
        const std::lock_guard<std::mutex> g(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

SoundPlayback::State SoundPlayback::state() const {
    const std::lock_guard<std::mutex> g(mutex_);
    return state_;
}

void SoundPlayback::setState(State state) {
    const std::lock_guard<std::mutex> g(mutex_);
    state_ = state;
}

void SoundPlayback::start(double seconds) {
    {
        const std::lock_guard<std::mutex> g(mutex_);
        ++run_;
        playing_ = true;
        runStart_ = std::max(0.0, seconds);
        reading_.reset();
    }
    wake_.notify_all();
}

void SoundPlayback::stop() {
    {
        const std::lock_guard<std::mutex> g(mutex_);
        if (!playing_) {
            return;
        }
        ++run_;
        playing_ = false;
        reading_.reset();
    }
    wake_.notify_all();
}

void SoundPlayback::setMix(const SoundMix& mix) {
    const std::lock_guard<std::mutex> g(mutex_);
    mix_ = mix;
}

std::optional<double> SoundPlayback::heard(Clock::time_point now) const {
    const std::lock_guard<std::mutex> g(mutex_);
    if (!reading_ || !playing_) {
        return std::nullopt;
    }
    return reading_->heard(now);
}

void SoundPlayback::setTimeMap(const TimeMap& map) {
    const std::lock_guard<std::mutex> g(mutex_);
    map_ = map;
}

void SoundPlayback::run() {
    auto opened = SoundReader::open(path_);
    if (!opened.ok() || opened.value()->empty()) {
        // No sound to play (or no movie at all: the picture says so).
        setState(State::Silent);
        kinds_({});
        return;
    }
    std::unique_ptr<SoundReader> reader = std::move(opened.value());
    kinds_(reader->kinds());
    auto made =
        makeOutput_
            ? makeOutput_()
            : Result<std::unique_ptr<SoundOutput>>(Error{ErrorKind::NotFound, "No sound output"});
    if (!made.ok() || !made.value()) {
        setState(State::Silent);
        unavailable_(made.ok() ? std::string("No sound output") : made.error());
        return;
    }
    std::unique_ptr<SoundOutput> output = std::move(made.value());
    setState(State::Ready);

    std::vector<float> block(static_cast<std::size_t>(kBlockFrames) * kSoundChannels);
    int blockDone = kBlockFrames; // frames of `block` already written
    std::uint64_t run = 0;        // the run being played
    bool playing = false;
    double runStart = 0;
    std::int64_t written = 0;
    std::unique_ptr<SectionSound> sections; // the reader on this run's output clock

    for (;;) {
        SoundMix mix;
        {
            std::unique_lock<std::mutex> g(mutex_);
            if (!playing) {
                wake_.wait(g, [&] { return stop_ || run_ != run; });
            }
            if (stop_) {
                break;
            }
            if (run_ != run) {
                run = run_;
                playing = playing_;
                runStart = runStart_;
                const TimeMap map = map_;
                g.unlock();
                sections = std::make_unique<SectionSound>(*reader, map);
                // A new run, or a stop: nothing queued from before may be heard.
                output->setPaused(true);
                output->flush();
                written = 0;
                blockDone = kBlockFrames;
                if (playing) {
                    sections->seek(runStart);
                    output->setPaused(false);
                }
                continue;
            }
            mix = mix_;
        }

        if (blockDone == kBlockFrames) {
            sections->readMixed(block.data(), kBlockFrames, mix);
            blockDone = 0;
        }
        auto took =
            output->write(block.data() + static_cast<std::ptrdiff_t>(blockDone) * kSoundChannels,
                          kBlockFrames - blockDone, kWriteWait);
        if (!took.ok()) {
            setState(State::Silent);
            unavailable_(took.error());
            return;
        }
        blockDone += took.value();
        written += took.value();
        const std::optional<double> latency = output->latency();
        const std::lock_guard<std::mutex> g(mutex_);
        if (latency && run_ == run && playing_) {
            reading_ = SoundClockReading{run, runStart, written, *latency, Clock::now()};
        }
    }
    output->setPaused(true);
    output->flush();
}

} // namespace orvane::ui
