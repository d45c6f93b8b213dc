#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

// A 128-bit identifier. Zoom segments are keyed by one so that views can find a
// segment again after the list is re-sorted.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // A fresh random version-4 UUID (RFC 4122 variant). Thread-safe: each thread
    // draws from its own generator seeded from std::random_device.
    static Uuid random();

    // Lower-case 8-4-4-4-12 form, e.g. "1b4e28ba-2fa1-4d2e-883f-0016d3cca427".
    std::string toString() const;
    // Reads the 8-4-4-4-12 form (either case); nothing for any other text.
    static std::optional<Uuid> fromString(const std::string& text);

    bool isNil() const;
    friend bool operator==(const Uuid&, const Uuid&) = default;
};

} // namespace orvane
