#pragma once

#include "PickerPresenter.h"

#include "capture/ContentPicker.h"

#include <memory>
#include <string>

namespace orvane {

// The content picker on X11: the displays (RandR monitors) and the windows
// (EWMH client list), read each time it opens, shown by a PickerPresenter
// (Orvane's own dialog in the window); choose() picks without one, as the
// command line does. Choosing reports the area in root-window pixels with a
// pixel scale of 1. Main thread only; the signals are queued.
class X11ContentPicker final : public ContentPicker {
    Q_OBJECT
public:
    explicit X11ContentPicker(std::string display = {}, QObject* parent = nullptr);
    ~X11ContentPicker() override;

    void setActive(bool active) override;
    void present() override;
    // Monitors in RandR's order; windows by X11 id or by title.
    void choose(const ContentQuery& query) override;

    // Where present() shows the list; without one, present() fails saying
    // so, and only choose() picks.
    void setPresenter(std::unique_ptr<PickerPresenter> presenter) {
        presenter_ = std::move(presenter);
    }
    PickerPresenter* presenter() const { return presenter_.get(); }

private:
    void closeDialog();

    std::string display_;
    bool active_ = false;
    std::unique_ptr<PickerPresenter> presenter_;
};

} // namespace orvane
