#pragma once

#include "PickerPresenter.h"

#include "PickerDialog.h"

#include <QPointer>

namespace orvane {


// The X11 picker as the window shows it: a PickerDialog that opens at once
// with placeholders, whose pictures a worker thread (ThumbnailLoader) fills in.
// Main thread only.
class X11PickerDialogs final : public PickerPresenter {
public:
    X11PickerDialogs() = default;
    ~X11PickerDialogs() override;

    void open(std::vector<PickerEntry> entries, const std::string& display, Answer answer) override;
    bool isOpen() const override { return !dialog_.isNull(); }
    void raise() override;
    void close() override;

    // The open dialog, or null. Lets tests and accessibility tools drive it.
    PickerDialog* dialog() const { return dialog_; }

private:
    QPointer<PickerDialog> dialog_;
};

// The maker the window's program hands the capture backends.
PickerPresenterMaker x11PickerDialogs();

} // namespace orvane
