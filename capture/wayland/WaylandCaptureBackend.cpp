#include "WaylandCaptureBackend.h"

#include "WaylandGlobalShortcut.h"

#include "CursorThemeHands.h"
#include "ScreenCastPortal.h"
#include "StreamCursorTrack.h"
#include "WaylandContentPicker.h"
#include "WaylandInputMonitor.h"
#include "WaylandPermissionChecks.h"
#include "WaylandScreenStream.h"
#include "WaylandSource.h"

#include <QDBusConnection>

namespace orvane {

using namespace wayland;

struct WaylandCaptureBackend::Hands {
    HandShapeSet shapes = loadDesktopCursorHands();
};

Result<std::unique_ptr<WaylandCaptureBackend>> WaylandCaptureBackend::tryCreate(Options options) {
    if (!QDBusConnection::sessionBus().isConnected()) {
        return Error{ErrorKind::NotFound, "there is no D-Bus session bus to reach the desktop portal"};
    }
    ScreenCastPortal portal(options.portalService);
    if (auto info = portal.probe(); !info) {
        return info.errorValue();
    }
    return std::make_unique<WaylandCaptureBackend>(std::move(options));
}

WaylandCaptureBackend::WaylandCaptureBackend(Options options)
    : options_(std::move(options)), cursor_(std::make_shared<StreamCursorTrack>()),
      picker_(std::make_unique<WaylandContentPicker>(options_.portalService)),
      input_(std::make_unique<WaylandInputMonitor>(cursor_, options_.rawInputSources)),
      permissions_(std::make_unique<WaylandPermissionChecks>(options_.portalService,
                                                             !options_.rawInputSources.empty())),
      hands_(std::make_unique<Hands>()) {}

WaylandCaptureBackend::~WaylandCaptureBackend() = default;

ContentPicker& WaylandCaptureBackend::picker() {
    return *picker_;
}
InputMonitor& WaylandCaptureBackend::input() {
    return *input_;
}
PermissionChecks& WaylandCaptureBackend::permissions() {
    return *permissions_;
}

QString WaylandCaptureBackend::captureNote() {
    ScreenCastPortal portal(options_.portalService);
    const auto info = portal.probe(1000);
    if (info && (info->cursorModes & 4) == 0) {
        return QStringLiteral(
            "On this desktop Orvane can't redraw or follow the cursor: it stays in the picture "
            "as it is, and zooms start at your clicks only.");
    }
    return {};
}

Result<std::unique_ptr<ScreenStream>> WaylandCaptureBackend::createStream(
    const CaptureContent& content) {
    const WaylandSource* source = WaylandSource::of(content);
    if (source == nullptr || !source->session()) {
        return Error{ErrorKind::Invalid, "the chosen content is not a shared Wayland screen or window"};
    }
    return std::unique_ptr<ScreenStream>(
        std::make_unique<WaylandScreenStream>(source->session(), cursor_, hands_->shapes,
                                              content.kind == CaptureContent::Kind::Display ? content.region : QRect()));
}

GlobalShortcut* WaylandCaptureBackend::globalShortcut() {
    if (!shortcut_) {
        shortcut_ = std::make_unique<wayland::WaylandGlobalShortcut>(options_.portalService);
    }
    return shortcut_.get();
}

} // namespace orvane
