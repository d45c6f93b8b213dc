#include "Json.h"

#include <charconv>
#include <cmath>

namespace orvane {

namespace {
constexpr int kMaxDepth = 64;
} // namespace

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    Result<JsonValue> run() {
        JsonValue v;
        if (!value(v, 0)) {
            return Result<JsonValue>::failure(ErrorKind::Corrupt, error_);
        }
        skipSpace();
        if (pos_ != text_.size()) {
            return Result<JsonValue>::failure(ErrorKind::Corrupt, at("unexpected text after the JSON value"));
        }
        return v;
    }

private:
    std::string at(const std::string& what) const {
        return what + " at byte " + std::to_string(pos_);
    }
    bool fail(const std::string& what) {
        if (error_.empty()) {
            error_ = at(what);
        }
        return false;
    }
    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }
    bool literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) {
            return fail("invalid literal");
        }
        pos_ += word.size();
        return true;
    }

    bool value(JsonValue& out, int depth) {
        if (depth > kMaxDepth) {
            return fail("JSON nested too deeply");
        }
        skipSpace();
        if (pos_ >= text_.size()) {
            return fail("unexpected end of file");
        }
        const char c = text_[pos_];
        switch (c) {
        case '{':
            return object(out, depth);
        case '[':
            return array(out, depth);
        case '"':
            out.type_ = JsonValue::Type::String;
            return string(out.string_);
        case 't':
            out.type_ = JsonValue::Type::Bool;
            out.bool_ = true;
            return literal("true");
        case 'f':
            out.type_ = JsonValue::Type::Bool;
            out.bool_ = false;
            return literal("false");
        case 'n':
            out.type_ = JsonValue::Type::Null;
            return literal("null");
        default:
            return number(out);
        }
    }

    bool number(JsonValue& out) {
        const std::size_t begin = pos_;
        // Validate the RFC 8259 grammar; from_chars alone accepts "inf" and the like.
        if (pos_ < text_.size() && text_[pos_] == '-') {
            ++pos_;
        }
        auto digits = [&] {
            const std::size_t s = pos_;
            while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
                ++pos_;
            }
            return pos_ - s;
        };
        const std::size_t intStart = pos_;
        if (digits() == 0) {
            return fail("invalid value");
        }
        if (text_[intStart] == '0' && pos_ - intStart > 1) {
            return fail("invalid number");
        }
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            if (digits() == 0) {
                return fail("invalid number");
            }
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
                ++pos_;
            }
            if (digits() == 0) {
                return fail("invalid number");
            }
        }
        double v = 0;
        const auto res = std::from_chars(text_.data() + begin, text_.data() + pos_, v);
        if (res.ec != std::errc() || !std::isfinite(v)) {
            return fail("number out of range");
        }
        out.type_ = JsonValue::Type::Number;
        out.number_ = v;
        return true;
    }

    bool string(std::string& out) {
        ++pos_; // opening quote
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return fail("control character in string");
            }
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (pos_ >= text_.size()) {
                break;
            }
            const char e = text_[pos_++];
            switch (e) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '/': out.push_back('/'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u': {
                if (pos_ + 4 > text_.size()) {
                    return fail("bad unicode escape");
                }
                unsigned code = 0;
                const auto res = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, code, 16);
                if (res.ec != std::errc() || res.ptr != text_.data() + pos_ + 4) {
                    return fail("bad unicode escape");
                }
                pos_ += 4;
                // Member names we read are ASCII; other code points are kept as UTF-8
                // of the BMP value (surrogate pairs are not combined).
                if (code < 0x80) {
                    out.push_back(static_cast<char>(code));
                } else if (code < 0x800) {
                    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
                    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                } else {
                    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
                    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                }
                break;
            }
            default:
                return fail("bad escape in string");
            }
        }
        return fail("unterminated string");
    }

    bool array(JsonValue& out, int depth) {
        out.type_ = JsonValue::Type::Array;
        ++pos_;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == ']') {
            ++pos_;
            return true;
        }
        while (true) {
            JsonValue item;
            if (!value(item, depth + 1)) {
                return false;
            }
            out.array_.push_back(std::move(item));
            skipSpace();
            if (pos_ >= text_.size()) {
                return fail("unterminated array");
            }
            if (text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (text_[pos_] == ']') {
                ++pos_;
                return true;
            }
            return fail("expected ',' or ']'");
        }
    }

    bool object(JsonValue& out, int depth) {
        out.type_ = JsonValue::Type::Object;
        ++pos_;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == '}') {
            ++pos_;
            return true;
        }
        while (true) {
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_] != '"') {
                return fail("expected a member name");
            }
            std::string name;
            if (!string(name)) {
                return false;
            }
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_] != ':') {
                return fail("expected ':'");
            }
            ++pos_;
            JsonValue item;
            if (!value(item, depth + 1)) {
                return false;
            }
            out.members_.emplace_back(std::move(name), std::move(item));
            skipSpace();
            if (pos_ >= text_.size()) {
                return fail("unterminated object");
            }
            if (text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (text_[pos_] == '}') {
                ++pos_;
                return true;
            }
            return fail("expected ',' or '}'");
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string error_;
};

Result<JsonValue> JsonValue::parse(std::string_view text) {
    return JsonParser(text).run();
}

const JsonValue* JsonValue::member(std::string_view name) const {
    for (const auto& [key, v] : members_) {
        if (key == name) {
            return &v;
        }
    }
    return nullptr;
}

std::string jsonNumber(double value) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

} // namespace orvane
