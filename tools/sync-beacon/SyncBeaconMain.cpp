// orvane-sync-beacon: flashes the screen white and plays a tone at the same
// instant, at given times, so a recording's picture and sound can be checked
// against each other and against the host clock.
//
//   orvane-sync-beacon [--at S1,S2,...] [--every S --count N] [--sink NAME]
//                      [--flash-ms 200] [--tone-ms 150] [--hz 1000] [--level-db -6]
//
// Times are seconds after the beacon is ready (its window is up and its sound
// stream runs), which it prints first ("ready at <host seconds> s"). Per flash
// it prints one line
//   flash <n> at <host seconds> s: white on the X server +<a>...+<b> ms after, tone placed +<c> ms after
// where host seconds are CLOCK_MONOTONIC, the take's clock: the paint was sent
// <a> ms after that time and the X server had done it <b> ms after (a round
// trip), and the tone's first frame is played <c> ms after it. Exit status 0
// when every flash and tone came within 10 ms of its time, 1 otherwise, 2 on
// bad arguments or a missing display or sound server.

#include "BeaconTone.h"
#include "BeaconWindow.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using orvane::beacon::BeaconTone;
using orvane::beacon::BeaconWindow;
using orvane::beacon::ToneShape;

// A flash whose white reached the X server, or whose tone was placed, this
// far from its time is reported as late (exit status 1): half the 20 ms a
// sync check allows, the other half being the recorder's.
constexpr double kLateSeconds = 0.010;

double hostNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void sleepUntil(double hostSeconds);

// Sleeps until a little before `hostSeconds`, then spins to it: a sleeping
// thread on a busy machine may wake milliseconds late, a spinning one rarely.
void waitPreciselyUntil(double hostSeconds) {
    sleepUntil(hostSeconds - 0.004);
    while (hostNow() < hostSeconds) {
    }
}

void sleepUntil(double hostSeconds) {
    timespec when{};
    when.tv_sec = static_cast<time_t>(std::floor(hostSeconds));
    when.tv_nsec = static_cast<long>((hostSeconds - std::floor(hostSeconds)) * 1e9);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) == EINTR) {
    }
}

bool parseNumber(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0' && std::isfinite(out);
}

int usage(const char* why) {
    std::fprintf(stderr,
                 "orvane-sync-beacon: %s\n"
                 "usage: orvane-sync-beacon [--at S1,S2,...] [--every S --count N] [--sink NAME]\n"
                 "       [--flash-ms MS] [--tone-ms MS] [--hz HZ] [--level-db DB]\n",
                 why);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<double> offsets;
    double every = 0.0;
    double count = 0.0;
    std::string sink;
    double flashMs = 200.0;
    ToneShape shape;
    double levelDb = -6.0;
    double toneMs = 150.0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            return usage(("missing a value after " + option).c_str());
        }
        const std::string value = argv[++i];
        double number = 0.0;
        if (option == "--sink") {
            sink = value;
            continue;
        }
        if (option == "--at") {
            std::size_t from = 0;
            while (from <= value.size()) {
                const std::size_t comma = value.find(',', from);
                const std::string item = value.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
                if (!parseNumber(item, number) || number < 0.1) {
                    return usage("--at takes seconds of at least 0.1, separated by commas");
                }
                offsets.push_back(number);
                if (comma == std::string::npos) {
                    break;
                }
                from = comma + 1;
            }
            continue;
        }
        if (!parseNumber(value, number)) {
            return usage(("not a number: " + value).c_str());
        }
        if (option == "--every" && number >= 0.5) {
            every = number;
        } else if (option == "--count" && number >= 1.0) {
            count = number;
        } else if (option == "--flash-ms" && number >= 10.0) {
            flashMs = number;
        } else if (option == "--tone-ms" && number >= 10.0) {
            toneMs = number;
        } else if (option == "--hz" && number >= 20.0 && number <= 20000.0) {
            shape.hz = number;
        } else if (option == "--level-db" && number <= 0.0) {
            levelDb = number;
        } else {
            return usage(("unknown option or value out of range: " + option + " " + value).c_str());
        }
    }
    if (every > 0.0) {
        if (count < 1.0) {
            return usage("--every needs --count");
        }
        for (int n = 1; n <= static_cast<int>(count); ++n) {
            offsets.push_back(every * n);
        }
    }
    if (offsets.empty()) {
        offsets = {1.0};
    }
    shape.amplitude = std::pow(10.0, levelDb / 20.0);
    shape.seconds = toneMs / 1000.0;

    std::string error;
    const auto window = BeaconWindow::open(error);
    if (window == nullptr) {
        std::fprintf(stderr, "orvane-sync-beacon: %s\n", error.c_str());
        return 2;
    }
    const auto tone = BeaconTone::open(sink, shape, error);
    if (tone == nullptr) {
        std::fprintf(stderr, "orvane-sync-beacon: %s\n", error.c_str());
        return 2;
    }
    // A moment for the stream's timing to settle before anything is placed.
    sleepUntil(hostNow() + 0.25);

    const double ready = hostNow();
    std::vector<double> flashes;
    for (double offset : offsets) {
        flashes.push_back(ready + offset);
    }
    tone->schedule(flashes);
    std::printf("ready at %.6f s\n", ready);
    std::fflush(stdout);

    bool onTime = true;
    for (std::size_t i = 0; i < flashes.size(); ++i) {
        waitPreciselyUntil(flashes[i]);
        const double sent = hostNow();
        if (!window->paint(true)) {
            std::fprintf(stderr, "orvane-sync-beacon: the display went away\n");
            return 1;
        }
        const double painted = hostNow();
        const double placed = tone->placedAt(i);
        // The line is written after the white frame is on the server and the
        // tone placed; neither waits for the print.
        std::printf("flash %zu at %.6f s: white on the X server +%.2f...%+.2f ms after, tone placed %+.2f ms after\n",
                    i + 1, flashes[i], (sent - flashes[i]) * 1e3, (painted - flashes[i]) * 1e3,
                    placed >= 0.0 ? (placed - flashes[i]) * 1e3 : std::nan(""));
        std::fflush(stdout);
        if (placed < 0.0) {
            std::fprintf(stderr, "orvane-sync-beacon: flash %zu: the tone could not be placed in time\n", i + 1);
            onTime = false;
        } else if (std::abs(placed - flashes[i]) > kLateSeconds || painted - flashes[i] > kLateSeconds) {
            std::fprintf(stderr, "orvane-sync-beacon: flash %zu came late (painted %+.2f ms, tone %+.2f ms)\n", i + 1,
                         (painted - flashes[i]) * 1e3, (placed - flashes[i]) * 1e3);
            onTime = false;
        }
        sleepUntil(flashes[i] + flashMs / 1000.0);
        window->paint(false);
    }
    // Let the last tone play out before the stream goes.
    sleepUntil(flashes.back() + shape.seconds + 0.2);
    if (!tone->running()) {
        std::fprintf(stderr, "orvane-sync-beacon: the sound stream stopped\n");
        onTime = false;
    }
    return onTime ? 0 : 1;
}
