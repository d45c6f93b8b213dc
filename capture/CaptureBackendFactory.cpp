#include "CaptureBackendFactory.h"

#if ORVANE_WITH_X11
#include "capture/x11/X11CaptureBackend.h"
#endif
#if ORVANE_WITH_WAYLAND
#include "capture/wayland/WaylandCaptureBackend.h"
#endif

#include <QtGlobal>

#include <span>

namespace orvane {

namespace {

using Opener = Result<std::unique_ptr<CaptureBackend>> (*)(const BackendRequest&);

// One row per backend in this build. The order is the fallback order.
struct BackendEntry {
    const char* name;
    Opener open;
};

#if ORVANE_WITH_X11
Result<std::unique_ptr<CaptureBackend>> openX11(const BackendRequest& request) {
    auto backend = X11CaptureBackend::tryCreate(request.display);
    if (!backend) {
        return backend.errorValue();
    }
    if (request.pickerDialog) {
        backend.value()->x11Picker().setPresenter(request.pickerDialog());
    }
    return std::unique_ptr<CaptureBackend>(std::move(backend.value()));
}
#endif

#if ORVANE_WITH_WAYLAND
Result<std::unique_ptr<CaptureBackend>> openWayland(const BackendRequest&) {
    auto backend = WaylandCaptureBackend::tryCreate({});
    if (!backend) {
        return backend.errorValue();
    }
    return std::unique_ptr<CaptureBackend>(std::move(backend.value()));
}
#endif

constexpr BackendEntry kBackends[] = {
#if ORVANE_WITH_X11
    {X11CaptureBackend::kName, &openX11},
#endif
#if ORVANE_WITH_WAYLAND
    {WaylandCaptureBackend::kName, &openWayland},
#endif
    {nullptr, nullptr}, // keeps the table non-empty in a build without backends
};

std::span<const BackendEntry> entries() {
    return {kBackends, std::size(kBackends) - 1};
}

const BackendEntry* find(const std::string& name) {
    for (const BackendEntry& e : entries()) {
        if (name == e.name) {
            return &e;
        }
    }
    return nullptr;
}

std::string joinedNames() {
    std::string out;
    for (const BackendEntry& e : entries()) {
        out += (out.empty() ? "" : ", ") + std::string(e.name);
    }
    return out.empty() ? "none" : out;
}

} // namespace

QStringList CaptureBackendFactory::builtBackends() {
    QStringList names;
    for (const BackendEntry& e : entries()) {
        names << QString::fromLatin1(e.name);
    }
    return names;
}

std::string CaptureBackendFactory::sessionBackend() {
    const QString type = qEnvironmentVariable("XDG_SESSION_TYPE").toLower();
    if (type == QLatin1String("wayland") || type == QLatin1String("x11")) {
        return type.toStdString();
    }
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return "wayland";
    }
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        return "x11";
    }
    return {};
}

Result<std::unique_ptr<CaptureBackend>> CaptureBackendFactory::open(BackendRequest request) {
    using R = Result<std::unique_ptr<CaptureBackend>>;
    if (request.name.empty()) {
        request.name = qEnvironmentVariable("ORVANE_CAPTURE").toStdString();
    }
    // A backend asked for by name is the only one tried: a user who says
    // "wayland" wants to hear why it did not open, not to record X11.
    if (!request.name.empty()) {
        const BackendEntry* e = find(request.name);
        if (e == nullptr) {
            return R::failure(ErrorKind::Invalid, "unknown capture backend \"" + request.name +
                                                      "\" (this build has: " + joinedNames() + ")");
        }
        auto opened = e->open(request);
        if (!opened) {
            return R::failure(opened.errorKind(),
                              std::string(e->name) + " capture: " + opened.error());
        }
        return opened;
    }

    std::string reasons;
    auto note = [&reasons](const BackendEntry& e, const std::string& why) {
        reasons += (reasons.empty() ? "" : "; ") + std::string(e.name) + ": " + why;
    };
    const std::string native = sessionBackend();
    const BackendEntry* first = native.empty() ? nullptr : find(native);
    if (first != nullptr) {
        auto opened = first->open(request);
        if (opened) {
            return opened;
        }
        note(*first, opened.error());
    }
    for (const BackendEntry& e : entries()) {
        if (&e == first) {
            continue;
        }
        auto opened = e.open(request);
        if (opened) {
            return opened;
        }
        note(e, opened.error());
    }
    if (entries().empty()) {
        return R::failure(ErrorKind::Unsupported, "this build has no capture backend");
    }
    return R::failure(ErrorKind::NotFound, "no capture backend could be opened (" + reasons + ")");
}

} // namespace orvane
