#pragma once

#include <string>
#include <utility>
#include <variant>

namespace orvane {

// What kind of failure an error is, for callers that react differently to
// them (a full disk is said differently from a missing file, a cancel is not
// an error to show at all). The message says the rest.
enum class ErrorKind {
    NotFound,    // a file, device, window, display or service that is not there
    Permission,  // the system refused access
    NoSpace,     // the disk (or quota) is full
    Corrupt,     // data that cannot be read as what it claims to be
    Unsupported, // a format, size or feature this machine or program cannot handle
    Cancelled,   // the user or the caller called it off
    Invalid,     // a bad argument or option
    Io,          // any other failure to read, write, talk to or set something up
};

// A short, stable name of an error kind ("no space"), for logs and tests.
const char* errorKindName(ErrorKind kind);

// The kind that an errno value stands for (ENOSPC is NoSpace, EACCES is
// Permission, ENOENT is NotFound, ...); Io for anything else.
ErrorKind errorKindFromErrno(int errnoValue);

// One failure: its kind and a one-line message meant for the user (UTF-8).
struct Error {
    ErrorKind kind = ErrorKind::Io;
    std::string message;
};

// A value or an Error. Used wherever a fallible operation crosses a library
// boundary: no exceptions cross them. An Error converts to a failed Result of
// any type, so errors pass up with `return result.errorValue();`.
template <typename T>
class Result {
public:
    Result(T value) : data_(std::in_place_index<0>, std::move(value)) {} // NOLINT(google-explicit-constructor)
    Result(Error error) : data_(std::in_place_index<1>, std::move(error)) {} // NOLINT(google-explicit-constructor)

    static Result failure(ErrorKind kind, std::string message) {
        return Result(Error{kind, std::move(message)});
    }

    bool ok() const { return data_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Precondition: ok().
    T& value() { return std::get<0>(data_); }
    const T& value() const { return std::get<0>(data_); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // Precondition: !ok().
    const std::string& error() const { return std::get<1>(data_).message; }
    ErrorKind errorKind() const { return std::get<1>(data_).kind; }
    const Error& errorValue() const { return std::get<1>(data_); }

private:
    std::variant<T, Error> data_;
};

// Success without a value, or an Error.
template <>
class Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)), failed_(true) {} // NOLINT(google-explicit-constructor)

    static Result failure(ErrorKind kind, std::string message) {
        return Result(Error{kind, std::move(message)});
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }

    // Precondition: !ok().
    const std::string& error() const { return error_.message; }
    ErrorKind errorKind() const { return error_.kind; }
    const Error& errorValue() const { return error_; }

private:
    Error error_;
    bool failed_ = false;
};

} // namespace orvane
