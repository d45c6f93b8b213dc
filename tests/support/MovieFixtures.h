#pragma once

// Small movies for the media and player tests, made with the ffmpeg command-line
// tool at test time. Every frame of an "index movie" is one flat grey whose level
// encodes the frame's index, so a test can tell from any pixel which frame it
// holds.

#include <cstdint>
#include <functional>
#include <string>

namespace orvane::test {

// A fresh folder under the system temp folder, removed with everything in it
// when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs `ffmpeg -hide_banner -loglevel error -y ARGS`; true when it exits 0.
bool runFfmpeg(const std::string& args);

struct IndexMovie {
    std::string codec = "h264"; // "h264" (libx264) or "hevc" (libx265, tagged hvc1)
    int width = 320;
    int height = 200;
    int fps = 30;
    int frames = 60;
    int gop = 15;     // frames from one key frame to the next
    bool bFrames = true;
};

// Writes an index movie to `path` (the extension picks the container). BT.709
// limited range, tagged as such. Returns false when ffmpeg failed.
bool makeIndexMovie(const std::string& path, const IndexMovie& m);

// A file-name stem that differs whenever the movie's parameters do, for
// cachedFixture(), e.g. "hevc-320x200-30fps-60f-g15-b".
std::string indexMovieKey(const IndexMovie& m);

// The frame index an index-movie pixel shows, from its BGRA grey level; -1 when
// the pixel is not one of the levels the index movies use.
int frameIndexOfGrey(std::uint8_t b, std::uint8_t g, std::uint8_t r);

// A fixture kept between test runs in the build tree (ORVANE_FIXTURE_DIR, set
// by the test target): `make` writes it once to the path it is given, and later
// calls (from any test process) reuse the file. Writing goes to a private name
// that is renamed into place, so parallel test processes never see half a
// file. Returns the fixture's path, or an empty string when `make` failed.
std::string cachedFixture(const std::string& name,
                          const std::function<bool(const std::string& path)>& make);

// Copies the first `bytes` bytes of `from` to `to`.
bool writePrefix(const std::string& from, const std::string& to, long bytes);
// Writes `text` to `path`.
bool writeText(const std::string& path, const std::string& text);
long fileSize(const std::string& path);

} // namespace orvane::test
