// orvane: the application. One dark, borderless window on the user's desktop,
// recording through the capture backend that suits the session.
#include "capture/CaptureBackendFactory.h"
#include "capture/NullCaptureBackend.h"
#include "capture/SoundDevicesFactory.h"
#if ORVANE_WITH_X11
#include "capture/x11/X11PickerDialogs.h"
#endif
#include "capture/ffmpeg/FfmpegWriterFactory.h"
#include "media/MediaLog.h"
#include "ui/Theme.h"
#include "ui/update/Updater.h"
#include "app/TakeLibrary.h"
#include "ui/window/MainWindow.h"

#include <memory>

#include <QApplication>

#include <cstdio>
#include <memory>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kUsage = R"(Usage: orvane [--help | --version]

Opens Orvane's window: record a display, a region of one or a window, with the
clicks turned into zooms, then edit the take and export an MP4. Every take is
kept in the take library ("Orvane" in the Videos folder). Needs a desktop
session (X11 or Wayland); without one, orvane-record and orvane-render do the
same from the command line (see their --help).

  --help      this text
  --version   the version
)";

} // namespace

int main(int argc, char** argv) {
    // Asked for before anything needs a display.
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("orvane %s\n", ORVANE_VERSION);
            return 0;
        }
    }
    // Without a display Qt would abort with a message about plugins; say what
    // is going on instead, and where to look without one.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
        std::fprintf(stderr,
                     "orvane: no X11 display (DISPLAY is not set) and no Wayland display\n"
                     "(WAYLAND_DISPLAY is not set). Run Orvane inside your desktop session, or\n"
                     "try the demo that records a virtual display and exports a zoomed MP4 (see\n"
                     "the README).\n");
        return 1;
    }
    orvane::media::quietMediaLog();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("orvane"));
    orvane::Theme::apply(app);

    orvane::BackendRequest request;
#if ORVANE_WITH_X11
    // The window shows its own picker where the desktop has none (X11).
    request.pickerDialog = orvane::x11PickerDialogs();
#endif
    auto opened = orvane::CaptureBackendFactory::open(request);
    std::unique_ptr<orvane::CaptureBackend> backend;
    if (opened) {
        backend = std::move(opened.value());
    } else {
        // The window opens all the same: the library's takes can be opened,
        // edited and exported, and the start screen says why nothing records.
        std::fprintf(stderr, "orvane: %s\n", opened.error().c_str());
        backend = std::make_unique<orvane::NullCaptureBackend>(QString::fromStdString(opened.error()));
    }
    orvane::FfmpegWriterFactory writers;
    // Declared before the window, which uses it until it is destroyed.
    const std::unique_ptr<orvane::SoundDevices> sound = orvane::makeSoundDevices();
    orvane::Updater updater(QUrl(QStringLiteral(ORVANE_UPDATE_FEED)),
                            QVersionNumber::fromString(QStringLiteral(ORVANE_VERSION)));
    // Every take is kept in the library ("Orvane" in the Videos folder).
    orvane::TakeLibrary library;
    orvane::MainWindow window(*backend, writers);
    window.setLibrary(&library);
    window.setUpdater(&updater);
    window.setSoundDevices(sound.get());
    window.show();
    return QApplication::exec();
}
