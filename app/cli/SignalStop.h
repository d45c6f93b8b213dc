#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace orvane {

// Turns SIGINT, SIGTERM and SIGHUP into an orderly stop of orvane-render.
//
// Before the export has begun (while the inputs are read, which may block on a
// FIFO) nothing has been written yet, so a signal ends the process at once
// with `earlyMessage` on standard error and exit status 128 + the signal.
// Once beginExport() has returned true, a signal only sets the cancel flag:
// the export stops at its next frame, deletes its temporary file and leaves
// the chosen name as it was; the caller then reports the stop.
//
// The handler only writes the signal's number into a pipe (async-signal-safe);
// a watcher thread of this object reads it and acts. Construct it first in
// main, destroy it last. One instance per process.
class SignalStop {
public:
    explicit SignalStop(std::string earlyMessage);
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    // Marks the start of the export. False when a signal already stopped the
    // process (it is exiting; the caller must not start writing).
    bool beginExport();

    // Set once a signal has arrived during the export. Read from any thread.
    const std::atomic<bool>* cancelFlag() const { return &cancel_; }
    // The signal that arrived, or 0.
    int signal() const { return signal_.load(); }

    // "SIGTERM" and the like.
    static std::string name(int signal);

private:
    enum Phase { Preparing, Exporting, Exiting };
    void watch();

    std::string earlyMessage_;
    std::atomic<int> phase_{Preparing};
    std::atomic<bool> cancel_{false};
    std::atomic<int> signal_{0};
    int pipe_[2] = {-1, -1};
    std::thread watcher_;
};

} // namespace orvane
