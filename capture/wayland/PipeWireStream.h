#pragma once

// Internal to the Wayland backend: the portal's PipeWire node as pictures and
// cursor reports.

#include "PipeWireLoop.h"
#include "StreamCursorTrack.h"

#include "capture/CursorShape.h"
#include "timeline/Result.h"

#include <QRect>
#include <QSize>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

struct pw_stream;
struct spa_hook;
struct spa_pod;

namespace orvane::wayland {

// One picture as the compositor last sent it, already cropped to what is
// shared and in BGRA byte order. Immutable once published.
struct StreamPicture {
    std::vector<std::uint8_t> bgra;
    int width = 0;  // pixels
    int height = 0; // pixels
    int stride = 0; // bytes
    double hostTime = 0; // hostTime() when it was read
    std::uint64_t sequence = 0; // counts the pictures of a stream, from 1
};

// Consumes a screen-cast node: negotiates shared-memory frames in the 32-bit
// formats compositors offer (BGRx, BGRA, RGBx, RGBA), asks for the Header,
// VideoCrop and Cursor metadata (the cursor bitmap as a size range up to
// 1024 x 1024: a smaller ceiling yields no cursor at all on some
// compositors), keeps the newest picture and reports the cursor of every
// buffer to a StreamCursorTrack.
//
// Threads: created and destroyed on the main thread; PipeWire calls back on
// the loop's thread, which only copies the newest buffer and never waits for
// anyone. latest() and the counters may be read on any thread.
class PipeWireStream {
public:
    struct Options {
        double pixelScale = 1; // stream pixels per logical pixel (cursor positions are logical)
        HandShapeSet hands;    // shapes of the pointing hand
    };

    // Connects to `node` over `fd` (owned from here on).
    static Result<std::unique_ptr<PipeWireStream>> tryCreate(
        int fd, std::uint32_t node, std::shared_ptr<StreamCursorTrack> cursor, Options options);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Waits up to `timeoutMs` for the first picture; its size. Fails when the
    // stream ends or nothing comes.
    Result<QSize> waitForFirstPicture(int timeoutMs);
    // The newest picture; null before the first.
    std::shared_ptr<const StreamPicture> latest() const;
    // True once the compositor ended the stream (or it failed).
    bool ended() const { return ended_.load(); }
    std::int64_t picturesReceived() const { return received_.load(); }

    struct Callbacks; // the C callbacks, in the .cpp

private:
    PipeWireStream() = default;
    void onFormat(const spa_pod* param);
    void onProcess();
    void onState(int state);
    void publish(std::shared_ptr<StreamPicture> picture);
    std::shared_ptr<StreamPicture> freeBuffer();

    std::unique_ptr<PipeWireLoop> loop_;
    pw_stream* stream_ = nullptr;
    std::unique_ptr<spa_hook> listener_;
    std::shared_ptr<StreamCursorTrack> cursor_;
    Options options_;

    // Loop thread only.
    std::uint32_t format_ = 0; // spa_video_format
    QSize size_;
    bool hand_ = false;        // the last bitmap was the hand
    std::vector<std::shared_ptr<StreamPicture>> pool_;
    std::uint64_t sequence_ = 0;

    mutable std::mutex mutex_; // guards latest_; a leaf lock
    std::condition_variable firstPicture_;
    std::shared_ptr<const StreamPicture> latest_;
    std::atomic<bool> ended_{false};
    std::atomic<std::int64_t> received_{0};
};

} // namespace orvane::wayland
