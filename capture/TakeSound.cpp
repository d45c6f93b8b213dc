#include "TakeSound.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace orvane {

namespace {

// "microphone" / "desktop": how a note names a source's sound.
QString soundWord(SoundKind kind) {
    return kind == SoundKind::Microphone ? QStringLiteral("microphone") : QStringLiteral("desktop");
}

// A sentence from elsewhere without its full stop, to go before a colon.
QString clause(const std::string& message) {
    QString s = QString::fromStdString(message).trimmed();
    while (s.endsWith(QLatin1Char('.'))) {
        s.chop(1);
    }
    return s.isEmpty() ? QStringLiteral("The sound could not be recorded") : s;
}

} // namespace

// One source and the sink between it and the writer's track: forwards the
// sound, remembers where it got to, and reports an end by itself.
struct TakeSound::Track final : SoundSink {
    SoundKind kind = SoundKind::Microphone;
    std::unique_ptr<SoundSource> source;
    bool running = false; // started and not stopped yet (stop() still joins it)
    bool ended = false;   // it ended by itself mid-take (main thread, once posted)

    // Set by start(), read on the source's thread.
    std::shared_ptr<VideoWriter> writer;
    SoundSink* target = nullptr;
    std::shared_ptr<const TakeClock> clock;
    double startTime = 0;
    EndedHandler onEnded;
    std::atomic<double> reached{0}; // take seconds where the last block ended

    void soundArrived(const float* samples, int frames, double hostTime) override {
        if (frames <= 0) {
            return;
        }
        // Cut at the pauses' edges to whole frames: each part that belongs
        // to the take goes on at its place on the take's clock.
        clock->forEachTakenPart(hostTime, static_cast<double>(frames) / kSoundRate,
                                [&](double offset, double length, double takeAt) {
            const auto first = std::clamp<long>(std::lround(offset * kSoundRate), 0, frames);
            const auto last = std::clamp<long>(std::lround((offset + length) * kSoundRate), first, frames);
            if (last == first) {
                return;
            }
            const double at = startTime + takeAt + (static_cast<double>(first) / kSoundRate - offset);
            target->soundArrived(samples == nullptr ? nullptr : samples + first * kSoundChannels,
                                 static_cast<int>(last - first), at);
            reached.store(at + static_cast<double>(last - first) / kSoundRate - startTime,
                          std::memory_order_relaxed);
        });
    }
    void soundEnded(const Error& why) override {
        target->soundEnded(why);
        if (onEnded) {
            onEnded(kind, std::max(0.0, reached.load(std::memory_order_relaxed)), why);
        }
    }
};

TakeSound::TakeSound() = default;

TakeSound::~TakeSound() {
    stop();
}

void TakeSound::reset() {
    stop();
    notes_.clear();
}

void TakeSound::open(SoundDevices* devices, const SoundChoice& choice) {
    reset();
    const std::vector<SoundKind> wanted = choice.kinds();
    if (wanted.empty()) {
        return;
    }
    if (devices == nullptr) {
        notes_ << QStringLiteral("No sound server answered: recorded without sound");
        return;
    }
    std::vector<std::pair<SoundKind, std::string>> failures;
    for (SoundKind kind : wanted) {
        auto opened = devices->open(kind, kind == SoundKind::Microphone ? choice.microphoneDevice
                                                                        : QString());
        if (!opened || !opened.value()) {
            failures.emplace_back(kind, opened ? std::string() : opened.error());
            continue;
        }
        auto track = std::make_unique<Track>();
        track->kind = kind;
        track->source = std::move(opened.value());
        tracks_.push_back(std::move(track));
    }
    // One reason for every source chosen (no server, typically): one note.
    const bool oneReason = failures.size() == wanted.size() &&
                           std::all_of(failures.begin(), failures.end(), [&](const auto& f) {
                               return f.second == failures.front().second;
                           });
    if (oneReason) {
        notes_ << clause(failures.front().second) + QStringLiteral(": recorded without sound");
        return;
    }
    for (const auto& [kind, why] : failures) {
        notes_ << clause(why) + QStringLiteral(": recorded without %1 sound").arg(soundWord(kind));
    }
}

std::vector<SoundKind> TakeSound::kinds() const {
    std::vector<SoundKind> out;
    for (const auto& t : tracks_) {
        out.push_back(t->kind);
    }
    return out;
}

void TakeSound::start(std::shared_ptr<VideoWriter> writer, std::shared_ptr<const TakeClock> clock,
                      EndedHandler onEnded) {
    for (auto it = tracks_.begin(); it != tracks_.end();) {
        Track& t = **it;
        t.writer = writer;
        t.target = writer ? writer->soundSink(t.kind) : nullptr;
        t.clock = clock;
        t.startTime = clock->startHost();
        t.onEnded = onEnded;
        Result<void> started = t.target != nullptr
                                   ? t.source->start(&t)
                                   : Result<void>::failure(ErrorKind::Invalid,
                                                           "The movie has no track for this sound");
        if (!started) {
            notes_ << clause(started.error()) +
                          QStringLiteral(": recorded without %1 sound").arg(soundWord(t.kind));
            it = tracks_.erase(it);
            continue;
        }
        t.running = true;
        ++it;
    }
}

void TakeSound::stop() {
    for (auto& t : tracks_) {
        if (t->running) {
            t->source->stop();
            t->running = false;
        }
    }
    tracks_.clear(); // the sources, then the writer references
}

bool TakeSound::running(SoundKind kind) const {
    return std::any_of(tracks_.begin(), tracks_.end(),
                       [kind](const auto& t) { return t->kind == kind && t->running && !t->ended; });
}

float TakeSound::takePeak(SoundKind kind) {
    for (auto& t : tracks_) {
        if (t->kind == kind && t->running && !t->ended) {
            const float p = t->source->takePeak();
            return std::isfinite(p) ? std::clamp(p, 0.0f, 1.0f) : 0.0f;
        }
    }
    return 0.0f;
}

void TakeSound::noteEnded(SoundKind kind, double atSeconds) {
    for (auto& t : tracks_) {
        if (t->kind == kind) {
            t->ended = true;
        }
    }
    const QString at = QString::number(atSeconds, 'f', 1);
    if (kind == SoundKind::Microphone) {
        notes_ << QStringLiteral("The microphone was disconnected at %1 s: the rest of the take "
                                 "has no microphone sound")
                      .arg(at);
    } else {
        notes_ << QStringLiteral("The desktop sound stopped at %1 s: the rest of the take has no "
                                 "desktop sound")
                      .arg(at);
    }
}

} // namespace orvane
