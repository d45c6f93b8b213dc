#include "TempOutput.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvane {

namespace fs = std::filesystem;

TempOutput::TempOutput(std::string temp, std::string target)
    : temp_(std::move(temp)), target_(std::move(target)) {}

TempOutput::TempOutput(TempOutput&& other) noexcept
    : temp_(std::move(other.temp_)), target_(std::move(other.target_)),
      committed_(other.committed_) {
    other.temp_.clear();
}

TempOutput::~TempOutput() {
    if (!committed_ && !temp_.empty()) {
        std::error_code ec;
        fs::remove(fs::path(temp_), ec);
    }
}

Result<TempOutput> TempOutput::tryCreate(const std::string& target) {
    if (target.empty()) {
        return Result<TempOutput>::failure(ErrorKind::Invalid, "no output file was given");
    }
    const fs::path t(target);
    std::error_code ec;
    if (fs::is_directory(t, ec)) {
        return Result<TempOutput>::failure(ErrorKind::Invalid, target + " is a folder");
    }
    const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
    // mkstemps keeps the ".mp4" ending so nothing mistakes the file for
    // something else while it is being written.
    std::string pattern = (folder / ("." + t.filename().string() + ".XXXXXX.mp4")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) {
        const int err = errno;
        return Result<TempOutput>::failure(errorKindFromErrno(err), "cannot write in " +
                                                                       folder.string() + ": " +
                                                                       std::strerror(err));
    }
    // mkstemps makes the file private (0600); an exported video is an ordinary
    // document, readable like any other file the user saves.
    (void)::fchmod(fd, 0644);
    ::close(fd);
    return TempOutput(std::string(name.data()), target);
}

Result<void> TempOutput::commit() {
    std::error_code ec;
    fs::rename(fs::path(temp_), fs::path(target_), ec);
    if (ec) {
        // The destructor removes the temporary file.
        return Result<void>::failure(errorKindFromErrno(ec.value()),
                                     "cannot save " + target_ + ": " + ec.message());
    }
    committed_ = true;
    return {};
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    const bool same = fs::equivalent(fs::path(a), fs::path(b), ec);
    return !ec && same;
}

} // namespace orvane
