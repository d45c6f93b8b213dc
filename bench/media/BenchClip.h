#pragma once

// What the media benchmarks share: the clips they make once with ffmpeg and
// keep between runs, the bare FFmpeg open their baselines start from, and a
// stopwatch.
#include "media/AvHandles.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace orvane::bench {

using Clock = std::chrono::steady_clock;

// Seconds since `start`.
inline double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Makes the clip at `path` unless it is there already: runs
// `ffmpeg -nostdin -hide_banner -loglevel error -y <ffmpegArgs> -f mov <side file>`
// and renames the side file, so a run cut short never leaves half a clip to
// be taken for a whole one. `ffmpegArgs` is shell text (quote what needs it).
inline bool makeClipOnce(const std::string& path, const std::string& ffmpegArgs) {
    if (std::filesystem::exists(path)) {
        return true;
    }
    const std::string part = path + ".part.mov";
    const std::string cmd =
        "ffmpeg -nostdin -hide_banner -loglevel error -y " + ffmpegArgs + " -f mov '" + part + "'";
    if (std::system(cmd.c_str()) != 0) {
        return false;
    }
    std::error_code renamed;
    std::filesystem::rename(part, path, renamed);
    return !renamed;
}

// `path` opened for demuxing with its stream information read; null when it
// cannot be.
inline av::InputPtr openInput(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    av::InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return nullptr;
    }
    return input;
}

} // namespace orvane::bench
