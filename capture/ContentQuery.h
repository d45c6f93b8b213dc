#pragma once

#include <QRect>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace orvane {

// A choice made without the picker's dialog, as a command line states it:
// a monitor by its index, or a window by its id or by part of its title. At
// most one of `windowId` and `windowTitle` is set; with neither, the monitor
// is meant.
struct ContentQuery {
    int monitor = 0;                 // counted from 0 in the backend's order
    std::optional<quint64> windowId; // the id the display server gives the window
    QString windowTitle;             // non-empty: the first window whose title contains it
    // Of the monitor: only this part, in its pixels (see ContentRegion.h);
    // empty: all of it. Not with a window.
    QRect region;
};

} // namespace orvane
