#include "X11CaptureBackend.h"

#include "X11ScreenStream.h"
#include "X11Source.h"
#include "XcbHandles.h"

#include <cstdlib>

namespace orvane {

Result<std::unique_ptr<X11CaptureBackend>> X11CaptureBackend::tryCreate(std::string display) {
    if (!x11::Connection::open(display)) {
        const char* fromEnv = std::getenv("DISPLAY");
        const std::string name = !display.empty() ? display : (fromEnv != nullptr ? fromEnv : "");
        return Error{ErrorKind::NotFound,
                     name.empty() ? "Cannot connect to an X display (DISPLAY is not set)"
                                  : "Cannot connect to the X display " + name};
    }
    return std::make_unique<X11CaptureBackend>(std::move(display));
}

X11CaptureBackend::X11CaptureBackend(std::string display)
    : display_(display), picker_(display), input_(display), permissions_(display) {}

Result<std::unique_ptr<ScreenStream>> X11CaptureBackend::createStream(
    const CaptureContent& content) {
    if (X11Source::of(content) == nullptr) {
        return Error{ErrorKind::Invalid, "the chosen content is not an X11 display or window"};
    }
    X11ScreenStream::Options options;
    options.display = display_;
    return std::unique_ptr<ScreenStream>(std::make_unique<X11ScreenStream>(content, options));
}

} // namespace orvane
