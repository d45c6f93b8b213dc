#include "ui/player/MoviePlayer.h"

#include "ui/player/PlaybackDecoder.h"
#include "ui/player/PulseSoundOutput.h"
#include "ui/player/SoundPlayback.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvane::ui {

namespace {
// A tick this late means the thread was busy; restart the schedule rather than
// firing a burst of catch-up ticks.
constexpr double kTickSlip = 0.05; // seconds
} // namespace

MoviePlayer::MoviePlayer(QObject* parent) : MoviePlayer(&PulseSoundOutput::open, parent) {}

MoviePlayer::MoviePlayer(SoundOutputFactory soundOutput, QObject* parent)
    : QObject(parent), soundOutput_(std::move(soundOutput)) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &MoviePlayer::tick);
}

// The decoding threads post to this object, so they must be gone first.
MoviePlayer::~MoviePlayer() {
    decoder_.reset();
    sound_.reset();
}

void MoviePlayer::open(const QString& path) {
    close();
    const std::uint64_t serial = ++openSerial_;
    // Reports from the decoding thread come back as queued calls; the decoder
    // is joined before this object dies, and stale serials are ignored.
    auto opened = [this, serial](const Result<media::VideoInfo>& r) {
        if (!r.ok()) {
            QMetaObject::invokeMethod(
                this,
                [this, serial, message = QString::fromStdString(r.error())] {
                    onOpened(serial, false, message, {}, std::nullopt, 0);
                },
                Qt::QueuedConnection);
            return;
        }
        const media::VideoInfo info = r.value();
        QMetaObject::invokeMethod(
            this,
            [this, serial, info] {
                onOpened(serial, true, {}, QSize(info.width, info.height), info.duration,
                         info.frameRate);
            },
            Qt::QueuedConnection);
    };
    auto failed = [this, serial](std::uint64_t generation, const std::string& message) {
        QMetaObject::invokeMethod(
            this,
            [this, serial, generation, m = QString::fromStdString(message)] {
                onFailed(serial, generation, m);
            },
            Qt::QueuedConnection);
    };
    // The decoder starts with the first frame queued, as if sought exactly to 0.
    generation_ = 0;
    seeking_ = true;
    seekExact_ = true;
    seekTarget_ = 0;
    setStatus(Status::Loading);
    decoder_ = std::make_unique<PlaybackDecoder>(path.toStdString(), opened, failed);

    auto kinds = [this, serial](std::vector<SoundKind> found) {
        QMetaObject::invokeMethod(
            this,
            [this, serial, found = std::move(found)] {
                if (serial == openSerial_) {
                    soundKinds_ = found;
                    emit soundKindsChanged();
                }
            },
            Qt::QueuedConnection);
    };
    auto unavailable = [this, serial](const std::string& message) {
        QMetaObject::invokeMethod(
            this,
            [this, serial, m = QString::fromStdString(message)] {
                if (serial == openSerial_) {
                    emit soundUnavailable(m);
                }
            },
            Qt::QueuedConnection);
    };
    sound_ = std::make_unique<SoundPlayback>(path.toStdString(), soundOutput_, kinds, unavailable);
    sound_->setMix(mix_);
    sound_->setTimeMap(map_);
    decoder_->setTimeMap(map_);
}

void MoviePlayer::close() {
    timer_.stop();
    decoder_.reset();
    sound_.reset();
    soundClock_ = false;
    const bool hadSound = !soundKinds_.empty();
    soundKinds_.clear();
    ++openSerial_;
    current_.reset();
    error_.clear();
    pendingFailure_.clear();
    size_ = {};
    duration_.reset();
    lastFrameEnd_.reset();
    frameRate_ = 0;
    position_ = 0;
    seeking_ = false;
    playWhenReady_ = false;
    const bool wasPlaying = std::exchange(playing_, false);
    setStatus(Status::Empty);
    if (wasPlaying) {
        emit playingChanged(false);
    }
    if (hadSound) {
        emit soundKindsChanged();
    }
}

void MoviePlayer::onOpened(std::uint64_t serial, bool ok, QString error, QSize size,
                           std::optional<double> duration, double frameRate) {
    if (serial != openSerial_) {
        return;
    }
    if (!ok) {
        fail(error);
        return;
    }
    size_ = size;
    duration_ = duration;
    frameRate_ = frameRate;
    setStatus(Status::Ready);
    tickStart_ = Clock::now();
    ticks_ = 0;
    scheduleTick();
    if (std::exchange(playWhenReady_, false)) {
        play();
    }
}

