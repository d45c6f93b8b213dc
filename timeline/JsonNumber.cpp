#include "JsonNumber.h"

#include <charconv>

namespace orvane {

std::string jsonNumber(double value) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

} // namespace orvane
