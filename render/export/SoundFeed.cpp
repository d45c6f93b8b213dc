#include "SoundFeed.h"

#include "render/export/H264Writer.h"
#include "media/SoundReader.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

// A tenth of a second per block, and a second read ahead at most: enough to
// keep the writer from waiting, little enough to cost nothing in memory.
constexpr int kBlockFrames = kSoundRate / 10;
constexpr std::size_t kBlocksAhead = 10;

} // namespace

std::unique_ptr<SoundFeed> SoundFeed::open(const std::string& source, const SoundMix& mix,
                                           double start, double length,
                                           const TimeMap& map) {
    if (!std::isfinite(start) || !std::isfinite(length) || length <= 0) {
        return nullptr;
    }
    auto reader = SoundReader::open(source);
    if (!reader || reader.value()->empty()) {
        return nullptr;
    }
    const auto& kinds = reader.value()->kinds();
    const bool audible =
        std::any_of(kinds.begin(), kinds.end(), [&](SoundKind k) { return !mix.muted(k); });
    if (!audible) {
        return nullptr;
    }
    const std::int64_t total = std::llround(length * kSoundRate);
    if (total <= 0) {
        return nullptr;
    }
    return std::unique_ptr<SoundFeed>(
        new SoundFeed(std::move(reader.value()), mix, std::max(start, 0.0), total, map));
}

SoundFeed::SoundFeed(std::unique_ptr<SoundReader> reader, const SoundMix& mix, double start,
                     std::int64_t total, const TimeMap& map)
    : reader_(std::move(reader)), sections_(*reader_, map), mix_(mix), start_(start),
      total_(total), blocks_(kBlocksAhead), map_(map) {}

SoundFeed::~SoundFeed() {
    close();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SoundFeed::start() {
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { run(); });
    }
}

void SoundFeed::close() { blocks_.close(); }

void SoundFeed::run() {
    sections_.seek(map_.outputTime(start_));
    std::int64_t produced = 0;
    while (produced < total_) {
        Block block;
        block.frames = static_cast<int>(std::min<std::int64_t>(kBlockFrames, total_ - produced));
        block.samples.resize(static_cast<std::size_t>(block.frames) * kSoundChannels);
        sections_.readMixed(block.samples.data(), block.frames, mix_);
        produced += block.frames;
        if (!blocks_.push(std::move(block))) {
            return; // closed: the export stopped
        }
    }
    blocks_.close();
}

Result<void> SoundFeed::writeUntil(H264Writer& writer, double seconds) {
    if (!std::isfinite(seconds)) {
        return {};
    }
    const std::int64_t target =
        std::min<std::int64_t>(total_, std::llround(std::max(seconds, 0.0) * kSoundRate));
    while (written_ < target) {
        if (!current_ || used_ >= current_->frames) {
            current_ = blocks_.pop();
            used_ = 0;
            if (!current_) {
                return {}; // closed: nothing more comes
            }
        }
        const int n = static_cast<int>(
            std::min<std::int64_t>(current_->frames - used_, target - written_));
        const float* from =
            current_->samples.data() + static_cast<std::ptrdiff_t>(used_) * kSoundChannels;
        if (auto ok = writer.writeSound(from, n); !ok) {
            return ok;
        }
        used_ += n;
        written_ += n;
    }
    return {};
}

} // namespace orvane
