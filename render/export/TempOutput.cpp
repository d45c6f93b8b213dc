#include "TempOutput.h"

#include <fstream>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace orvane {

namespace fs = std::filesystem;

namespace {

// The process's umask, read without changing it: umask() sets while it
// reads, which would race with files other threads create meanwhile.
mode_t processUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8) & 0777);
        }
    }
    return 022; // kernels before 4.7 do not say: the usual one
}


constexpr const char* kTempMarker = ".orvane-";
constexpr const char* kTempEnding = ".mp4";
constexpr std::size_t kUniqueChars = 6; // mkstemps's XXXXXX
// The kernel's own limit on links followed while resolving one path.
constexpr int kMaxLinkHops = 40;

// What kind of thing a special file is, for the message that refuses it.
std::string kindOf(const struct stat& st) {
    if (S_ISFIFO(st.st_mode)) {
        return "a FIFO (named pipe)";
    }
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        return "a device";
    }
    if (S_ISSOCK(st.st_mode)) {
        return "a socket";
    }
    return "a special file";
}

// Follows symbolic links from `target` to the name a rename has to replace.
// A link that leads nowhere yields the name it leads to: the export creates it.
Result<fs::path> resolveLinks(const std::string& target) {
    fs::path p(target);
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return p;
        }
        std::error_code ec;
        const fs::path next = fs::read_symlink(p, ec);
        if (ec) {
            return Result<fs::path>::failure(errorKindFromErrno(ec.value()),
                                             "cannot follow the link " + target + ": " +
                                                 ec.message());
        }
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    return Result<fs::path>::failure(ErrorKind::Invalid, target + " is a loop of symbolic links");
}

} // namespace

TempOutput::TempOutput(std::string temp, std::string target, std::string destination)
    : temp_(std::move(temp)), target_(std::move(target)), destination_(std::move(destination)) {}

TempOutput::TempOutput(TempOutput&& other) noexcept
    : temp_(std::move(other.temp_)), target_(std::move(other.target_)),
      destination_(std::move(other.destination_)), committed_(other.committed_) {
    other.temp_.clear();
}

TempOutput::~TempOutput() {
    if (!committed_ && !temp_.empty()) {
        std::error_code ec;
        fs::remove(fs::path(temp_), ec);
    }
}

Result<TempOutput> TempOutput::tryCreate(const std::string& target) {
    using R = Result<TempOutput>;
    if (target.empty()) {
        return R::failure(ErrorKind::Invalid, "no output file was given");
    }
    // The kernel's own view first: wherever the links lead, a special file at
    // the end of them is refused.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return R::failure(ErrorKind::Invalid, target + " is " + kindOf(st) +
                                                  ", not a regular file: choose a file "
                                                  "name for the video");
    }
    auto resolved = resolveLinks(target);
    if (!resolved) {
        return resolved.errorValue();
    }
    const fs::path t = resolved.value();
    if (::stat(t.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return R::failure(ErrorKind::Invalid, target + " is a folder");
        }
        if (!S_ISREG(st.st_mode)) {
            return R::failure(ErrorKind::Invalid, target + " is " + kindOf(st) +
                                                      ", not a regular file: choose a file "
                                                      "name for the video");
        }
    }
    const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
    removeStaleTempOutputs(folder.string(), kStaleAge);
    // mkstemps keeps the ".mp4" ending so nothing mistakes the file for
    // something else while it is being written.
    std::string pattern = (folder / ("." + t.filename().string() + kTempMarker +
                                     std::string(kUniqueChars, 'X') + kTempEnding))
                              .string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), static_cast<int>(std::strlen(kTempEnding)));
    if (fd < 0) {
        const int err = errno;
        return R::failure(errorKindFromErrno(err),
                          "cannot write in " + folder.string() + ": " + std::strerror(err));
    }
    // mkstemps makes the file private (0600); an exported video is an ordinary
    // document, with the permissions the user's umask gives every file saved.
    (void)::fchmod(fd, 0666 & ~processUmask());
    ::close(fd);
    return TempOutput(std::string(name.data()), target, t.string());
}

Result<void> TempOutput::commit() {
    std::error_code ec;
    fs::rename(fs::path(temp_), fs::path(destination_), ec);
    if (ec) {
        // The destructor removes the temporary file.
        return Result<void>::failure(errorKindFromErrno(ec.value()),
                                     "cannot save " + target_ + ": " + ec.message());
    }
    committed_ = true;
    return {};
}

bool isTempOutputName(const std::string& name) {
    const std::string marker = kTempMarker;
    const std::string ending = kTempEnding;
    const std::size_t tail = marker.size() + kUniqueChars + ending.size();
    // A dot, at least one character of the target's name, then the tail.
    if (name.size() < tail + 2 || name[0] != '.') {
        return false;
    }
    const std::size_t at = name.size() - tail;
    if (name.compare(at, marker.size(), marker) != 0 ||
        name.compare(name.size() - ending.size(), ending.size(), ending) != 0) {
        return false;
    }
    for (std::size_t i = at + marker.size(); i < at + marker.size() + kUniqueChars; ++i) {
        const char c = name[i];
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum) {
            return false;
        }
    }
    return true;
}

int removeStaleTempOutputs(const std::string& folder, std::chrono::seconds maxAge) {
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec) {
        return 0;
    }
    const auto now = fs::file_time_type::clock::now();
    int removed = 0;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        const fs::directory_entry& entry = *it;
        std::error_code entryError;
        if (!isTempOutputName(entry.path().filename().string()) ||
            !entry.is_regular_file(entryError) || entry.is_symlink(entryError)) {
            continue;
        }
        const auto written = entry.last_write_time(entryError);
        if (entryError || now - written <= maxAge) {
            continue;
        }
        if (fs::remove(entry.path(), entryError)) {
            ++removed;
        }
    }
    return removed;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace orvane
