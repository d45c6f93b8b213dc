#include "SectionSound.h"

#include "media/SoundReader.h"
#include "media/SoundTracks.h"
#include "media/TimeStretch.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {
// Input read per stretch refill: a little over 20 ms.
constexpr int kStretchBlock = 1024;

std::int64_t frameAt(double seconds) { return std::llround(seconds * kSoundRate); }
} // namespace

SectionSound::SectionSound(SoundReader& reader, TimeMap map) : reader_(reader), map_(std::move(map)) {
    for (const TimeMap::Piece& p : map_.pieces()) {
        starts_.push_back(frameAt(p.outStart));
        ends_.push_back(frameAt(p.outEnd));
    }
    if (!map_.pieces().empty()) {
        const TimeMap::Piece& last = map_.pieces().back();
        // The last piece runs on when nothing after it is cut: the movie may
        // be a little longer than the take said.
        openEnded_ = map_.pieceAt(last.takeEnd) == &last;
    }
}

SectionSound::~SectionSound() = default;

void SectionSound::seek(double seconds) {
    pos_ = std::max<std::int64_t>(frameAt(std::isfinite(seconds) ? seconds : 0), 0);
    piece_.reset();
    tail_.clear();
    faded_ = 0;
    if (map_.identity()) {
        reader_.seek(static_cast<double>(pos_) / kSoundRate);
    }
}

bool SectionSound::continues(std::size_t i) const {
    const auto& pieces = map_.pieces();
    if (i + 1 >= pieces.size()) {
        return false;
    }
    const TimeMap::Piece& a = pieces[i];
    const TimeMap::Piece& b = pieces[i + 1];
    return a.takeEnd == b.takeStart && a.speed == 1 && b.speed == 1 && a.muted == b.muted;
}

void SectionSound::enter(std::size_t i) {
    const TimeMap::Piece& p = map_.pieces()[i];
    piece_ = i;
    const double into = static_cast<double>(pos_ - starts_[i]) / kSoundRate;
    stretch_.reset();
    ready_.clear();
    readyAt_ = 0;
    if (p.muted) {
        return;
    }
    reader_.seek(p.takeStart + into * p.speed);
    if (p.speed != 1) {
        stretch_ = TimeStretch::create(p.speed);
    }
}

void SectionSound::produce(float* out, int frames, const SoundMix& mix) {
    const TimeMap::Piece& p = map_.pieces()[*piece_];
    const std::size_t samples = static_cast<std::size_t>(frames) * kSoundChannels;
    if (p.muted || (p.speed != 1 && !stretch_)) {
        std::fill(out, out + samples, 0.0F);
        return;
    }
    if (p.speed == 1) {
        reader_.readMixed(out, frames, mix);
        return;
    }
    // Stretched: the reader gives silence past the movie's end, so the
    // filter is fed until it has enough.
    scratch_.resize(static_cast<std::size_t>(kStretchBlock) * kSoundChannels);
    while (ready_.size() - readyAt_ < samples) {
        if (readyAt_ > 0) {
            ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(readyAt_));
            readyAt_ = 0;
        }
        reader_.readMixed(scratch_.data(), kStretchBlock, mix);
        if (!stretch_->push(scratch_.data(), kStretchBlock)) {
            stretch_.reset();
            std::fill(out, out + samples, 0.0F);
            return;
        }
        stretch_->pull(ready_);
    }
    std::copy_n(ready_.begin() + static_cast<std::ptrdiff_t>(readyAt_), samples, out);
    readyAt_ += samples;
}

void SectionSound::readMixed(float* out, int frames, const SoundMix& mix) {
    if (map_.identity()) {
        reader_.readMixed(out, frames, mix);
        pos_ += frames;
        return;
    }
    const std::size_t count = map_.pieces().size();
    while (frames > 0) {
        // The piece at pos_: the last one that starts at or before it.
        const auto it = std::upper_bound(starts_.begin(), starts_.end(), pos_);
        const bool before = it == starts_.begin();
        const std::size_t i = before ? 0 : static_cast<std::size_t>(it - starts_.begin()) - 1;
        const bool last = i + 1 == count;
        const bool past = count == 0 || (pos_ >= ends_[i] && !(last && openEnded_));
        if (past || (before && pos_ < starts_[0])) {
            // Nothing kept here: the output has ended.
            const int n = frames;
            std::fill(out, out + static_cast<std::ptrdiff_t>(n) * kSoundChannels, 0.0F);
            pos_ += n;
            return;
        }
        if (piece_ != i) {
            enter(i);
        }
        const std::int64_t left = last && openEnded_ ? frames : ends_[i] - pos_;
        const int n = static_cast<int>(std::min<std::int64_t>(frames, left));
        produce(out, n, mix);
        // The first frames after a join fade in over the previous piece's
        // continuation fading out.
        if (!tail_.empty()) {
            const int k = std::min(n, kCrossfadeFrames - faded_);
            for (int f = 0; f < k; ++f) {
                const float w = (static_cast<float>(faded_ + f) + 0.5F) / kCrossfadeFrames;
                for (int c = 0; c < kSoundChannels; ++c) {
                    float& s = out[f * kSoundChannels + c];
                    s = s * w + tail_[static_cast<std::size_t>((faded_ + f) * kSoundChannels + c)] * (1 - w);
                }
            }
            faded_ += k;
            if (faded_ >= kCrossfadeFrames) {
                tail_.clear();
            }
        }
        pos_ += n;
        out += static_cast<std::ptrdiff_t>(n) * kSoundChannels;
        frames -= n;
        if (!last && pos_ >= ends_[i]) {
            if (continues(i)) {
                piece_ = i + 1; // the reader is already where the next piece begins
            } else {
                tail_.assign(static_cast<std::size_t>(kCrossfadeFrames) * kSoundChannels, 0.0F);
                produce(tail_.data(), kCrossfadeFrames, mix);
                faded_ = 0;
                piece_.reset();
            }
        }
    }
}

} // namespace orvane
