// Clicks and the cursor on a real X server, driven by xdotool (XTest), which
// goes through the same input path as a real mouse.
#include "X11TestSupport.h"

#include "capture/HostClock.h"
#include "capture/x11/X11InputMonitor.h"

#include <gtest/gtest.h>

#include <cstdlib>


#include <vector>

using namespace orvane;
using namespace orvane::test;

namespace {

// Glyphs of the core cursor font (X11/cursorfont.h).
constexpr int kLeftPtr = 68;
constexpr int kHand2 = 60;
constexpr int kHand1 = 58;

struct ClickLog {
    std::vector<QPointF> points;
    std::vector<double> times; // host seconds the monitor gave each click
    explicit ClickLog(X11InputMonitor& monitor) {
        QObject::connect(&monitor, &InputMonitor::clicked, [this](QPointF p, double t) {
            points.push_back(p);
            times.push_back(t);
        });
    }
};

// Moves the pointer and waits until the monitor reads it there.
std::optional<CursorReading> moveAndRead(X11InputMonitor& monitor, int x, int y) {
    if (!xdotool({"mousemove", QString::number(x), QString::number(y)})) {
        return std::nullopt;
    }
    std::optional<CursorReading> reading;
    waitUntil([&] {
        reading = monitor.readCursor();
        return reading && reading->position == QPointF(x, y);
    });
    return reading;
}

// The pointer flag a little after the pointer arrived over (x, y): cursor
// changes arrive as XFixes notifications, so wait until the reading settles.
bool pointerFlagAt(X11InputMonitor& monitor, int x, int y, bool expected) {
    moveAndRead(monitor, x, y);
    bool seen = !expected;
    waitUntil(
        [&] {
            auto r = monitor.readCursor();
            seen = r && r->pointer;
            return seen == expected;
        },
        1500);
    return seen;
}

TEST(X11InputMonitorTest, ReportsLeftAndRightPressesWhereThePointerIs) {
    X11InputMonitor monitor;
    ClickLog log(monitor);
    ASSERT_TRUE(monitor.startClicks());
    // Each press is read while the pointer is still where it was pressed, as
    // with a person at the mouse.
    ASSERT_TRUE(xdotool({"mousemove", "300", "200", "click", "1"}));
    ASSERT_TRUE(waitUntil([&] { return log.points.size() == 1; }));
    ASSERT_TRUE(xdotool({"mousemove", "1919", "1199", "click", "3"}));
    ASSERT_TRUE(waitUntil([&] { return log.points.size() == 2; }));
    // The middle button and the wheel are not clicks.
    ASSERT_TRUE(xdotool({"mousemove", "10", "10", "click", "2", "click", "4", "click", "5"}));
    waitUntil([] { return false; }, 200);
    ASSERT_TRUE(xdotool({"mousemove", "0", "0", "click", "1"}));
    ASSERT_TRUE(waitUntil([&] { return log.points.size() >= 3; }));
    waitUntil([] { return false; }, 200); // anything more would show now
    ASSERT_EQ(log.points.size(), 3u);
    EXPECT_EQ(log.points[0], QPointF(300, 200));
    EXPECT_EQ(log.points[1], QPointF(1919, 1199));
    EXPECT_EQ(log.points[2], QPointF(0, 0));
}

TEST(X11InputMonitorTest, AClickCarriesTheHostTimeOfItsPress) {
    X11InputMonitor monitor;
    ClickLog log(monitor);
    ASSERT_TRUE(monitor.startClicks());
    ASSERT_TRUE(xdotool({"mousemove", "400", "300"}));
    const double before = hostTime();
    ASSERT_TRUE(xdotool({"click", "1"}));
    ASSERT_TRUE(waitUntil([&] { return log.points.size() == 1; }));
    const double after = hostTime();
    ASSERT_EQ(log.times.size(), 1u);
    // On the take's clock, between the press and its arrival here.
    EXPECT_GE(log.times[0], before);
    EXPECT_LE(log.times[0], after);
}

TEST(X11InputMonitorTest, ADoubleClickIsTwoClicks) {
    X11InputMonitor monitor;
    ClickLog log(monitor);
    ASSERT_TRUE(monitor.startClicks());
    ASSERT_TRUE(xdotool({"mousemove", "500", "500", "click", "--repeat", "2", "--delay", "30", "1"}));
    EXPECT_TRUE(waitUntil([&] { return log.points.size() == 2; }));
}

TEST(X11InputMonitorTest, SeesClicksWhileAnotherClientGrabsThePointer) {
    TestWindow grabber(0, 0, 400, 400, 0x808080);
    grabber.map();
    xcb_connection_t* c = testConnection();
    std::free(xcb_grab_pointer_reply(
        c,
        xcb_grab_pointer(c, 0, grabber.id(), XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_ASYNC,
                         XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
        nullptr));
    X11InputMonitor monitor;
    ClickLog log(monitor);
    ASSERT_TRUE(monitor.startClicks());
    ASSERT_TRUE(xdotool({"mousemove", "700", "300", "click", "1"}));
    EXPECT_TRUE(waitUntil([&] { return log.points.size() == 1; }));
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    syncX();
    ASSERT_FALSE(log.points.empty());
    EXPECT_EQ(log.points[0], QPointF(700, 300));
}

TEST(X11InputMonitorTest, StopClicksStopsReporting) {
    X11InputMonitor monitor;
    ClickLog log(monitor);
    ASSERT_TRUE(monitor.startClicks());
    ASSERT_TRUE(xdotool({"mousemove", "100", "100", "click", "1"}));
    ASSERT_TRUE(waitUntil([&] { return log.points.size() == 1; }));
    monitor.stopClicks();
    ASSERT_TRUE(xdotool({"click", "1"}));
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(log.points.size(), 1u);
    // And it can start again.
    ASSERT_TRUE(monitor.startClicks());
    ASSERT_TRUE(xdotool({"click", "3"}));
    EXPECT_TRUE(waitUntil([&] { return log.points.size() == 2; }));
}

TEST(X11InputMonitorTest, ButtonsCountAfterThePointerMapping) {
    xcb_connection_t* c = testConnection();
    auto* current = xcb_get_pointer_mapping_reply(c, xcb_get_pointer_mapping(c), nullptr);
    ASSERT_NE(current, nullptr);
    std::vector<std::uint8_t> original(xcb_get_pointer_mapping_map(current),
                                       xcb_get_pointer_mapping_map(current) +
                                           xcb_get_pointer_mapping_map_length(current));
    std::free(current);
    ASSERT_GE(original.size(), 3u);
    // Physical button 2 acts as the left button, physical 1 as the middle one.
    std::vector<std::uint8_t> swapped = original;
    swapped[0] = 2;
    swapped[1] = 1;
    auto setMapping = [c](const std::vector<std::uint8_t>& map) {
        std::free(xcb_set_pointer_mapping_reply(
            c, xcb_set_pointer_mapping(c, static_cast<std::uint8_t>(map.size()), map.data()),
            nullptr));
        syncX();
    };
    X11InputMonitor monitor;
    ClickLog log(monitor);
    ASSERT_TRUE(monitor.startClicks());
    setMapping(swapped);
    waitUntil([] { return false; }, 100); // let the MappingNotify arrive
    const bool sent = xdotool({"mousemove", "50", "60", "click", "1"}) &&
                      xdotool({"mousemove", "70", "80", "click", "2"});
    waitUntil([&] { return log.points.size() >= 1; }, 1000);
    waitUntil([] { return false; }, 200);
    setMapping(original);
    ASSERT_TRUE(sent);
    ASSERT_EQ(log.points.size(), 1u);
    EXPECT_EQ(log.points[0], QPointF(70, 80));
}

TEST(X11InputMonitorTest, ReadsTheCursorPosition) {
    X11InputMonitor monitor;
    for (const QPoint p : {QPoint(123, 456), QPoint(0, 0), QPoint(1919, 1199)}) {
        const auto reading = moveAndRead(monitor, p.x(), p.y());
        ASSERT_TRUE(reading);
        EXPECT_EQ(reading->position, QPointF(p));
    }
}

TEST(X11InputMonitorTest, PointerIsTrueOverTheHandCursorOnly) {
    // Side by side: cursors named as a theme names them, and unnamed font
    // cursors recognised by their shape.
    TestWindow namedHand(0, 600, 100, 100, 0x404040);
    namedHand.setCursor(fontCursor(kLeftPtr, "pointer")); // the name decides
    TestWindow hashAlias(100, 600, 100, 100, 0x404040);
    hashAlias.setCursor(fontCursor(kLeftPtr, "e29285e634086352946a0e7090d73106"));
    TestWindow unnamedHand2(200, 600, 100, 100, 0x404040);
    unnamedHand2.setCursor(fontCursor(kHand2));
    TestWindow unnamedHand1(300, 600, 100, 100, 0x404040);
    unnamedHand1.setCursor(fontCursor(kHand1));
    TestWindow namedArrow(400, 600, 100, 100, 0x404040);
    namedArrow.setCursor(fontCursor(kHand2, "left_ptr")); // named: the name wins over the shape
    TestWindow unnamedArrow(500, 600, 100, 100, 0x404040);
    unnamedArrow.setCursor(fontCursor(kLeftPtr));
    for (TestWindow* w : {&namedHand, &hashAlias, &unnamedHand2, &unnamedHand1, &namedArrow,
                          &unnamedArrow}) {
        w->map();
    }

    X11InputMonitor monitor;
    EXPECT_FALSE(pointerFlagAt(monitor, 900, 100, false)); // the root window's cursor
    EXPECT_TRUE(pointerFlagAt(monitor, 50, 650, true));
    EXPECT_FALSE(pointerFlagAt(monitor, 450, 650, false));
    EXPECT_TRUE(pointerFlagAt(monitor, 150, 650, true));
    EXPECT_FALSE(pointerFlagAt(monitor, 550, 650, false));
    EXPECT_TRUE(pointerFlagAt(monitor, 250, 650, true));
    EXPECT_FALSE(pointerFlagAt(monitor, 900, 100, false));
    EXPECT_TRUE(pointerFlagAt(monitor, 350, 650, true));
}

TEST(X11InputMonitorTest, ALostDisplayReadsNothingAndDoesNotCrash) {
    PrivateXServer server(320, 200);
    ASSERT_TRUE(server.running());
    X11InputMonitor monitor(server.display());
    ASSERT_TRUE(monitor.startClicks());
    ASSERT_TRUE(monitor.readCursor());
    server.kill();
    waitUntil([] { return false; }, 200);
    EXPECT_FALSE(monitor.readCursor());
    EXPECT_FALSE(monitor.startClicks());
    monitor.stopClicks();
}

} // namespace
