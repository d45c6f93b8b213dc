#include "SignalStop.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace orvane {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The write end of the pipe, for the handler. One SignalStop per process.
std::atomic<int> gWriteEnd{-1};

void onSignal(int signal) {
    const int saved = errno;
    const int fd = gWriteEnd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signal);
        (void)!::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

SignalStop::SignalStop(std::string earlyMessage) : earlyMessage_(std::move(earlyMessage)) {
    if (::pipe2(pipe_, O_CLOEXEC) != 0) {
        pipe_[0] = pipe_[1] = -1;
        return;
    }
    // A handler must never block: if the watcher falls behind, extra signals
    // are dropped, and the first one is all that counts.
    ::fcntl(pipe_[1], F_SETFL, O_NONBLOCK);
    gWriteEnd.store(pipe_[1]);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restarted system calls: the handler only queues the signal for the
    // watcher, the interrupted thread carries on as if nothing happened.
    action.sa_flags = SA_RESTART;
    for (int s : kSignals) {
        ::sigaction(s, &action, nullptr);
    }
    watcher_ = std::thread([this] { watch(); });
}

SignalStop::~SignalStop() {
    if (watcher_.joinable()) {
        // A zero byte is no signal: it tells the watcher to end.
        const unsigned char stop = 0;
        (void)!::write(pipe_[1], &stop, 1);
        watcher_.join();
    }
    for (int s : kSignals) {
        ::signal(s, SIG_DFL);
    }
    gWriteEnd.store(-1);
    for (int fd : pipe_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool SignalStop::beginExport() {
    int expected = Preparing;
    return phase_.compare_exchange_strong(expected, Exporting);
}

void SignalStop::watch() {
    for (;;) {
        unsigned char byte = 0;
        const ssize_t n = ::read(pipe_[0], &byte, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || byte == 0) {
            return;
        }
        const int signal = byte;
        int none = 0;
        signal_.compare_exchange_strong(none, signal);
        int expected = Preparing;
        if (phase_.compare_exchange_strong(expected, Exiting)) {
            // Nothing has been written: end here, even while the main thread
            // is blocked reading an input that never comes.
            const std::string text = earlyMessage_ + " (" + name(signal) + ")\n";
            (void)!::write(STDERR_FILENO, text.data(), text.size());
            ::_exit(128 + signal);
        }
        cancel_.store(true);
    }
}

std::string SignalStop::name(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal " + std::to_string(signal);
    }
}

} // namespace orvane
