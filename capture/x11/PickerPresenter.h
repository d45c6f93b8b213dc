#pragma once

#include "ContentList.h"

#include "capture/CaptureContent.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// Where the user picks what to record on X11: Orvane's own dialog in the
// window (X11PickerDialogs, a library of its own so that the command-line
// recorder links no widgets). The X11 content picker hands it the list and
// hears the answer.
//
// Main thread only. The answer comes once per open(), on the main thread,
// unless close() came first.
class PickerPresenter {
public:
    // The chosen entry's content, or nothing when the user cancelled.
    using Answer = std::function<void(std::optional<CaptureContent> chosen)>;

    virtual ~PickerPresenter() = default;
    // Shows `entries` (read from the X display `display`, whose pictures it
    // may read to show them).
    virtual void open(std::vector<PickerEntry> entries, const std::string& display,
                      Answer answer) = 0;
    virtual bool isOpen() const = 0;
    // Brings the open list forward.
    virtual void raise() = 0;
    // Closes the list without an answer.
    virtual void close() = 0;
};

// Makes a presenter; what a program that shows a picker gives the backend.
using PickerPresenterMaker = std::function<std::unique_ptr<PickerPresenter>()>;

} // namespace orvane
