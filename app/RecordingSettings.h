#pragma once

#include <QString>

namespace orvane {

// How the window records, as the user left it: remembered between runs (in
// the application's settings).
struct RecordingSettings {
    // Seconds counted down before a take: one of kCountdowns.
    int countdown = 3;
    // The shortcut that stops a take, or starts one, from anywhere (a
    // QKeySequence in portable text); empty: none.
    QString shortcut = QStringLiteral("Ctrl+Shift+R");
    // Whether the floating bar shows while a take records (it always does
    // where the desktop has no status icons).
    bool showBar = true;
    // Whether a display take records a region of it, chosen by dragging a
    // rectangle after the display is chosen.
    bool region = false;

    static constexpr int kCountdowns[] = {0, 3, 5, 10};

    static RecordingSettings load();
    void save() const;
};

} // namespace orvane
