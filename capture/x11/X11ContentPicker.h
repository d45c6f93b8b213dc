#pragma once

#include "PickerDialog.h"

#include "capture/ContentPicker.h"

#include <QPointer>

#include <string>

namespace orvane {

// The content picker on X11: Orvane's own dialog listing the displays (RandR
// monitors) and the windows (EWMH client list). Choosing reports the area in
// root-window pixels with a pixel scale of 1. The list is read each time the
// dialog opens, and the dialog shows at once; the pictures follow from a worker
// thread (ThumbnailLoader). Main thread only; the signals are queued.
class X11ContentPicker final : public ContentPicker {
    Q_OBJECT
public:
    explicit X11ContentPicker(std::string display = {}, QObject* parent = nullptr);
    ~X11ContentPicker() override;

    void setActive(bool active) override;
    void present() override;
    // Monitors in RandR's order; windows by X11 id or by title.
    void choose(const ContentQuery& query) override;

    // The open dialog, or null. Lets tests and accessibility tools drive it.
    PickerDialog* dialog() const { return dialog_; }

private:
    void closeDialog();

    std::string display_;
    bool active_ = false;
    QPointer<PickerDialog> dialog_;
};

} // namespace orvane
