#include "TextFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string megabytes(std::uintmax_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

Result<std::string> readBounded(const std::string& path, std::uintmax_t maxBytes) {
    using R = Result<std::string>;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) {
            return R::failure(ErrorKind::NotFound, "no such file");
        }
        return R::failure(errorKindFromErrno(err),
                          std::string("cannot open: ") + std::strerror(err));
    }
    if (S_ISDIR(st.st_mode)) {
        return R::failure(ErrorKind::Invalid, "is a directory, not a file");
    }
    const bool regular = S_ISREG(st.st_mode);
    const std::string tooLarge = "file too large (more than " + megabytes(maxBytes) + ")";
    if (regular && static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        return R::failure(ErrorKind::Unsupported, tooLarge);
    }
    // Opening a FIFO waits for its writer, as reading it would.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        const int err = errno;
        return R::failure(errorKindFromErrno(err),
                          std::string("cannot open: ") + std::strerror(err));
    }
    std::string text;
    // A regular file is read into one allocation of its size, plus the byte
    // that finds its end.
    const std::size_t expected = regular ? static_cast<std::size_t>(st.st_size) + 1 : 0;
    text.reserve(expected);
    // Reads straight into the string's own memory: one byte past the limit is
    // enough to know that a file without a size is too large.
    constexpr std::size_t kChunk = 1 << 16;
    for (;;) {
        if (text.size() > maxBytes) {
            return R::failure(ErrorKind::Unsupported, tooLarge);
        }
        const std::size_t used = text.size();
        std::size_t want =
            static_cast<std::size_t>(std::min<std::uintmax_t>(kChunk, maxBytes + 1 - used));
        if (used < expected) {
            want = std::min(want, expected - used);
        }
        if (text.capacity() < used + want) {
            text.reserve(std::max(used + want, text.capacity() * 2));
        }
        text.resize(used + want);
        const ssize_t n = ::read(fd.get(), text.data() + used, want);
        if (n < 0) {
            const int err = errno;
            if (err == EINTR) {
                text.resize(used);
                continue;
            }
            return R::failure(errorKindFromErrno(err),
                              std::string("read error: ") + std::strerror(err));
        }
        text.resize(used + static_cast<std::size_t>(n));
        if (n == 0) {
            break;
        }
    }
    return text;
}

} // namespace

Result<std::string> readTextFile(const std::string& path, std::uintmax_t maxBytes) {
    // The string's allocations are the only thing here that can throw; a file
    // within the limit that still does not fit in memory is an error to
    // report like any other, not an exception for the caller.
    try {
        return readBounded(path, maxBytes);
    } catch (const std::bad_alloc&) {
        return Result<std::string>::failure(ErrorKind::Unsupported,
                                            "too large to read: out of memory");
    } catch (const std::length_error&) {
        return Result<std::string>::failure(ErrorKind::Unsupported, "too large to read");
    }
}

Result<std::string_view> utf8Text(std::string_view bytes) {
    using R = Result<std::string_view>;
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
    const bool utf16Bom = bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                                (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
    if (utf16Bom || bytes.find('\0') != std::string_view::npos) {
        return R::failure(
            ErrorKind::Unsupported,
            "the file is UTF-16 text (or binary); it must be UTF-8: save it as UTF-8");
    }
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        bytes.remove_prefix(kUtf8Bom.size());
    }
    return bytes;
}

} // namespace orvane
