#include "ClicksSax.h"

namespace orvane {

namespace {

// Longest excerpt of the parser's message kept, so that a huge broken token
// does not turn into a huge message.
constexpr std::size_t kMaxMessage = 160;

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos;
         at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
    }
}

} // namespace

void ClicksSax::momentProblem(std::string text) {
    if (!momentError_) {
        momentError_ = "moment " + std::to_string(momentIndex_) + " " + std::move(text);
    }
}

void ClicksSax::value(std::optional<double> number, bool opensArray, bool opensObject) {
    if (levels_.empty()) {
        topSeen_ = true;
        topIsObject_ = opensObject;
        if (!opensObject && !opensArray) {
            topDone_ = true;
        }
        return;
    }
    const Level parent = levels_.back();
    const Field field = field_;
    field_ = Field::None;
    if (parent == Level::Top) {
        if (field == Field::Duration) {
            duration_ = number;
            durationNotNumber_ = !number;
        } else if (field == Field::Moments) {
            // A later "moments" member replaces an earlier one, as the last
            // of duplicate names wins in a document reader.
            momentsSeen_ = true;
            momentsNotArray_ = !opensArray;
            moments_.clear();
            momentError_.reset();
            momentIndex_ = 0;
        }
    } else if (parent == Level::Moments) {
        if (!opensObject) {
            momentProblem("is not an object");
            ++momentIndex_;
        }
    } else if (parent == Level::Moment) {
        double* into = field == Field::T   ? &current_.t
                       : field == Field::X ? &current_.cx
                       : field == Field::Y ? &current_.cy
                                           : nullptr;
        bool* seen = field == Field::T   ? &hasT_
                     : field == Field::X ? &hasX_
                     : field == Field::Y ? &hasY_
                                         : nullptr;
        if (into != nullptr) {
            *seen = number.has_value();
            if (number) {
                *into = *number;
            }
        }
    }
}

bool ClicksSax::null() {
    value(std::nullopt, false, false);
    return true;
}

bool ClicksSax::boolean(bool) {
    value(std::nullopt, false, false);
    return true;
}

bool ClicksSax::number_integer(std::int64_t v) {
    value(static_cast<double>(v), false, false);
    return true;
}

bool ClicksSax::number_unsigned(std::uint64_t v) {
    value(static_cast<double>(v), false, false);
    return true;
}

bool ClicksSax::number_float(double v, const std::string&) {
    value(v, false, false);
    return true;
}

bool ClicksSax::string(std::string&) {
    value(std::nullopt, false, false);
    return true;
}

bool ClicksSax::binary(std::vector<std::uint8_t>&) {
    value(std::nullopt, false, false);
    return true;
}

bool ClicksSax::start_object(std::size_t) {
    const bool top = levels_.empty();
    const bool moment = !top && levels_.back() == Level::Moments;
    value(std::nullopt, false, true);
    if (top) {
        levels_.push_back(Level::Top);
    } else if (moment) {
        levels_.push_back(Level::Moment);
        current_ = Moment{};
        current_.hold = kRecordedHold;
        hasT_ = hasX_ = hasY_ = false;
    } else {
        levels_.push_back(Level::Other);
    }
    return true;
}

bool ClicksSax::key(std::string& name) {
    field_ = Field::None;
    if (levels_.back() == Level::Top) {
        if (name == "duration") {
            field_ = Field::Duration;
        } else if (name == "moments") {
            field_ = Field::Moments;
        }
    } else if (levels_.back() == Level::Moment) {
        if (name == "t") {
            field_ = Field::T;
        } else if (name == "x") {
            field_ = Field::X;
        } else if (name == "y") {
            field_ = Field::Y;
        }
    }
    return true;
}

bool ClicksSax::end_object() {
    const Level closed = levels_.back();
    levels_.pop_back();
    if (closed == Level::Moment) {
        const char* missing = !hasT_ ? "t" : !hasX_ ? "x" : !hasY_ ? "y" : nullptr;
        if (missing != nullptr) {
            momentProblem(std::string("has no numeric \"") + missing + "\"");
        } else if (!momentError_) {
            moments_.push_back(current_);
        }
        ++momentIndex_;
    }
    topDone_ = levels_.empty();
    return true;
}

bool ClicksSax::start_array(std::size_t) {
    const bool moments =
        !levels_.empty() && levels_.back() == Level::Top && field_ == Field::Moments;
    value(std::nullopt, true, false);
    levels_.push_back(moments ? Level::Moments : Level::Other);
    return true;
}

bool ClicksSax::end_array() {
    levels_.pop_back();
    topDone_ = levels_.empty();
    return true;
}

std::string ClicksSax::describeSyntaxError(const std::string& what) const {
    if (topDone_) {
        return "not valid JSON: unexpected text after the JSON value";
    }
    // "[json.exception.parse_error.101] parse error at line 1, column 5:
    // syntax error while parsing value - unexpected end of input; ..." becomes
    // "not valid JSON at line 1, column 5: unexpected end of file; ...".
    std::string text = what;
    if (const auto bracket = text.find("] ");
        text.rfind("[json.exception", 0) == 0 && bracket != std::string::npos) {
        text.erase(0, bracket + 2);
    }
    std::string where;
    if (text.rfind("parse error at ", 0) == 0) {
        const auto colon = text.find(": ");
        if (colon != std::string::npos) {
            where = " at " + text.substr(15, colon - 15);
            text.erase(0, colon + 2);
        }
    }
    if (const auto dash = text.find(" - ");
        text.rfind("syntax error", 0) == 0 && dash != std::string::npos) {
        text.erase(0, dash + 3);
    }
    replaceAll(text, "end of input", "end of file");
    replaceAll(text, "invalid string: missing closing quote", "unterminated string");
    replaceAll(text, "number overflow parsing", "number out of range:");
    if (text.size() > kMaxMessage) {
        text = text.substr(0, kMaxMessage) + "...";
    }
    return "not valid JSON" + where + ": " + text;
}

Result<ClicksFile> ClicksSax::finish() {
    using R = Result<ClicksFile>;
    if (!topSeen_ || !topIsObject_) {
        return R::failure(ErrorKind::Corrupt, "expected a JSON object at the top level");
    }
    if (durationNotNumber_) {
        return R::failure(ErrorKind::Corrupt, "\"duration\" is not a number");
    }
    if (!duration_) {
        return R::failure(ErrorKind::Corrupt, "missing \"duration\"");
    }
    if (!momentsSeen_) {
        return R::failure(ErrorKind::Corrupt, "missing \"moments\"");
    }
    if (momentsNotArray_) {
        return R::failure(ErrorKind::Corrupt, "\"moments\" is not an array");
    }
    if (momentError_) {
        return R::failure(ErrorKind::Corrupt, *momentError_);
    }
    ClicksFile file;
    file.duration = *duration_;
    file.moments = std::move(moments_);
    return file;
}

} // namespace orvane
