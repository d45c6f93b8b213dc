#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace orvane {

// A value or a one-line error message meant for the user. Used wherever a
// fallible operation crosses a library boundary: no exceptions cross them.
template <typename T>
class Result {
public:
    Result(T value) : data_(std::move(value)) {} // NOLINT(google-explicit-constructor)

    static Result failure(std::string message) { return Result(Error{std::move(message)}); }

    bool ok() const { return std::holds_alternative<T>(data_); }
    explicit operator bool() const { return ok(); }

    // Precondition: ok().
    T& value() { return std::get<T>(data_); }
    const T& value() const { return std::get<T>(data_); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // Precondition: !ok().
    const std::string& error() const { return std::get<Error>(data_).message; }

private:
    struct Error {
        std::string message;
    };
    explicit Result(Error e) : data_(std::in_place_index<1>, std::move(e)) {}
    std::variant<T, Error> data_;
};

} // namespace orvane
