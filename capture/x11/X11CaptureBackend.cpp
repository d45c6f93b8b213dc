#include "X11CaptureBackend.h"

#include "X11ScreenStream.h"
#include "X11Source.h"
#include "XcbHandles.h"

#include <cstdlib>

namespace orvane {

namespace {
// How long start-up waits for a server that is resetting (it refuses
// clients for a moment after its last one left).
constexpr int kSettleMs = 3000;
} // namespace

Result<std::unique_ptr<X11CaptureBackend>> X11CaptureBackend::tryCreate(std::string display) {
    auto anchor = x11::Connection::openSettled(display, kSettleMs);
    if (!anchor) {
        const char* fromEnv = std::getenv("DISPLAY");
        const std::string name = !display.empty() ? display : (fromEnv != nullptr ? fromEnv : "");
        return Error{ErrorKind::NotFound,
                     name.empty() ? "Cannot connect to an X display (DISPLAY is not set)"
                                  : "Cannot connect to the X display " + name};
    }
    return std::unique_ptr<X11CaptureBackend>(new X11CaptureBackend(
        std::move(display), std::make_unique<x11::Connection>(std::move(*anchor))));
}

X11CaptureBackend::X11CaptureBackend(std::string display)
    : X11CaptureBackend(std::move(display), nullptr) {
    // Constructed directly (tests, embedders): hold a connection all the same
    // when the display answers.
    if (auto anchor = x11::Connection::open(display_)) {
        anchor_ = std::make_unique<x11::Connection>(std::move(*anchor));
    }
}

X11CaptureBackend::X11CaptureBackend(std::string display, std::unique_ptr<x11::Connection> anchor)
    : display_(display), anchor_(std::move(anchor)), picker_(display), input_(display),
      permissions_(display) {}

X11CaptureBackend::~X11CaptureBackend() = default;

Result<std::unique_ptr<ScreenStream>> X11CaptureBackend::createStream(
    const CaptureContent& content) {
    if (X11Source::of(content) == nullptr) {
        return Error{ErrorKind::Invalid, "the chosen content is not an X11 display or window"};
    }
    X11ScreenStream::Options options;
    options.display = display_;
    return std::unique_ptr<ScreenStream>(std::make_unique<X11ScreenStream>(content, options));
}

GlobalShortcut* X11CaptureBackend::globalShortcut() {
    if (!shortcut_) {
        shortcut_ = std::make_unique<X11GlobalShortcut>(display_);
    }
    return shortcut_.get();
}

} // namespace orvane
