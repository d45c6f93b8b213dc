#pragma once

#include "Result.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// A minimal JSON document model for the small files Orvane reads and writes
// (the clicks sidecar). Parsing is strict RFC 8259 with a nesting limit, so a
// hostile or damaged file yields an error message, never a crash.
class JsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    Type type() const { return type_; }
    bool isNumber() const { return type_ == Type::Number; }
    bool isArray() const { return type_ == Type::Array; }
    bool isObject() const { return type_ == Type::Object; }

    double number() const { return number_; }
    bool boolean() const { return bool_; }
    const std::string& string() const { return string_; }
    const std::vector<JsonValue>& array() const { return array_; }
    // Member lookup on an object; nullptr when absent or not an object.
    const JsonValue* member(std::string_view name) const;

    static Result<JsonValue> parse(std::string_view text);

private:
    friend class JsonParser;
    Type type_ = Type::Null;
    bool bool_ = false;
    double number_ = 0;
    std::string string_;
    std::vector<JsonValue> array_;
    std::vector<std::pair<std::string, JsonValue>> members_; // in file order
};

// Shortest text that reads back to exactly `value` (std::to_chars); integral
// values print without a fraction ("4", "0"). Precondition: value is finite.
std::string jsonNumber(double value);

} // namespace orvane
