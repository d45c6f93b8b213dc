#pragma once

#include "media/MovieReader.h"
#include "timeline/TimeMap.h"
#include "timeline/Result.h"
#include "ui/player/PlayerFrame.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvane::ui {

// The decoding half of MoviePlayer: a thread that opens a movie with a
// MovieReader and keeps a short queue of decoded frames filled ahead of the
// playhead, in presentation order. Frames are decoded into a fixed pool of
// picture buffers that are reused once nobody holds them any more, so steady
// playback does not allocate.
//
// Seeks start a new "generation": the queue is emptied, and frames decoded for
// an older generation are thrown away, so after seek() every frame taken
// belongs to the new position.
//
// Threads: the constructor starts the decoding thread and the destructor stops
// and joins it. seek(), take() and ended() are for one controlling thread (the
// player's, the main thread). The two callbacks run on the decoding thread.
class PlaybackDecoder {
public:
    static constexpr int kQueueCapacity = 3;
    // Queue, the frame on screen, one held by a viewer, one being decoded.
    static constexpr int kPoolSize = kQueueCapacity + 3;

    using OpenedFn = std::function<void(const Result<media::VideoInfo>&)>;
    using FailedFn = std::function<void(std::uint64_t generation, const std::string& message)>;

    // `opened` reports the result of opening `path` (UTF-8), once; `failed`
    // reports reading that stopped on damaged data, with the generation it
    // belongs to, at most once per generation.
    PlaybackDecoder(std::string path, OpenedFn opened, FailedFn failed);
    ~PlaybackDecoder();
    PlaybackDecoder(const PlaybackDecoder&) = delete;
    PlaybackDecoder& operator=(const PlaybackDecoder&) = delete;

    // Asks for decoding to restart at `t` seconds (exact or at the key frame
    // at or before); returns the new generation.
    std::uint64_t seek(double t, bool exact);

    // The sections playback follows: frames inside a cut part are not queued,
    // and the decoder jumps over the part as soon as it reaches it, ahead of
    // the playhead. From the next frame decoded on.
    void setTimeMap(const TimeMap& map);
    // Removes and returns the frame at the head of the queue when it belongs
    // to `generation` and starts at or before `latest` seconds; else null.
    std::shared_ptr<const PlayerFrame> take(std::uint64_t generation, double latest);

    // The stream of `generation` has no more frames (its end, or damage) and
    // the queue is empty.
    bool ended(std::uint64_t generation) const;

private:
    struct SeekRequest {
        double t;
        bool exact;
    };

    void run();
    // A pool buffer nobody else holds, or null when all are in use.
    std::shared_ptr<PlayerFrame> freeBuffer();

    const std::string path_;
    const OpenedFn opened_;
    const FailedFn failed_;

    // Decoding thread only.
    media::MovieReader reader_;
    std::vector<std::shared_ptr<PlayerFrame>> pool_;

    // Shared, guarded by mutex_.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::array<std::shared_ptr<const PlayerFrame>, kQueueCapacity> queue_;
    int queueHead_ = 0;
    int queueCount_ = 0;
    std::uint64_t generation_ = 0;
    std::optional<SeekRequest> pendingSeek_;
    TimeMap map_;
    bool streamEnded_ = false;
    bool stop_ = false;

    std::thread thread_; // last: starts once everything above exists
};

} // namespace orvane::ui
