#include "X11PermissionChecks.h"

#include "DrawableReader.h"
#include "RawButtonEvents.h"
#include "XcbHandles.h"

#include <xcb/xinput.h>

namespace orvane {

using namespace x11;

X11PermissionChecks::X11PermissionChecks(std::string display) : display_(std::move(display)) {}

QString X11PermissionChecks::screenProblem() {
    auto conn = Connection::open(display_);
    if (!conn) {
        return QStringLiteral("Cannot connect to the X display");
    }
    auto reader = DrawableReader::create(*conn);
    if (!reader) {
        return QStringLiteral("Only 24- and 32-bit X displays can be recorded");
    }
    if (reader->read(conn->root(), 0, 0, 1, 1) != ReadStatus::Ok) {
        return QStringLiteral("The X display cannot be read");
    }
    return {};
}

QString X11PermissionChecks::inputProblem() {
    auto conn = Connection::open(display_);
    if (!conn) {
        return QStringLiteral("Cannot connect to the X display");
    }
    xcb_connection_t* c = conn->get();
    const auto* ext = xcb_get_extension_data(c, &xcb_input_id);
    if (conn->broken()) {
        return QStringLiteral("The X display closed the connection");
    }
    if (ext == nullptr || ext->present == 0) {
        return QStringLiteral("XInput 2.2 is not available on this display");
    }
    Reply<xcb_input_xi_query_version_reply_t> v(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (conn->broken()) {
        // Not a missing extension: the server dropped us (it was resetting or
        // went away), and the next attempt may well succeed.
        return QStringLiteral("The X display closed the connection");
    }
    if (!v || v->major_version < 2 || (v->major_version == 2 && v->minor_version < 2)) {
        return QStringLiteral("XInput 2.2 is not available on this display");
    }
    if (!selectRawButtonPresses(c, conn->root(), true)) {
        return QStringLiteral("Mouse clicks cannot be observed on this display");
    }
    // The selection ends with this connection.
    return {};
}

bool X11PermissionChecks::screenCaptureAllowed() {
    return screenProblem().isEmpty();
}

bool X11PermissionChecks::inputObservable() {
    return inputProblem().isEmpty();
}

bool X11PermissionChecks::requestInputAccess() {
    return inputObservable();
}

} // namespace orvane
