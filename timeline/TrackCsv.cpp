#include "TrackCsv.h"

#include "JsonNumber.h"
#include "TextFile.h"

#include <charconv>
#include <cmath>

namespace orvane::TrackCsv {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    return s;
}

bool parseDouble(std::string_view s, double& out) {
    s = trim(s);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
    }
    const auto res = std::from_chars(s.data(), s.data() + s.size(), out);
    return res.ec == std::errc() && res.ptr == s.data() + s.size() && std::isfinite(out);
}

} // namespace

std::string encode(const std::vector<CursorSample>& track) {
    std::string out(kHeader);
    out += '\n';
    for (const CursorSample& s : track) {
        out += jsonNumber(s.t) + ',' + jsonNumber(s.x) + ',' + jsonNumber(s.y) + ',' +
               (s.pointer ? '1' : '0') + '\n';
    }
    return out;
}

Result<std::vector<CursorSample>> parse(std::string_view bytes) {
    using R = Result<std::vector<CursorSample>>;
    auto utf8 = utf8Text(bytes);
    if (!utf8) {
        return utf8.errorValue();
    }
    std::string_view text = utf8.value();
    std::vector<CursorSample> track;
    std::size_t lineNo = 0;
    bool sawHeader = false;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = trim(text.substr(0, nl));
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        ++lineNo;
        if (line.empty()) {
            continue;
        }
        const std::string where = "line " + std::to_string(lineNo);
        if (!sawHeader) {
            if (line != kHeader) {
                return R::failure(ErrorKind::Corrupt, where + ": expected the header \"" + std::string(kHeader) + "\"");
            }
            sawHeader = true;
            continue;
        }
        std::string_view cells[4];
        std::size_t count = 0;
        std::string_view rest = line;
        while (count < 4) {
            const std::size_t comma = rest.find(',');
            cells[count++] = rest.substr(0, comma);
            if (comma == std::string_view::npos) {
                rest = {};
                break;
            }
            rest = rest.substr(comma + 1);
            if (count == 4) {
                return R::failure(ErrorKind::Corrupt, where + ": more than four columns");
            }
        }
        if (count != 4) {
            return R::failure(ErrorKind::Corrupt, where + ": expected four columns t,x,y,pointer");
        }
        CursorSample s;
        if (!parseDouble(cells[0], s.t) || !parseDouble(cells[1], s.x) ||
            !parseDouble(cells[2], s.y)) {
            return R::failure(ErrorKind::Corrupt, where + ": t, x and y must be finite numbers");
        }
        const std::string_view p = trim(cells[3]);
        if (p == "1") {
            s.pointer = true;
        } else if (p != "0") {
            return R::failure(ErrorKind::Corrupt, where + ": pointer must be 0 or 1");
        }
        if (!track.empty() && s.t < track.back().t) {
            return R::failure(ErrorKind::Corrupt, where + ": time goes backwards");
        }
        track.push_back(s);
    }
    if (!sawHeader) {
        return R::failure(ErrorKind::Corrupt, "empty file: expected the header \"" + std::string(kHeader) + "\"");
    }
    return track;
}

} // namespace orvane::TrackCsv
