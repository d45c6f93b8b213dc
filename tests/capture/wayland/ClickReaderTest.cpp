// Reading clicks from input devices, without a session: which devices are
// pointing devices (descriptions of real devices kept as test data), and the
// reader fed raw input_event records through a FIFO, as the kernel would
// hand them over.
#include "capture/HostClock.h"
#include "capture/wayland/ClickReader.h"
#include "capture/wayland/PointerDevices.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace orvane;
using namespace orvane::wayland;

namespace {

std::vector<DeviceCaps> testDevices() {
    QFile f(QStringLiteral(ORVANE_WAYLAND_TEST_DATA "/input-devices.txt"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return parseInputDevices(QString::fromUtf8(f.readAll()));
}

const DeviceCaps* byName(const std::vector<DeviceCaps>& devices, const char* name) {
    for (const DeviceCaps& d : devices) {
        if (d.name == QLatin1String(name)) {
            return &d;
        }
    }
    return nullptr;
}

input_event record(double hostTime, std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event ev{};
    ev.input_event_sec = static_cast<decltype(ev.input_event_sec)>(hostTime);
    ev.input_event_usec = static_cast<decltype(ev.input_event_usec)>(
        std::llround((hostTime - std::floor(hostTime)) * 1e6));
    ev.type = type;
    ev.code = code;
    ev.value = value;
    return ev;
}

// A FIFO standing in for a device node: the reader gets the read end.
struct FakeDevice {
    QTemporaryDir dir;
    int readEnd = -1;
    int writeEnd = -1;
    FakeDevice() {
        const QByteArray path = dir.filePath(QStringLiteral("event-fifo")).toLocal8Bit();
        EXPECT_EQ(mkfifo(path.constData(), 0600), 0);
        readEnd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        writeEnd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
    }
    ~FakeDevice() { unplug(); }
    void write(const std::vector<input_event>& events, std::size_t splitAt = 0) {
        const auto* bytes = reinterpret_cast<const char*>(events.data());
        const std::size_t size = events.size() * sizeof(input_event);
        if (splitAt > 0 && splitAt < size) {
            // A record split across two writes, as a pipe may deliver it.
            ASSERT_EQ(::write(writeEnd, bytes, splitAt), static_cast<ssize_t>(splitAt));
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            ASSERT_EQ(::write(writeEnd, bytes + splitAt, size - splitAt),
                      static_cast<ssize_t>(size - splitAt));
        } else {
            ASSERT_EQ(::write(writeEnd, bytes, size), static_cast<ssize_t>(size));
        }
    }
    void unplug() {
        if (writeEnd >= 0) {
            ::close(writeEnd);
            writeEnd = -1;
        }
    }
};

struct PressLog {
    std::mutex mutex;
    std::vector<std::pair<double, ClickReader::Button>> presses;
    ClickReader::PressSink sink() {
        return [this](double t, ClickReader::Button b) {
            std::lock_guard lock(mutex);
            presses.emplace_back(t, b);
        };
    }
    std::size_t size() {
        std::lock_guard lock(mutex);
        return presses.size();
    }
};

bool waitUntil(const std::function<bool()>& done, int ms = 3000) {
    for (int i = 0; i < ms / 5 && !done(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

} // namespace

TEST(PointerDevicesTest, OnlyMiceTouchpadsAndSticksAreOpenedNeverKeyboards) {
    const auto devices = testDevices();
    ASSERT_EQ(devices.size(), 8u);
    struct Expect {
        const char* name;
        bool pointing;
        const char* node;
    };
    const Expect expected[] = {
        {"Power Button", false, "event0"},
        {"AT Translated Set 2 keyboard", false, "event3"},
        {"Logitech USB Optical Mouse", true, "event5"},
        {"SYNA2B31:00 06CB:7E7E Touchpad", true, "event12"},
        {"TPPS/2 Elan TrackPoint", true, "event14"},
        // A keyboard with a touchpad on one node types letters: never opened.
        {"Logitech K400 Plus", false, "event16"},
        {"Video Bus", false, "event6"},
        {"Wacom Intuos Pro M Finger", true, "event18"},
    };
    for (const Expect& e : expected) {
        const DeviceCaps* d = byName(devices, e.name);
        ASSERT_NE(d, nullptr) << e.name;
        EXPECT_EQ(d->eventNode, QLatin1String(e.node)) << e.name;
        EXPECT_EQ(isPointingDevice(*d), e.pointing) << e.name;
    }
    // The bitmaps are read as the kernel writes them, most significant word first.
    const DeviceCaps* touchpad = byName(devices, "SYNA2B31:00 06CB:7E7E Touchpad");
    EXPECT_TRUE(touchpad->keys.test(BTN_LEFT));
    EXPECT_TRUE(touchpad->keys.test(BTN_TOUCH));
    EXPECT_FALSE(touchpad->keys.test(BTN_RIGHT));
    EXPECT_TRUE(touchpad->abs.test(ABS_X) && touchpad->abs.test(ABS_Y));
    const DeviceCaps* keyboard = byName(devices, "Logitech K400 Plus");
    EXPECT_TRUE(keyboard->keys.test(KEY_A) && keyboard->keys.test(BTN_LEFT));
}

TEST(ClickReaderTest, PressesCarryTheKernelsTimeAndOnlyThePressEdgeCounts) {
    FakeDevice device;
    ClickReader reader;
    reader.addRawSource(device.readEnd);
    PressLog log;
    // Where the machine has readable pointing devices of its own they are
    // read too; the events below come only through the FIFO.
    ASSERT_TRUE(reader.start(log.sink()));
    EXPECT_GE(reader.openSources(), 1);

    const double t0 = hostTime() - 0.5; // times come from the events, not from the read
    device.write({
        record(t0, EV_KEY, BTN_LEFT, 1), record(t0, EV_SYN, SYN_REPORT, 0),
        record(t0 + 0.08, EV_KEY, BTN_LEFT, 0), record(t0 + 0.08, EV_SYN, SYN_REPORT, 0),
        record(t0 + 0.10, EV_KEY, KEY_A, 1),        // a key: never a click
        record(t0 + 0.12, EV_KEY, BTN_MIDDLE, 1),   // the middle button is not a click
        record(t0 + 0.14, EV_REL, REL_X, 5),
        record(t0 + 0.20, EV_KEY, BTN_RIGHT, 1), record(t0 + 0.20, EV_SYN, SYN_REPORT, 0),
        record(t0 + 0.21, EV_KEY, BTN_RIGHT, 2),    // autorepeat is not a new press
        record(t0 + 0.30, EV_KEY, BTN_LEFT, 1),
    }, sizeof(input_event) * 3 + 7);
    ASSERT_TRUE(waitUntil([&] { return log.size() >= 3; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NEAR(log.presses[0].first, t0, 2e-6);
    EXPECT_EQ(log.presses[0].second, ClickReader::Button::Left);
    EXPECT_NEAR(log.presses[1].first, t0 + 0.20, 2e-6);
    EXPECT_EQ(log.presses[1].second, ClickReader::Button::Right);
    EXPECT_NEAR(log.presses[2].first, t0 + 0.30, 2e-6);
    reader.stop();
}

TEST(ClickReaderTest, ADeviceThatGoesAwayIsDroppedWithoutEndingAnything) {
    FakeDevice first;
    FakeDevice second;
    ClickReader reader;
    reader.addRawSource(first.readEnd);
    reader.addRawSource(second.readEnd);
    PressLog log;
    ASSERT_TRUE(reader.start(log.sink()));
    const int before = reader.openSources();
    first.unplug();
    ASSERT_TRUE(waitUntil([&] { return reader.openSources() == before - 1; }));
    // The other device still reports.
    second.write({record(hostTime(), EV_KEY, BTN_LEFT, 1)});
    EXPECT_TRUE(waitUntil([&] { return log.size() == 1; }));
    reader.stop();
    EXPECT_EQ(reader.openSources(), 0);
}

TEST(ClickReaderTest, NothingToReadIsSaidAtStart) {
    if (ClickReader::readablePointingDevices() > 0) {
        GTEST_SKIP() << "this machine has readable pointing devices";
    }
    ClickReader reader;
    PressLog log;
    EXPECT_FALSE(reader.start(log.sink()));
    EXPECT_EQ(reader.openSources(), 0);
}
