#include "TakeJournal.h"

#include "TextFile.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

namespace orvane::takejournal {

namespace {

constexpr std::string_view kHeader = "orvane-take-journal 1";

void appendNumber(std::string& out, double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.push_back(' ');
    out.append(buf, r.ptr);
}

// Splits a line into at most `N` space-separated fields; nothing when the
// count differs.
template <std::size_t N>
std::optional<std::array<std::string_view, N>> fields(std::string_view line) {
    std::array<std::string_view, N> out{};
    std::size_t n = 0;
    while (!line.empty()) {
        const std::size_t space = line.find(' ');
        const std::string_view field = line.substr(0, space);
        if (field.empty() || n == N) {
            return std::nullopt;
        }
        out[n++] = field;
        line = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
    }
    if (n != N) {
        return std::nullopt;
    }
    return out;
}

std::optional<double> number(std::string_view s) {
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc{} || r.ptr != s.data() + s.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

std::optional<bool> flag(std::string_view s) {
    if (s == "0") {
        return false;
    }
    if (s == "1") {
        return true;
    }
    return std::nullopt;
}

// Reads one record into `c`; false when the line is not a valid record.
bool readRecord(std::string_view line, Contents& c) {
    if (line.starts_with("c ")) {
        const auto f = fields<4>(line);
        if (!f) {
            return false;
        }
        const auto t = number((*f)[1]);
        const auto x = number((*f)[2]);
        const auto y = number((*f)[3]);
        if (!t || !x || !y) {
            return false;
        }
        Moment m;
        m.t = *t;
        m.cx = *x;
        m.cy = *y;
        m.hold = kRecordedHold;
        c.clicks.push_back(m);
        return true;
    }
    if (line.starts_with("s ")) {
        const auto f = fields<5>(line);
        if (!f) {
            return false;
        }
        const auto t = number((*f)[1]);
        const auto x = number((*f)[2]);
        const auto y = number((*f)[3]);
        const auto p = flag((*f)[4]);
        if (!t || !x || !y || !p) {
            return false;
        }
        c.track.push_back(CursorSample{*t, *x, *y, *p});
        return true;
    }
    if (line.starts_with("video ")) {
        const auto f = fields<4>(line);
        if (!f) {
            return false;
        }
        const auto w = number((*f)[1]);
        const auto h = number((*f)[2]);
        const auto p = flag((*f)[3]);
        if (!w || !h || !p || *w < 2 || *h < 2 || *w > 16384 || *h > 16384) {
            return false;
        }
        c.width = static_cast<int>(*w);
        c.height = static_cast<int>(*h);
        c.cursorInPicture = *p;
        return true;
    }
    return false;
}

} // namespace

std::string headerLine() {
    return std::string(kHeader) + "\n";
}

std::string videoLine(int width, int height, bool cursorInPicture) {
    return "video " + std::to_string(width) + " " + std::to_string(height) +
           (cursorInPicture ? " 1\n" : " 0\n");
}

std::string clickLine(const Moment& click) {
    std::string line = "c";
    appendNumber(line, click.t);
    appendNumber(line, click.cx);
    appendNumber(line, click.cy);
    line.push_back('\n');
    return line;
}

std::string sampleLine(const CursorSample& sample) {
    std::string line = "s";
    appendNumber(line, sample.t);
    appendNumber(line, sample.x);
    appendNumber(line, sample.y);
    line += sample.pointer ? " 1\n" : " 0\n";
    return line;
}

Result<Contents> parse(std::string_view text) {
    using R = Result<Contents>;
    const std::size_t firstEnd = text.find('\n');
    if (firstEnd == std::string_view::npos || text.substr(0, firstEnd) != kHeader) {
        return R::failure(ErrorKind::Corrupt, "not a take journal (the first line is not \"" +
                                                  std::string(kHeader) + "\")");
    }
    Contents c;
    std::size_t pos = firstEnd + 1;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            // The last line was cut by the crash: it never counted.
            c.tailDropped = true;
            break;
        }
        if (!readRecord(text.substr(pos, end - pos), c)) {
            c.tailDropped = true;
            break;
        }
        pos = end + 1;
    }
    return c;
}

Result<Contents> read(const std::string& path) {
    auto text = readTextFile(path);
    if (!text) {
        return Result<Contents>::failure(text.errorKind(), path + ": " + text.error());
    }
    if (static_cast<long long>(text->size()) > kMaxBytes) {
        return Result<Contents>::failure(ErrorKind::Invalid, path + ": file too large for a take journal");
    }
    auto parsed = parse(text.value());
    if (!parsed) {
        return Result<Contents>::failure(parsed.errorKind(), path + ": " + parsed.error());
    }
    return parsed;
}

bool inUse(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // also drops the lock it may have taken
    return held;
}

} // namespace orvane::takejournal
