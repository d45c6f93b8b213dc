#include "PulseTestSupport.h"

#include "capture/HostClock.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>

#include <unistd.h>

namespace orvane::testing {

void RecordingSink::soundArrived(const float* samples, int frames, double hostTime) {
    const double now = orvane::hostTime();
    std::lock_guard lock(mutex_);
    blocks_.push_back(Block{hostTime, frames, now});
    samples_.insert(samples_.end(), samples, samples + static_cast<std::ptrdiff_t>(frames) * kSoundChannels);
    changed_.notify_all();
}

void RecordingSink::soundEnded(const Error& why) {
    std::lock_guard lock(mutex_);
    ++endings_;
    endMessage_ = why.message;
    changed_.notify_all();
}

std::vector<RecordingSink::Block> RecordingSink::blocks() const {
    std::lock_guard lock(mutex_);
    return blocks_;
}

std::vector<float> RecordingSink::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

int RecordingSink::endings() const {
    std::lock_guard lock(mutex_);
    return endings_;
}

std::string RecordingSink::endMessage() const {
    std::lock_guard lock(mutex_);
    return endMessage_;
}

bool RecordingSink::waitForEnd(double seconds) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return endings_ > 0; });
}

bool RecordingSink::waitForFrames(long frames, double seconds) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
        return static_cast<long>(samples_.size()) / kSoundChannels >= frames;
    });
}

std::string writeTone(const std::string& name, double hz, double amplitude, double seconds) {
    const std::string path = (std::filesystem::temp_directory_path()
                              / ("orvane-tone-" + std::to_string(::getpid()) + "-" + name + ".raw"))
                                 .string();
    std::ofstream out(path, std::ios::binary);
    const auto frames = static_cast<long>(seconds * kSoundRate);
    for (long i = 0; i < frames; ++i) {
        const auto value = static_cast<float>(
            amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / kSoundRate));
        out.write(reinterpret_cast<const char*>(&value), sizeof value);
        out.write(reinterpret_cast<const char*>(&value), sizeof value);
    }
    return path;
}

bool playInto(const std::string& sink, const std::string& rawFile) {
    const std::string command = "pacat --playback --raw --format=float32le --rate=48000 --channels=2 -d '" + sink
                                + "' '" + rawFile + "'";
    return std::system(command.c_str()) == 0;
}

std::string shell(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    ::pclose(pipe);
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) {
        output.pop_back();
    }
    return output;
}

int moduleOf(const std::string& name) {
    // "pactl list short modules": index, module name, arguments.
    const std::string line = shell("pactl list short modules | grep -E '(sink|source)_name=" + name + "( |$)' | head -n1");
    if (line.empty()) {
        return -1;
    }
    return std::atoi(line.c_str());
}

double rmsOf(const std::vector<float>& stereo, long from, long to) {
    double sum = 0.0;
    long count = 0;
    for (long i = from; i < to && i * kSoundChannels < static_cast<long>(stereo.size()); ++i) {
        const double v = stereo[static_cast<std::size_t>(i * kSoundChannels)];
        sum += v * v;
        ++count;
    }
    return count > 0 ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

long firstFrameAbove(const std::vector<float>& stereo, float level) {
    const long frames = static_cast<long>(stereo.size()) / kSoundChannels;
    for (long i = 0; i < frames; ++i) {
        if (std::fabs(stereo[static_cast<std::size_t>(i * kSoundChannels)]) >= level) {
            return i;
        }
    }
    return -1;
}

double frequencyOf(const std::vector<float>& stereo, long from, long to) {
    long crossings = 0;
    for (long i = from + 1; i < to; ++i) {
        const float a = stereo[static_cast<std::size_t>((i - 1) * kSoundChannels)];
        const float b = stereo[static_cast<std::size_t>(i * kSoundChannels)];
        if ((a < 0.0F) != (b < 0.0F)) {
            ++crossings;
        }
    }
    return static_cast<double>(crossings) / 2.0 / (static_cast<double>(to - from) / kSoundRate);
}

} // namespace orvane::testing
