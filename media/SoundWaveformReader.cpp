#include "SoundWaveformReader.h"

#include "SoundReader.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace orvane {

namespace {

constexpr int kBucketFrames = static_cast<int>(kSoundRate * SoundWaveform::kBucketSeconds);
constexpr int kChunkBuckets = 100; // a second per read

} // namespace

Result<SoundWaveform> readSoundWaveform(const std::string& path, const std::atomic<bool>* cancel) {
    auto opened = SoundReader::open(path);
    if (!opened) {
        return opened.errorValue();
    }
    SoundReader& reader = *opened.value();
    SoundWaveform waveform;
    if (reader.empty()) {
        return waveform;
    }
    const double duration = std::isfinite(reader.duration()) ? reader.duration() : 0.0;
    const auto buckets =
        static_cast<std::size_t>(std::ceil(std::max(duration, 0.0) / SoundWaveform::kBucketSeconds));
    std::vector<float> chunk(static_cast<std::size_t>(kChunkBuckets) * kBucketFrames * kSoundChannels);
    for (SoundKind kind : reader.kinds()) {
        std::vector<float>& peaks =
            kind == SoundKind::Microphone ? waveform.microphone : waveform.desktop;
        peaks.assign(buckets, 0.0f);
        for (std::size_t first = 0; first < buckets; first += kChunkBuckets) {
            if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
                return Error{ErrorKind::Cancelled, "cancelled"};
            }
            const std::size_t count = std::min<std::size_t>(kChunkBuckets, buckets - first);
            reader.read(kind, chunk.data(), static_cast<int>(count) * kBucketFrames);
            for (std::size_t b = 0; b < count; ++b) {
                const float* from = chunk.data() + b * kBucketFrames * kSoundChannels;
                float peak = 0.0f;
                for (int i = 0; i < kBucketFrames * kSoundChannels; ++i) {
                    peak = std::max(peak, std::fabs(from[i]));
                }
                peaks[first + b] = std::min(peak, 1.0f);
            }
        }
    }
    return waveform;
}

} // namespace orvane
