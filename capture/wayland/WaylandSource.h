#pragma once

// Internal to the Wayland backend: what a CaptureContent of this backend
// carries.

#include "PortalSession.h"

#include "capture/CaptureContent.h"
#include "capture/CaptureSource.h"

#include <memory>

namespace orvane::wayland {

// A shared display or window: the portal session that shares it. The session
// closes when the last copy of the content lets go.
class WaylandSource final : public CaptureSource {
public:
    static constexpr const char* kBackendName = "wayland";

    explicit WaylandSource(std::shared_ptr<PortalSession> session) : session_(std::move(session)) {}
    const char* backendName() const override { return kBackendName; }
    const std::shared_ptr<PortalSession>& session() const { return session_; }

    static const WaylandSource* of(const CaptureContent& content) {
        return dynamic_cast<const WaylandSource*>(content.source.get());
    }

private:
    std::shared_ptr<PortalSession> session_;
};

} // namespace orvane::wayland
