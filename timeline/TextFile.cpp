#include "TextFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvane {

namespace {
// Files we read are small (a one-hour cursor track is about 8 MB).
constexpr std::uintmax_t kMaxBytes = 512ull << 20;
} // namespace

Result<std::string> readTextFile(const std::string& path) {
    using R = Result<std::string>;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        return R::failure(ErrorKind::NotFound, "no such file");
    }
    if (std::filesystem::is_directory(status)) {
        return R::failure(ErrorKind::Invalid, "is a directory, not a file");
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxBytes) {
        return R::failure(ErrorKind::Unsupported, "file too large");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno;
        return R::failure(errorKindFromErrno(err), std::string("cannot open: ") + std::strerror(err));
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return R::failure(ErrorKind::Io, "read error");
    }
    return text.str();
}

} // namespace orvane
