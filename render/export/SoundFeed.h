#pragma once

#include "render/export/BoundedQueue.h"
#include "media/SectionSound.h"
#include "media/SoundTracks.h"
#include "timeline/Result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvane {

class H264Writer;
class SoundReader;

// The export's sound: the source's sound tracks mixed at the export's gains
// (SoundReader::readMixed, soft limiter included) over exactly the exported
// range, read ahead in blocks on a thread of its own and handed to the writer
// by the thread that writes the video, so the two stay interleaved in time.
//
// Output frame 0 is source time `start`, the same instant as the export's
// output time 0; the feed ends after `length` seconds of output (rounded to
// the frame). The sound follows `map`'s sections (SectionSound).
//
// Threads: open(), start() and the destructor on the export's main thread;
// writeUntil() on one thread at a time (the video's writer thread, then, once
// that has ended, the main thread); close() from any thread.
class SoundFeed {
public:
    // A feed for `source`, or nothing when the export has no sound to write:
    // the source has no sound track, or each track it has is muted in `mix`,
    // or its sound cannot be read at all (the picture is exported anyway).
    static std::unique_ptr<SoundFeed> open(const std::string& source, const SoundMix& mix,
                                           double start, double length,
                                           const TimeMap& map = {});
    ~SoundFeed();
    SoundFeed(const SoundFeed&) = delete;
    SoundFeed& operator=(const SoundFeed&) = delete;

    // Starts reading ahead.
    void start();
    // Writes the sound up to `seconds` of output time (at most to the feed's
    // end) into `writer`, waiting for the reading thread where it is behind.
    // Fails when the writer fails.
    Result<void> writeUntil(H264Writer& writer, double seconds);
    // Frames of output the feed holds in all.
    std::int64_t totalFrames() const { return total_; }
    std::int64_t framesWritten() const { return written_; }
    // Stops the reading thread soon; writeUntil() then stops waiting.
    void close();

private:
    struct Block {
        std::vector<float> samples; // interleaved L R
        int frames = 0;
    };
    SoundFeed(std::unique_ptr<SoundReader> reader, const SoundMix& mix, double start,
              std::int64_t total, const TimeMap& map);
    void run();

    std::unique_ptr<SoundReader> reader_;
    SectionSound sections_; // reads reader_ on the output clock
    SoundMix mix_;
    double start_ = 0;
    std::int64_t total_ = 0;
    BoundedQueue<Block> blocks_;
    TimeMap map_;
    std::thread thread_;

    // Writer side.
    std::optional<Block> current_;
    int used_ = 0; // frames of current_ already written
    std::int64_t written_ = 0;
};

} // namespace orvane
