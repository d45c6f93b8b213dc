#include "AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

ErrorKind kindOf(int err) {
    switch (err) {
    case ENOSPC:
    case EDQUOT: return ErrorKind::NoSpace;
    case EACCES:
    case EPERM:
    case EROFS: return ErrorKind::Permission;
    case ENOENT:
    case ENOTDIR: return ErrorKind::NotFound;
    default: return ErrorKind::Io;
    }
}

// Closes the descriptor and removes the half-written file unless released.
struct PendingFile {
    int fd = -1;
    std::string path;
    bool done = false;
    ~PendingFile() {
        if (fd >= 0) {
            ::close(fd);
        }
        if (!done && !path.empty()) {
            ::unlink(path.c_str());
        }
    }
};

} // namespace

Result<void> saveFileAtomically(const std::string& path, const std::string& bytes) {
    auto failed = [&](ErrorKind kind, const std::string& why) {
        return Error{kind, "cannot write " + path + ": " + why};
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return failed(ErrorKind::Invalid, "it is a folder");
    }
    // Beside the target, so the rename stays on one filesystem.
    std::random_device random;
    PendingFile pending;
    for (int attempt = 0; attempt < 16 && pending.fd < 0; ++attempt) {
        pending.path = path + ".tmp-" + std::to_string(random() % 1000000);
        pending.fd = ::open(pending.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (pending.fd < 0 && errno != EEXIST) {
            const int err = errno;
            pending.path.clear();
            return failed(kindOf(err), std::strerror(err));
        }
    }
    if (pending.fd < 0) {
        pending.path.clear();
        return failed(ErrorKind::Io, "no name for a temporary file beside it");
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(pending.fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            return failed(kindOf(err), std::strerror(err));
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fdatasync(pending.fd) != 0 && errno != EINVAL) {
        const int err = errno;
        return failed(kindOf(err), std::strerror(err));
    }
    ::close(pending.fd);
    pending.fd = -1;
    if (::rename(pending.path.c_str(), path.c_str()) != 0) {
        const int err = errno;
        return failed(kindOf(err), std::strerror(err));
    }
    pending.done = true;
    return {};
}

} // namespace orvane
