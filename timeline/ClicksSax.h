#pragma once

#include "ClicksFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// Builds a ClicksFile straight from the events of nlohmann's SAX parser, so
// reading a sidecar needs no document tree: the memory is the file's text and
// the clicks found in it, whatever else the file holds (deep nesting, long
// arrays of other things). Problems with the content are noted and the parse
// goes on, so that a file that is not JSON at all is reported as such first,
// as a reader of the whole document would. Private to ClicksFile.cpp; the
// handler's method names and signatures are the ones nlohmann calls.
class ClicksSax {
public:
    // The result once the parser has returned true.
    Result<ClicksFile> finish();
    // The syntax error, once the parser has returned false.
    const std::string& syntaxError() const { return syntaxError_; }

    bool null();
    bool boolean(bool value);
    bool number_integer(std::int64_t value);
    bool number_unsigned(std::uint64_t value);
    bool number_float(double value, const std::string& text);
    bool string(std::string& value);
    bool binary(std::vector<std::uint8_t>& value);
    bool start_object(std::size_t elements);
    bool key(std::string& name);
    bool end_object();
    bool start_array(std::size_t elements);
    bool end_array();
    template <typename Exception>
    bool parse_error(std::size_t position, const std::string& lastToken, const Exception& ex) {
        (void)position;
        (void)lastToken;
        syntaxError_ = describeSyntaxError(ex.what());
        return false;
    }

private:
    // What a nesting level is: the ones that carry clicks, or anything else.
    enum class Level { Top, Moments, Moment, Other };
    enum class Field { None, Duration, Moments, T, X, Y };

    // Called when any value starts, with whether it is a number.
    void value(std::optional<double> number, bool opensArray, bool opensObject);
    void momentProblem(std::string text);
    std::string describeSyntaxError(const std::string& what) const;

    std::vector<Level> levels_; // open objects and arrays, outermost first
    Field field_ = Field::None; // the member whose value comes next
    bool topSeen_ = false;
    bool topIsObject_ = false;
    bool topDone_ = false;

    std::optional<double> duration_;
    bool durationNotNumber_ = false;
    bool momentsSeen_ = false;
    bool momentsNotArray_ = false;
    std::optional<std::string> momentError_; // the first bad moment
    std::vector<Moment> moments_;
    std::size_t momentIndex_ = 0;
    Moment current_;
    bool hasT_ = false, hasX_ = false, hasY_ = false;

    std::string syntaxError_;
};

} // namespace orvane
