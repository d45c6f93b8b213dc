// orvane: the application. One dark, borderless window on the user's X11 display.
#include "capture/x11/X11CaptureBackend.h"
#include "render/media/MediaLog.h"
#include "ui/Theme.h"
#include "ui/update/Updater.h"
#include "ui/window/MainWindow.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    // Without a display Qt would abort with a message about plugins; say what
    // is going on instead, and where to look without one.
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        std::fprintf(stderr,
                     "orvane: no X11 display (DISPLAY is not set). Orvane records an X11 desktop;\n"
                     "run it inside your desktop session, or try the demo that records a virtual\n"
                     "display and exports a zoomed MP4 (see the README).\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    orvane::media::quietMediaLog();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("orvane"));
    orvane::Theme::apply(app);

    orvane::X11CaptureBackend backend;
    orvane::Updater updater(QUrl(QStringLiteral(ORVANE_UPDATE_FEED)),
                            QVersionNumber::fromString(QStringLiteral(ORVANE_VERSION)));
    orvane::MainWindow window(backend);
    window.setUpdater(&updater);
    window.show();
    return QApplication::exec();
}
