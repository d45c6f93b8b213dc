#pragma once

#include <QImage>
#include <map>
#include <optional>

// Scaled-down photographs for the user interface, decoded at reduced size
// (JPEG scales at the DCT), the file's orientation applied. Entries are kept
// for the life of the process. Main thread only.

namespace orvane {

// Image number (0...26) to a decoded image whose larger side is at most
// maxSide pixels. A missing or undecodable file returns none and stores nothing,
// so a later call tries again.
class ScaledBackgroundCache {
public:
    explicit ScaledBackgroundCache(int maxSide) : maxSide_(maxSide) {}
    std::optional<QImage> get(int image);
    int maxSide() const { return maxSide_; }

private:
    int maxSide_;
    std::map<int, QImage> entries_;
};

// The preview-size images (larger side at most 1600), for the live preview.
class BGPreviews {
public:
    static constexpr int kMaxSide = 1600;
    static BGPreviews& shared();
    std::optional<QImage> image(int i) { return cache_.get(i); }

private:
    ScaledBackgroundCache cache_{kMaxSide};
};

// The swatch-size images (larger side at most 140), for the inspector.
class BGThumbs {
public:
    static constexpr int kMaxSide = 140;
    static BGThumbs& shared();
    std::optional<QImage> thumb(int i) { return cache_.get(i); }

private:
    ScaledBackgroundCache cache_{kMaxSide};
};

} // namespace orvane
