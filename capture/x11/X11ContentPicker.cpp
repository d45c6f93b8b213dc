#include "X11ContentPicker.h"

#include "ContentList.h"
#include "X11Source.h"
#include "XcbHandles.h"

#include "capture/ContentRegion.h"

namespace orvane {

X11ContentPicker::X11ContentPicker(std::string display, QObject* parent)
    : ContentPicker(parent), display_(std::move(display)) {}

X11ContentPicker::~X11ContentPicker() {
    closeDialog();
}

void X11ContentPicker::setActive(bool active) {
    active_ = active;
    if (!active) {
        closeDialog();
    }
}

void X11ContentPicker::closeDialog() {
    if (presenter_) {
        presenter_->close(); // closed from here, not by the user: no answer follows
    }
}

void X11ContentPicker::present() {
    if (!active_) {
        return;
    }
    if (!presenter_) {
        QMetaObject::invokeMethod(
            this, [this] { emit failed(QStringLiteral("this program shows no picker; say what to record")); },
            Qt::QueuedConnection);
        return;
    }
    if (presenter_->isOpen()) {
        presenter_->raise();
        return;
    }
    auto entries = readCaptureContents(display_, 0);
    if (!entries) {
        const QString error = QString::fromStdString(entries.error());
        QMetaObject::invokeMethod(
            this, [this, error] { emit failed(error); }, Qt::QueuedConnection);
        return;
    }
    presenter_->open(std::move(entries.value()), display_,
                     [this](std::optional<CaptureContent> chosen) {
                         QMetaObject::invokeMethod(
                             this,
                             [this, chosen] {
                                 if (chosen) {
                                     emit contentChosen(*chosen);
                                 } else {
                                     emit cancelled();
                                 }
                             },
                             Qt::QueuedConnection);
                     });
}

namespace {

// Why the window `id` is not among the recordable ones, in words.
std::string whyNotListed(const std::string& display, quint64 id, const QString& shownName) {
    const QString hex = QStringLiteral("0x%1").arg(id, 0, 16);
    auto conn = x11::Connection::open(display);
    if (conn && id <= 0xffffffffULL) {
        xcb_connection_t* c = conn->get();
        const auto window = static_cast<xcb_window_t>(id);
        if (window == conn->root()) {
            return QStringLiteral("window %1 is the root window of %2; use --monitor to record "
                                  "the whole screen").arg(hex, shownName).toStdString();
        }
        x11::Reply<xcb_get_window_attributes_reply_t> attrs(xcb_get_window_attributes_reply(
            c, xcb_get_window_attributes(c, window), nullptr));
        if (attrs && attrs->map_state != XCB_MAP_STATE_VIEWABLE) {
            return QStringLiteral("window %1 on %2 is not shown on screen (unmapped or minimised)")
                .arg(hex, shownName).toStdString();
        }
        if (attrs) {
            return QStringLiteral("window %1 on %2 is not a top-level window that can be recorded")
                .arg(hex, shownName).toStdString();
        }
    }
    return QStringLiteral("no window %1 on %2").arg(hex, shownName).toStdString();
}

// The entry `query` names, or a one-line reason naming what was not found.
Result<CaptureContent> findContent(const std::vector<PickerEntry>& entries,
                                   const ContentQuery& query, const std::string& displayName,
                                   const QString& display) {
    const bool wantWindow = query.windowId.has_value() || !query.windowTitle.isEmpty();
    int monitorIndex = 0;
    for (const PickerEntry& e : entries) {
        const CaptureContent& c = e.content;
        if (wantWindow) {
            if (c.kind == CaptureContent::Kind::Window &&
                ((query.windowId && x11WindowId(c) == *query.windowId) ||
                 (!query.windowTitle.isEmpty() && c.title.contains(query.windowTitle)))) {
                return c;
            }
        } else if (c.kind == CaptureContent::Kind::Display) {
            if (monitorIndex == query.monitor) {
                return c;
            }
            ++monitorIndex;
        }
    }
    std::string why;
    if (query.windowId) {
        why = whyNotListed(displayName, *query.windowId, display);
    } else if (!query.windowTitle.isEmpty()) {
        why = "no window whose title contains \"" + query.windowTitle.toStdString() + "\"";
    } else {
        why = "no monitor " + std::to_string(query.monitor) + " on " + display.toStdString() +
              " (" + std::to_string(monitorIndex) + " found)";
    }
    return Error{ErrorKind::NotFound, why};
}

} // namespace

void X11ContentPicker::choose(const ContentQuery& query) {
    const QString display =
        display_.empty() ? qEnvironmentVariable("DISPLAY") : QString::fromStdString(display_);
    auto entries = readCaptureContents(display_, 0);
    Result<CaptureContent> found =
        entries ? findContent(entries.value(), query, display_, display)
                : Result<CaptureContent>::failure(entries.errorKind(),
                                                  "cannot read the display " +
                                                      display.toStdString() + ": " +
                                                      entries.error());
    if (found && !query.region.isEmpty()) {
        found = withRegion(found.value(), query.region);
    }
    if (found) {
        const CaptureContent content = found.value();
        QMetaObject::invokeMethod(
            this, [this, content] { emit contentChosen(content); }, Qt::QueuedConnection);
    } else {
        const QString error = QString::fromStdString(found.error());
        QMetaObject::invokeMethod(
            this, [this, error] { emit failed(error); }, Qt::QueuedConnection);
    }
}

} // namespace orvane
