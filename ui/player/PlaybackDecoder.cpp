#include "ui/player/PlaybackDecoder.h"

#include <atomic>
#include <chrono>
#include <utility>

namespace orvane::ui {

PlaybackDecoder::PlaybackDecoder(std::string path, OpenedFn opened, FailedFn failed)
    : path_(std::move(path)), opened_(std::move(opened)), failed_(std::move(failed)),
      thread_([this] { run(); }) {}

PlaybackDecoder::~PlaybackDecoder() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::uint64_t PlaybackDecoder::seek(double t, bool exact) {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = ++generation_;
        pendingSeek_ = SeekRequest{t, exact};
        for (auto& slot : queue_) {
            slot.reset();
        }
        queueHead_ = 0;
        queueCount_ = 0;
        streamEnded_ = false;
    }
    wake_.notify_all();
    return generation;
}

std::shared_ptr<const PlayerFrame> PlaybackDecoder::take(std::uint64_t generation, double latest) {
    std::shared_ptr<const PlayerFrame> frame;
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || queueCount_ == 0 || queue_[queueHead_]->time > latest) {
            return nullptr;
        }
        frame = std::move(queue_[queueHead_]);
        queueHead_ = (queueHead_ + 1) % kQueueCapacity;
        --queueCount_;
    }
    wake_.notify_all();
    return frame;
}

bool PlaybackDecoder::ended(std::uint64_t generation) const {
    std::lock_guard lock(mutex_);
    return generation == generation_ && streamEnded_ && queueCount_ == 0;
}

std::shared_ptr<PlayerFrame> PlaybackDecoder::freeBuffer() {
    for (const auto& buffer : pool_) {
        // Only this thread copies pool pointers, so a count of one cannot grow
        // behind our back. The fence pairs with the release of the last other
        // holder, so its reads of the pixels happen before we overwrite them.
        if (buffer.use_count() == 1) {
            std::atomic_thread_fence(std::memory_order_acquire);
            return buffer;
        }
    }
    if (static_cast<int>(pool_.size()) < kPoolSize) {
        const auto& info = reader_.info();
        auto buffer = std::make_shared<PlayerFrame>();
        buffer->image = QImage(info.width, info.height, QImage::Format_RGB32);
        if (buffer->image.isNull()) {
            return nullptr;
        }
        pool_.push_back(buffer);
        return buffer;
    }
    return nullptr;
}

void PlaybackDecoder::setTimeMap(const TimeMap& map) {
    std::lock_guard lock(mutex_);
    map_ = map;
}

void PlaybackDecoder::run() {
    const auto opened = reader_.open(path_);
    opened_(opened);
    if (!opened.ok()) {
        return;
    }
    const double frameInterval =
        reader_.info().frameRate > 0 ? 1.0 / reader_.info().frameRate : 1.0 / 60;
    TimeMap map;
    for (;;) {
        std::optional<SeekRequest> seekTo;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] {
                return stop_ || pendingSeek_ || (!streamEnded_ && queueCount_ < kQueueCapacity);
            });
            if (stop_) {
                return;
            }
            seekTo = std::exchange(pendingSeek_, std::nullopt);
            generation = generation_;
            map = map_;
        }

        std::string failure;
        if (seekTo) {
            if (!reader_.seek(seekTo->t, seekTo->exact)) {
                std::lock_guard lock(mutex_);
                if (generation_ == generation) {
                    streamEnded_ = true;
                    failure = reader_.error();
                }
            }
        } else if (auto buffer = freeBuffer()) {
            double time = 0;
            const media::BgraTarget target{buffer->image.bits(), buffer->image.bytesPerLine()};
            const bool ok = reader_.readFrame(target, time);
            buffer->time = time;
            if (ok && !map.identity() && map.pieceAt(time) == nullptr &&
                map.pieceAt(time + frameInterval - 1e-6) == nullptr) {
                // Inside a cut, and gone before the take goes on: not shown.
                // The reader jumps to where it goes on (a short cut is
                // simply read through), while the queue still holds the
                // frames before the cut.
                const double next = map.keptFrom(time);
                if (next - time > 4 * frameInterval) {
                    reader_.seek(next, true);
                }
                continue;
            }
            std::lock_guard lock(mutex_);
            if (generation_ != generation) {
                continue; // a seek came in meanwhile; this frame is from the old place
            }
            if (ok) {
                queue_[(queueHead_ + queueCount_) % kQueueCapacity] = std::move(buffer);
                ++queueCount_;
            } else {
                streamEnded_ = true;
                if (reader_.status() == media::MovieReader::Status::Error) {
                    failure = reader_.error();
                }
            }
        } else {
            // Every buffer is on screen or queued; holders give them back without
            // telling us, so look again shortly (or at once on a seek or stop).
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(2),
                           [this] { return stop_ || pendingSeek_.has_value(); });
        }
        if (!failure.empty()) {
            failed_(generation, failure);
        }
    }
}

} // namespace orvane::ui
