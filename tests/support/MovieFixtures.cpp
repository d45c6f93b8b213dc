#include "tests/support/MovieFixtures.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace orvane::test {

namespace {
// Luma of frame k is 16 + kLumaStep * k (limited range), so up to 73 frames fit.
constexpr int kLumaStep = 3;
constexpr int kMaxIndex = (235 - 16) / kLumaStep;
} // namespace

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "orvane-test-XXXXXX").string();
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) {
        path_ = buf.data();
    }
}

TempDir::~TempDir() {
    if (!path_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
}

bool runFfmpeg(const std::string& args) {
    const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y " + args;
    return std::system(cmd.c_str()) == 0;
}

bool makeIndexMovie(const std::string& path, const IndexMovie& m) {
    const double seconds = static_cast<double>(m.frames) / m.fps;
    std::string source = "-f lavfi -i \"nullsrc=s=" + std::to_string(m.width) + "x" +
                         std::to_string(m.height) + ":r=" + std::to_string(m.fps) +
                         ",geq=lum='16+" + std::to_string(kLumaStep) +
                         "*N':cb=128:cr=128,format=yuv420p\" -frames:v " +
                         std::to_string(m.frames) + " -t " + std::to_string(seconds);
    std::string codec;
    const std::string gop = std::to_string(m.gop);
    if (m.codec == "hevc") {
        codec = "-c:v libx265 -crf 4 -tag:v hvc1 -x265-params log-level=error:keyint=" + gop +
                ":min-keyint=" + gop + ":bframes=" + (m.bFrames ? "3" : "0");
    } else {
        codec = "-c:v libx264 -crf 4 -g " + gop + " -keyint_min " + gop +
                " -bf " + (m.bFrames ? "2" : "0");
    }
    const std::string colour = "-colorspace bt709 -color_primaries bt709 -color_trc bt709 "
                               "-color_range tv";
    return runFfmpeg(source + " " + codec + " " + colour + " \"" + path + "\"");
}

std::string indexMovieKey(const IndexMovie& m) {
    return m.codec + "-" + std::to_string(m.width) + "x" + std::to_string(m.height) + "-" +
           std::to_string(m.fps) + "fps-" + std::to_string(m.frames) + "f-g" +
           std::to_string(m.gop) + (m.bFrames ? "-b" : "");
}

std::string cachedFixture(const std::string& name,
                          const std::function<bool(const std::string& path)>& make) {
#ifdef ORVANE_FIXTURE_DIR
    const std::filesystem::path dir = ORVANE_FIXTURE_DIR;
#else
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "orvane-fixtures";
#endif
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::filesystem::path target = dir / name;
    if (std::filesystem::exists(target, ec)) {
        return target.string();
    }
    const std::filesystem::path temp = dir / (".part-" + std::to_string(getpid()) + "-" + name);
    if (!make(temp.string())) {
        std::filesystem::remove(temp, ec);
        return {};
    }
    std::filesystem::rename(temp, target, ec);
    return ec ? std::string() : target.string();
}

int frameIndexOfGrey(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    if (std::abs(int(b) - int(g)) > 3 || std::abs(int(g) - int(r)) > 3) {
        return -1;
    }
    const double grey = (b + g + r) / 3.0;
    const double k = grey * 219.0 / 255.0 / kLumaStep;
    const double nearest = std::round(k);
    if (std::abs(k - nearest) > 0.4 || nearest < 0 || nearest > kMaxIndex) {
        return -1;
    }
    return static_cast<int>(nearest);
}

bool writePrefix(const std::string& from, const std::string& to, long bytes) {
    std::ifstream in(from, std::ios::binary);
    std::vector<char> data(static_cast<size_t>(bytes));
    in.read(data.data(), bytes);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out.write(data.data(), in.gcount());
    return static_cast<bool>(out);
}

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

long fileSize(const std::string& path) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<long>(n);
}

} // namespace orvane::test