void MoviePlayer::onFailed(std::uint64_t serial, std::uint64_t generation, QString message) {
    // A failure from before the latest seek says nothing about the new place.
    if (serial != openSerial_ || generation != generation_) {
        return;
    }
    // The decoder runs a few frames ahead; show those before giving up. One
    // tick applies it at once when nothing is left to show.
    pendingFailure_ = message;
    wake();
}

void MoviePlayer::fail(const QString& message) {
    timer_.stop();
    error_ = message;
    pendingFailure_.clear();
    playWhenReady_ = false;
    const bool wasPlaying = playing_;
    if (playing_) {
        position_ = currentTime();
        playing_ = false;
        endRun();
    }
    setStatus(Status::Failed);
    if (wasPlaying) {
        emit playingChanged(false);
    }
}

void MoviePlayer::setStatus(Status status) {
    if (status_ != status) {
        status_ = status;
        emit statusChanged(status);
    }
}

double MoviePlayer::duration() const {
    if (duration_) {
        return *duration_;
    }
    return lastFrameEnd_.value_or(0.0);
}

double MoviePlayer::endTime() const {
    if (duration_) {
        return *duration_;
    }
    return lastFrameEnd_.value_or(std::numeric_limits<double>::infinity());
}

void MoviePlayer::play() {
    if (status_ == Status::Loading) {
        playWhenReady_ = true;
        return;
    }
    if (status_ != Status::Ready || playing_) {
        return;
    }
    if (seeking_) {
        // The clock and the sound start where the seek lands.
        anchorTime_ = position_;
        anchorClock_ = Clock::now();
    } else {
        beginRun(position_);
    }
    playing_ = true;
    emit playingChanged(true);
    wake();
}

void MoviePlayer::pause() {
    playWhenReady_ = false;
    if (!playing_) {
        return;
    }
    position_ = currentTime();
    playing_ = false;
    endRun();
    emit playingChanged(false);
    wake(); // one more time signal, with where it stopped
}

void MoviePlayer::setTimeMap(const TimeMap& map) {
    const double now = currentTime();
    map_ = map;
    if (decoder_) {
        decoder_->setTimeMap(map);
    }
    if (sound_) {
        sound_->setTimeMap(map);
    }
    if (playing_ && !seeking_) {
        // The clock goes on from where it is, on the new output clock.
        endRun();
        beginRun(map_.keptFrom(now));
    }
}

void MoviePlayer::setSoundMix(const SoundMix& mix) {
    mix_ = mix;
    if (sound_) {
        sound_->setMix(mix);
    }
}

void MoviePlayer::beginRun(double start) {
    anchorTime_ = start;
    clockFloor_ = start;
    anchorClock_ = Clock::now();
    // While the sound is still being opened it is expected to play: the
    // playhead waits for it rather than run ahead and jump back.
    soundClock_ = sound_ && sound_->state() != SoundPlayback::State::Silent;
    if (soundClock_) {
        sound_->start(map_.outputTime(start));
    }
}

void MoviePlayer::endRun() {
    soundClock_ = false;
    if (sound_) {
        sound_->stop();
    }
}

void MoviePlayer::checkSoundClock(Clock::time_point now) {
    if (!soundClock_ || sound_->state() != SoundPlayback::State::Silent) {
        return;
    }
    // Sound that was heard hands over where it got to; a run that never
    // sounded (no sound after all) goes on as if the monotonic clock had
    // timed it from its start.
    if (const std::optional<double> heard = sound_->heard(now)) {
        anchorTime_ = std::max(map_.takeTime(*heard), clockFloor_);
        anchorClock_ = now;
    }
    soundClock_ = false;
    sound_->stop();
}

double MoviePlayer::clockTime(Clock::time_point now) const {
    if (soundClock_) {
        // Each timing report of the server places the heard sound afresh, a
        // little before or after where the previous one carried it: the
        // playhead never steps back for that within a run.
        const auto heard = sound_->heard(now);
        clockFloor_ = std::max(clockFloor_, heard ? map_.takeTime(*heard) : anchorTime_);
        return clockFloor_;
    }
    // The clock runs on output time: through a cut at once, through a
    // sped-up part at its speed.
    if (map_.identity()) {
        return anchorTime_ + std::chrono::duration<double>(now - anchorClock_).count();
    }
    return map_.takeTime(map_.outputTime(anchorTime_) +
                         std::chrono::duration<double>(now - anchorClock_).count());
}

