#pragma once

// Internal to the Wayland backend: mouse button presses from the kernel's
// input devices.

#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane::wayland {

// Reads left and right button presses from every pointing device in
// /dev/input (see PointerDevices.h) on a thread of its own: read-only, never
// grabbed (the desktop keeps every event), each device switched to
// CLOCK_MONOTONIC so that a press carries the kernel's time on the take's
// clock. Only the press edge counts; key events of any other kind are never
// looked at. Devices plugged in mid-take are picked up (an inotify watch on
// /dev/input), and one that goes away is dropped without ending anything.
//
// Besides the devices, the reader can be given descriptors that deliver raw
// `struct input_event` records (a FIFO in tests, where no input devices
// exist); ioctls that fail on them are not fatal, and one whose writer goes
// away is dropped like an unplugged device.
//
// Threads: constructed, started and stopped on one thread (the main
// thread); `onPress` runs on the reader's thread.
class ClickReader {
public:
    enum class Button { Left, Right };
    using PressSink = std::function<void(double hostTime, Button button)>;

    ClickReader();
    ~ClickReader(); // stops

    // Also reads `fd` (owned from here on) as a device.
    void addRawSource(int fd);
    // Starts reading. False when no device and no raw source could be
    // opened (nothing would ever be read).
    bool start(PressSink onPress);
    void stop();
    // How many sources are being read now. Any thread.
    int openSources() const { return open_.load(); }

    // How many pointing devices this user can open now (the permission
    // check: on most systems membership of the `input` group).
    static int readablePointingDevices();

    struct Source;

private:
    void run();
    void rescan();
    void readSource(Source& s);
    void closeSource(int fd);

    std::vector<int> pendingRaw_;
    std::map<int, std::unique_ptr<Source>> sources_; // by descriptor; reader thread once started
    PressSink onPress_;
    int inotify_ = -1;
    int wake_ = -1; // eventfd that stop() signals
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<int> open_{0};
};

} // namespace orvane::wayland
