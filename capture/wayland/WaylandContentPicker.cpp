#include "WaylandContentPicker.h"

#include "capture/ContentRegion.h"

#include <QGuiApplication>
#include <QWindow>

namespace orvane::wayland {

namespace {

// The portal's handle of our own window, so the dialog is placed over it: on
// X11 (XWayland) the window id; on native Wayland an exported handle is
// needed, which Qt does not give, so the dialog stands on its own.
QString parentWindowHandle() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return {};
    }
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
        if (w->isVisible() && w->isActive()) {
            return QStringLiteral("x11:%1").arg(w->winId(), 0, 16);
        }
    }
    return {};
}

} // namespace

WaylandContentPicker::WaylandContentPicker(QString portalService, QObject* parent)
    : ContentPicker(parent), portal_(std::move(portalService)) {
    connect(&portal_, &ScreenCastPortal::started, this,
            [this](std::shared_ptr<PortalSession> session) {
                answerPending_ = false;
                CaptureContent content;
                content.kind = session->sourceType == PortalSession::SourceType::Window
                                   ? CaptureContent::Kind::Window
                                   : CaptureContent::Kind::Display;
                const QSize size = session->logicalSize.isValid() ? session->logicalSize : QSize(1, 1);
                content.area = QRectF(0, 0, size.width(), size.height());
                content.title = content.kind == CaptureContent::Kind::Window
                                    ? QStringLiteral("Shared window")
                                    : QStringLiteral("Shared screen");
                // The stream checks the region against its pixels, which only
                // it knows.
                if (content.kind == CaptureContent::Kind::Display && !region_.isEmpty()) {
                    content.region = evenRegion(region_);
                    content.title += QStringLiteral(" (region at %1,%2)").arg(region_.x()).arg(region_.y());
                }
                content.source = std::make_shared<WaylandSource>(std::move(session));
                QMetaObject::invokeMethod(
                    this, [this, content] { emit contentChosen(content); }, Qt::QueuedConnection);
            });
    connect(&portal_, &ScreenCastPortal::cancelled, this, [this] {
        answerPending_ = false;
        QMetaObject::invokeMethod(this, [this] { emit cancelled(); }, Qt::QueuedConnection);
    });
    connect(&portal_, &ScreenCastPortal::failed, this, [this](const Error& e) {
        answerPending_ = false;
        const QString why = QString::fromStdString(e.message);
        QMetaObject::invokeMethod(this, [this, why] { emit failed(why); }, Qt::QueuedConnection);
    });
}

void WaylandContentPicker::setActive(bool active) {
    active_ = active;
    if (!active && answerPending_) {
        // The dialog is closed from here: no answer follows.
        answerPending_ = false;
        portal_.cancel();
    }
}

void WaylandContentPicker::present() {
    if (!active_ || portal_.busy()) {
        return;
    }
    region_ = QRect();
    run(1 | 2);
}

void WaylandContentPicker::choose(const ContentQuery& query) {
    if (portal_.busy()) {
        return;
    }
    const bool window = query.windowId.has_value() || !query.windowTitle.isEmpty();
    region_ = window ? QRect() : query.region;
    run(window ? 2 : 1);
}

void WaylandContentPicker::run(uint sourceTypes) {
    answerPending_ = true;
    portal_.begin(sourceTypes, parentWindowHandle());
}

} // namespace orvane::wayland
