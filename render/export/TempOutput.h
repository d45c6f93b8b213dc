#pragma once

#include "timeline/Result.h"

#include <chrono>
#include <string>

namespace orvane {

// The file an export writes before it has succeeded: a hidden, uniquely named
// file in the target's own folder (so the final rename stays on one file system
// and is atomic). commit() renames it over the target, replacing an earlier
// export of the same name; if it is never committed the destructor deletes it,
// so a failed or cancelled export leaves neither a half file under the chosen
// name nor a stray temporary file. One thread at a time.
//
// The target must be a regular file or a name not yet taken. A symbolic link
// is followed to the file it points to, which is what gets replaced: the link
// stays a link. FIFOs, devices, sockets and folders are refused, because a
// rename would put the video in their place (as root, `-o /dev/full` would
// replace the device).
//
// Temporary files are named ".<target name>.orvane-XXXXXX.mp4". A process
// killed outright (SIGKILL, power loss) cannot delete its own, so each new
// export removes those in its folder that are older than kStaleAge; younger
// ones may belong to an export still running and are left alone.
class TempOutput {
public:
    // Temporary files last written longer ago than this are leftovers.
    static constexpr std::chrono::hours kStaleAge{24};

    // Creates the temporary file for `target` (UTF-8). Fails with a one-line
    // message when the target is a special file or a folder, or its folder does
    // not exist or cannot be written.
    static Result<TempOutput> tryCreate(const std::string& target);

    TempOutput(TempOutput&& other) noexcept;
    TempOutput& operator=(TempOutput&&) = delete;
    TempOutput(const TempOutput&) = delete;
    TempOutput& operator=(const TempOutput&) = delete;
    ~TempOutput();

    const std::string& path() const { return temp_; }
    // The name the caller asked for.
    const std::string& target() const { return target_; }
    // The file the rename replaces: the target, or the file its links lead to.
    const std::string& destination() const { return destination_; }

    // Moves the file into place. Fails with a message when the rename fails
    // (the temporary file is then deleted).
    Result<void> commit();

private:
    TempOutput(std::string temp, std::string target, std::string destination);
    std::string temp_;
    std::string target_;
    std::string destination_;
    bool committed_ = false;
};

// True when `name` (a file name without folder) has the form of a temporary
// export file.
bool isTempOutputName(const std::string& name);

// Deletes the temporary export files in `folder` last modified more than
// `maxAge` ago (regular files only). Returns how many were deleted; errors are
// ignored, a leftover is only clutter.
int removeStaleTempOutputs(const std::string& folder, std::chrono::seconds maxAge);

// True when `a` and `b` name the same existing file (same device and inode:
// through symbolic or hard links or a different spelling of the path).
bool sameFile(const std::string& a, const std::string& b);

} // namespace orvane
