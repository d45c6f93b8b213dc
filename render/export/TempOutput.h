#pragma once

#include "timeline/Result.h"

#include <string>

namespace orvane {

// The file an export writes before it has succeeded: a hidden, uniquely named
// file in the target's own folder (so the final rename stays on one file system
// and is atomic). commit() renames it over the target, replacing an earlier
// export of the same name; if it is never committed the destructor deletes it,
// so a failed or cancelled export leaves neither a half file under the chosen
// name nor a stray temporary file. One thread at a time.
class TempOutput {
public:
    // Creates the temporary file beside `target` (UTF-8). Fails with a one-line
    // message when the folder does not exist or cannot be written.
    static Result<TempOutput> tryCreate(const std::string& target);

    TempOutput(TempOutput&& other) noexcept;
    TempOutput& operator=(TempOutput&&) = delete;
    TempOutput(const TempOutput&) = delete;
    TempOutput& operator=(const TempOutput&) = delete;
    ~TempOutput();

    const std::string& path() const { return temp_; }
    const std::string& target() const { return target_; }

    // Moves the file into place. Fails with a message when the rename fails
    // (the temporary file is then deleted).
    Result<void> commit();

private:
    TempOutput(std::string temp, std::string target);
    std::string temp_;
    std::string target_;
    bool committed_ = false;
};

// True when `a` and `b` name the same existing file (through links or a
// different spelling of the path).
bool sameFile(const std::string& a, const std::string& b);

} // namespace orvane
