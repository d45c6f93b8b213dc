#include "ClickReader.h"

#include "PointerDevices.h"

#include "capture/HostClock.h"

#include <libevdev/libevdev.h>

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>

namespace orvane::wayland {

namespace {

constexpr const char* kInputDir = "/dev/input";

struct EvdevDeleter {
    void operator()(libevdev* d) const { libevdev_free(d); }
};

} // namespace

// One device or raw source.
struct ClickReader::Source {
    int fd = -1;
    QString node;                                  // "event5"; empty for a raw source
    std::unique_ptr<libevdev, EvdevDeleter> evdev; // null for a raw source
    std::vector<char> partial;                     // a raw record split across reads
};

ClickReader::ClickReader() = default;

ClickReader::~ClickReader() {
    stop();
    for (int fd : pendingRaw_) {
        ::close(fd);
    }
}

void ClickReader::addRawSource(int fd) {
    pendingRaw_.push_back(fd);
}

int ClickReader::readablePointingDevices() {
    int n = 0;
    for (const DeviceCaps& d : pointingDevices()) {
        const QByteArray path = QByteArray(kInputDir) + '/' + d.eventNode.toLatin1();
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            ++n;
        }
    }
    return n;
}

bool ClickReader::start(PressSink onPress) {
    if (thread_.joinable()) {
        return true;
    }
    onPress_ = std::move(onPress);
    for (int fd : pendingRaw_) {
        auto s = std::make_unique<Source>();
        s->fd = fd;
        sources_.emplace(fd, std::move(s));
    }
    pendingRaw_.clear();
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ >= 0 && inotify_add_watch(inotify_, kInputDir, IN_CREATE | IN_ATTRIB) < 0) {
        // No /dev/input (a container): nothing will ever be plugged in.
        ::close(inotify_);
        inotify_ = -1;
    }
    rescan();
    open_ = static_cast<int>(sources_.size());
    if (sources_.empty()) {
        if (inotify_ >= 0) {
            ::close(inotify_);
            inotify_ = -1;
        }
        return false;
    }
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    stopRequested_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void ClickReader::stop() {
    stopRequested_ = true;
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
    for (auto& [fd, s] : sources_) {
        ::close(fd);
    }
    sources_.clear();
    open_ = 0;
    if (inotify_ >= 0) {
        ::close(inotify_);
        inotify_ = -1;
    }
    if (wake_ >= 0) {
        ::close(wake_);
        wake_ = -1;
    }
}

void ClickReader::rescan() {
    std::set<QString> open;
    for (const auto& [fd, s] : sources_) {
        if (!s->node.isEmpty()) {
            open.insert(s->node);
        }
    }
    for (const DeviceCaps& d : pointingDevices()) {
        if (open.count(d.eventNode) != 0) {
            continue;
        }
        const QByteArray path = QByteArray(kInputDir) + '/' + d.eventNode.toLatin1();
        // Read-only, and never EVIOCGRAB: the desktop keeps every event.
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        libevdev* raw = nullptr;
        if (libevdev_new_from_fd(fd, &raw) < 0) {
            ::close(fd);
            continue;
        }
        std::unique_ptr<libevdev, EvdevDeleter> dev(raw);
        // The device's own word, not only the listing's, before reading it.
        const bool pointing = libevdev_has_event_code(raw, EV_KEY, BTN_LEFT) &&
                              ((libevdev_has_event_code(raw, EV_REL, REL_X) &&
                                libevdev_has_event_code(raw, EV_REL, REL_Y)) ||
                               (libevdev_has_event_code(raw, EV_ABS, ABS_X) &&
                                libevdev_has_event_code(raw, EV_ABS, ABS_Y)));
        if (!pointing) {
            ::close(fd);
            continue;
        }
        // Times on the take's clock; a kernel that cannot switch keeps its
        // default and the time is converted below.
        libevdev_set_clock_id(raw, CLOCK_MONOTONIC);
        auto s = std::make_unique<Source>();
        s->fd = fd;
        s->node = d.eventNode;
        s->evdev = std::move(dev);
        sources_.emplace(fd, std::move(s));
    }
}

void ClickReader::closeSource(int fd) {
    sources_.erase(fd);
    ::close(fd);
    open_ = static_cast<int>(sources_.size());
}

void ClickReader::readSource(Source& s) {
    auto press = [this](const input_event& ev) {
        if (ev.type != EV_KEY || ev.value != 1) {
            return; // only the press edge of the two buttons below
        }
        if (ev.code == BTN_LEFT || ev.code == BTN_RIGHT) {
            const double t = hostTimeOf(ev.input_event_sec,
                                        static_cast<std::int64_t>(ev.input_event_usec) * 1000);
            onPress_(t, ev.code == BTN_LEFT ? Button::Left : Button::Right);
        }
    };
    if (s.evdev) {
        input_event ev{};
        unsigned flags = LIBEVDEV_READ_FLAG_NORMAL;
        for (;;) {
            const int rc = libevdev_next_event(s.evdev.get(), flags, &ev);
            if (rc == LIBEVDEV_READ_STATUS_SYNC) {
                // Events were dropped: catch up without treating the state
                // as new presses.
                flags = LIBEVDEV_READ_FLAG_SYNC;
                continue;
            }
            if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
                if (flags == LIBEVDEV_READ_FLAG_NORMAL) {
                    press(ev);
                }
                continue;
            }
            if (rc == -EAGAIN && flags == LIBEVDEV_READ_FLAG_SYNC) {
                flags = LIBEVDEV_READ_FLAG_NORMAL;
                continue;
            }
            if (rc != -EAGAIN) {
                closeSource(s.fd); // unplugged (ENODEV) or broken
            }
            return;
        }
    }
    // A raw source: whole records, however the reads split them.
    char buffer[64 * sizeof(input_event)];
    for (;;) {
        const ssize_t n = ::read(s.fd, buffer, sizeof buffer);
        if (n > 0) {
            s.partial.insert(s.partial.end(), buffer, buffer + n);
            std::size_t used = 0;
            while (s.partial.size() - used >= sizeof(input_event)) {
                input_event ev{};
                std::memcpy(&ev, s.partial.data() + used, sizeof ev);
                used += sizeof ev;
                press(ev);
            }
            s.partial.erase(s.partial.begin(), s.partial.begin() + static_cast<std::ptrdiff_t>(used));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        closeSource(s.fd); // the writer went away
        return;
    }
}

void ClickReader::run() {
    while (!stopRequested_.load()) {
        std::vector<pollfd> fds;
        fds.push_back({wake_, POLLIN, 0});
        if (inotify_ >= 0) {
            fds.push_back({inotify_, POLLIN, 0});
        }
        for (const auto& [fd, s] : sources_) {
            fds.push_back({fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            break;
        }
        std::size_t i = 1;
        if (inotify_ >= 0) {
            if ((fds[1].revents & POLLIN) != 0) {
                char events[4096];
                while (::read(inotify_, events, sizeof events) > 0) {
                }
                rescan();
                open_ = static_cast<int>(sources_.size());
            }
            ++i;
        }
        for (; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            auto it = sources_.find(fds[i].fd);
            if (it == sources_.end()) {
                continue;
            }
            if ((fds[i].revents & (POLLERR | POLLNVAL)) != 0) {
                closeSource(fds[i].fd);
                continue;
            }
            // POLLHUP with data still waiting: read it first; the read that
            // finds the end closes the source.
            readSource(*it->second);
        }
    }
}

} // namespace orvane::wayland