double MoviePlayer::currentTime() const {
    if (seeking_ || !playing_) {
        return position_;
    }
    return std::min(clockTime(Clock::now()), endTime());
}

void MoviePlayer::seek(double t) { startSeek(t, false); }
void MoviePlayer::seekExact(double t) { startSeek(t, true); }

void MoviePlayer::startSeek(double t, bool exact) {
    if (!decoder_ || (status_ != Status::Ready && status_ != Status::Loading)) {
        return;
    }
    if (!std::isfinite(t)) {
        t = 0;
    }
    t = std::max(t, 0.0);
    if (duration_) {
        t = std::min(t, *duration_);
    }
    generation_ = decoder_->seek(t, exact);
    if (playing_) {
        endRun(); // quiet until the seek lands
    }
    seeking_ = true;
    seekExact_ = exact;
    seekTarget_ = t;
    position_ = t;
    pendingFailure_.clear();
    wake();
}

std::shared_ptr<const PlayerFrame> MoviePlayer::currentFrame() {
    advance();
    return current_;
}

void MoviePlayer::advance() {
    if (!decoder_ || status_ != Status::Ready) {
        return;
    }
    const Clock::time_point now = Clock::now();
    bool changed = false;
    if (seeking_) {
        if (auto frame = decoder_->take(generation_, std::numeric_limits<double>::infinity())) {
            // Landed: the clock starts from here, whether playing or not.
            const double start = seekExact_ ? seekTarget_ : frame->time;
            current_ = std::move(frame);
            changed = true;
            seeking_ = false;
            position_ = start;
            if (playing_) {
                beginRun(start);
            } else {
                anchorTime_ = start;
                anchorClock_ = now;
            }
        } else if (decoder_->ended(generation_)) {
            seeking_ = false; // nothing to land on: the seek failed
            if (playing_) {
                beginRun(position_);
            } else {
                anchorTime_ = position_;
                anchorClock_ = now;
            }
        }
    }
    if (playing_ && !seeking_) {
        checkSoundClock(now);
    }

    bool reachedEnd = false;
    QString failure;
    if (!seeking_) {
        const double t = playing_ ? clockTime(now) : position_;
        while (auto frame = decoder_->take(generation_, t)) {
            current_ = std::move(frame);
            changed = true;
        }
        if (decoder_->ended(generation_)) {
            if (current_ && frameRate_ > 0) {
                lastFrameEnd_ = std::max(lastFrameEnd_.value_or(0.0), current_->time + 1 / frameRate_);
            }
            if (!pendingFailure_.isEmpty()) {
                failure = pendingFailure_;
            } else if (playing_ && t >= endTime()) {
                reachedEnd = true;
            }
        }
    }

    if (changed) {
        emit frameChanged();
    }
    if (!failure.isEmpty()) {
        fail(failure);
    } else if (reachedEnd) {
        position_ = endTime();
        playing_ = false;
        endRun();
        emit playingChanged(false);
        emit playedToEnd();
    }
}

void MoviePlayer::tick() {
    advance();
    if (status_ != Status::Ready) {
        return;
    }
    emit timeChanged(currentTime());
    if (status_ == Status::Ready && !timer_.isActive() && needsTicks()) {
        scheduleTick();
    }
}

bool MoviePlayer::needsTicks() const {
    // Paused with the frame in place, nothing changes until the next call:
    // no ticks, so an idle editor does not wake 120 times a second.
    return playing_ || seeking_;
}

void MoviePlayer::wake() {
    if (status_ != Status::Ready || timer_.isActive()) {
        return;
    }
    tickStart_ = Clock::now();
    ticks_ = 0;
    scheduleTick();
}

void MoviePlayer::scheduleTick() {
    // Ticks follow an absolute schedule so that whole-millisecond timer
    // resolution does not drift the rate away from 120 Hz.
    const Clock::time_point now = Clock::now();
    ++ticks_;
    auto due = tickStart_ + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(static_cast<double>(ticks_) * kTickInterval));
    if (now - due > std::chrono::duration<double>(kTickSlip)) {
        tickStart_ = now;
        ticks_ = 1;
        due = now + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(kTickInterval));
    }
    const double wait = std::chrono::duration<double, std::milli>(due - now).count();
    timer_.start(std::max(0, static_cast<int>(std::ceil(wait))));
}

} // namespace orvane::ui
