#include "X11TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <xcb/xfixes.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

namespace orvane::test {

namespace {

xcb_connection_t* g_conn = nullptr;
xcb_screen_t* g_screen = nullptr;

} // namespace

xcb_connection_t* testConnection() {
    if (g_conn == nullptr) {
        int screen = 0;
        g_conn = xcb_connect(nullptr, &screen);
        if (xcb_connection_has_error(g_conn) != 0) {
            std::fprintf(stderr, "tests: cannot open the X display\n");
            std::abort();
        }
        g_screen = xcb_setup_roots_iterator(xcb_get_setup(g_conn)).data;
        // XFixes must be announced before its requests (cursor names) work.
        std::free(xcb_xfixes_query_version_reply(g_conn, xcb_xfixes_query_version(g_conn, 4, 0),
                                                 nullptr));
    }
    return g_conn;
}

xcb_window_t testRoot() {
    testConnection();
    return g_screen->root;
}

void syncX() {
    xcb_connection_t* c = testConnection();
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

bool xdotool(const QStringList& args) {
    syncX();
    QProcess p;
    p.start("xdotool", args);
    if (!p.waitForFinished(10000)) {
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

TestWindow::TestWindow(int x, int y, int w, int h, std::uint32_t rgb) {
    xcb_connection_t* c = testConnection();
    window_ = xcb_generate_id(c);
    const std::uint32_t values[] = {rgb, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, testRoot(), static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w),
                      static_cast<std::uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    syncX();
}

TestWindow::~TestWindow() {
    destroy();
}

void TestWindow::addPatch(int x, int y, int w, int h, std::uint32_t rgb) {
    xcb_connection_t* c = testConnection();
    const xcb_window_t child = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, child, window_, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w),
                      static_cast<std::uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, &rgb);
    xcb_map_window(c, child);
    syncX();
}

void TestWindow::paintNoise(std::uint32_t seed) {
    xcb_connection_t* c = testConnection();
    xcb_get_geometry_reply_t* g =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window_), nullptr);
    if (g == nullptr) {
        return;
    }
    const int w = g->width;
    const int h = g->height;
    std::free(g);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window_, 0, nullptr);
    // A few rows per request keep each one under the request size limit.
    const int rows = std::max(1, 32768 / std::max(1, w));
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(rows));
    std::uint32_t x = seed * 2654435761u + 1;
    for (int y = 0; y < h; y += rows) {
        const int n = std::min(rows, h - y);
        for (auto& p : pixels) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            p = x & 0xffffff;
        }
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc, static_cast<std::uint16_t>(w),
                      static_cast<std::uint16_t>(n), 0, static_cast<std::int16_t>(y), 0, 24,
                      static_cast<std::uint32_t>(w * n * 4),
                      reinterpret_cast<const std::uint8_t*>(pixels.data()));
    }
    xcb_free_gc(c, gc);
    syncX();
}

void TestWindow::setCursor(xcb_cursor_t cursor) {
    xcb_change_window_attributes(testConnection(), window_, XCB_CW_CURSOR, &cursor);
    syncX();
}

void TestWindow::setTitle(const QString& title) {
    const QByteArray utf8 = title.toUtf8();
    xcb_change_property(testConnection(), XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(utf8.size()), utf8.data());
    syncX();
}

void TestWindow::map() {
    xcb_map_window(testConnection(), window_);
    syncX();
}

void TestWindow::unmap() {
    xcb_unmap_window(testConnection(), window_);
    syncX();
}

void TestWindow::raise() {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(testConnection(), window_, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    syncX();
}

void TestWindow::resize(int w, int h) {
    const std::uint32_t size[] = {static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)};
    xcb_configure_window(testConnection(), window_,
                         XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    syncX();
}

void TestWindow::destroy() {
    if (alive_) {
        alive_ = false;
        xcb_destroy_window(testConnection(), window_);
        syncX();
    }
}

xcb_cursor_t fontCursor(int shape, const char* name) {
    xcb_connection_t* c = testConnection();
    const xcb_font_t font = xcb_generate_id(c);
    xcb_open_font(c, font, 6, "cursor");
    const xcb_cursor_t cursor = xcb_generate_id(c);
    xcb_create_glyph_cursor(c, cursor, font, font, static_cast<std::uint16_t>(shape),
                            static_cast<std::uint16_t>(shape + 1), 0, 0, 0, 0xffff, 0xffff,
                            0xffff);
    xcb_close_font(c, font);
    if (name != nullptr) {
        xcb_xfixes_set_cursor_name(c, cursor, static_cast<std::uint16_t>(std::strlen(name)), name);
    }
    syncX();
    return cursor;
}

std::uint32_t rgbAt(const std::uint8_t* bgra, int stride, int x, int y) {
    const std::uint8_t* p = bgra + static_cast<std::ptrdiff_t>(y) * stride + x * 4;
    return (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
}

bool near(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16}) {
        const int ca = static_cast<int>((a >> shift) & 0xff);
        const int cb = static_cast<int>((b >> shift) & 0xff);
        if (std::abs(ca - cb) > tolerance) {
            return false;
        }
    }
    return true;
}

PrivateXServer::PrivateXServer(int width, int height, const QStringList& extraArgs) {
    // Xvfb picks a free display itself and writes its number to standard
    // output once it accepts connections, so parallel tests never race for one.
    process_.start("Xvfb", QStringList{"-displayfd", "1", "-screen", "0",
                                       QString("%1x%2x24").arg(width).arg(height), "-nolisten",
                                       "tcp"} +
                               extraArgs);
    if (!process_.waitForStarted(5000)) {
        return;
    }
    QByteArray number;
    while (!number.contains('\n') && process_.waitForReadyRead(10000)) {
        number += process_.readAllStandardOutput();
    }
    bool ok = false;
    const int n = number.trimmed().toInt(&ok);
    if (ok) {
        display_ = QString(":%1").arg(n).toStdString();
    } else {
        kill();
    }
}

PrivateXServer::~PrivateXServer() {
    kill();
}

void PrivateXServer::kill() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

} // namespace orvane::test
