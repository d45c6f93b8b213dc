#pragma once

// Telling the pointing-hand cursor from the others, by the cursor's name where
// the platform names cursors and by its shape where it does not. Pure
// functions and a value type: any thread.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace orvane {

// Cursor themes name their cursors, and the pointing hand goes by several
// names: hand1, hand2, hand, pointer, pointing_hand and the hash aliases
// themes carry for toolkits that look cursors up by the hash of their bitmap.
bool isHandCursorName(std::string_view name);

// The hash of a cursor shape: its size and which of its pixels are not
// transparent (row by row, `opaque` holds width x height flags). Colours do
// not count, so a shape matches however it is tinted or anti-aliased inside.
std::uint64_t cursorShapeHash(int width, int height, const std::vector<bool>& opaque);
// The same for width x height 32-bit pixels whose alpha is the top byte
// (premultiplied ARGB as X11 and most compositors report cursors), rows
// `stridePixels` apart.
std::uint64_t cursorShapeHashArgb(int width, int height, const std::uint32_t* argb,
                                  std::size_t stridePixels);

// The shapes known to be the pointing hand.
class HandShapeSet {
public:
    void add(std::uint64_t shapeHash) { hashes_.insert(shapeHash); }
    void merge(const HandShapeSet& other) { hashes_.insert(other.hashes_.begin(), other.hashes_.end()); }
    std::size_t size() const { return hashes_.size(); }
    bool contains(std::uint64_t shapeHash) const { return hashes_.count(shapeHash) != 0; }
    // Whether the ARGB cursor image (see cursorShapeHashArgb) is one of them.
    bool matches(int width, int height, const std::uint32_t* argb, std::size_t stridePixels) const;

private:
    std::unordered_set<std::uint64_t> hashes_;
};

} // namespace orvane
