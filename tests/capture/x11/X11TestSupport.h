#pragma once

// Helpers for tests on a real X server: windows painted in known colours,
// cursors, xdotool, and a private Xvfb that a test may kill.

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvane::test {

// The test's own connection to $DISPLAY (opened once, shared by the helpers).
xcb_connection_t* testConnection();
xcb_window_t testRoot();

// Runs xdotool with `args` and waits for it; false when it fails.
bool xdotool(const QStringList& args);

// Processes Qt events until `done` is true or `timeoutMs` passed; returns done().
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 3000);

// A top-level window of one colour, placed exactly where asked (override
// redirect: no window manager moves it), optionally with a child rectangle of a
// second colour and a cursor. Destroyed with the object.
class TestWindow {
public:
    TestWindow(int x, int y, int w, int h, std::uint32_t rgb);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    xcb_window_t id() const { return window_; }
    void addPatch(int x, int y, int w, int h, std::uint32_t rgb);
    // Paints the whole window with pseudo-random pixels (a picture that
    // compresses badly, for tests that need large movies quickly).
    void paintNoise(std::uint32_t seed);
    void setCursor(xcb_cursor_t cursor);
    void setTitle(const QString& title);
    void map();
    void unmap();
    void raise();
    void resize(int w, int h);
    void destroy();

private:
    xcb_window_t window_ = 0;
    bool alive_ = true;
};

// A cursor from the core cursor font (glyph `shape`, mask `shape + 1`),
// optionally named through XFixes as a cursor theme would name it.
xcb_cursor_t fontCursor(int shape, const char* name = nullptr);

// Waits until the server has processed everything sent so far.
void syncX();

// The colour of pixel (x, y) of a BGRA buffer as 0xRRGGBB.
std::uint32_t rgbAt(const std::uint8_t* bgra, int stride, int x, int y);
// True when two colours differ by at most `tolerance` in every channel.
bool near(std::uint32_t a, std::uint32_t b, int tolerance = 24);

// An Xvfb of its own on a free display, for tests that take the server away.
class PrivateXServer {
public:
    PrivateXServer(int width, int height, const QStringList& extraArgs = {});
    ~PrivateXServer();
    bool running() const { return !display_.empty(); }
    const std::string& display() const { return display_; }
    void kill();

private:
    QProcess process_;
    std::string display_;
};

} // namespace orvane::test
