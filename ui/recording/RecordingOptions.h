#pragma once

#include "app/RecordingSettings.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QKeySequenceEdit;
class QLabel;

namespace orvane {

// How the next takes record, under the start button: the countdown, the
// shortcut that stops a take from anywhere, and whether the floating bar
// shows. Says when the shortcut cannot work on this desktop. Main thread only.
class RecordingOptions : public QWidget {
    Q_OBJECT

public:
    explicit RecordingOptions(QWidget* parent = nullptr);

    void setSettings(const RecordingSettings& settings);
    RecordingSettings settings() const { return settings_; }
    // Why the shortcut does not work (empty: it does).
    void setShortcutProblem(const QString& problem);
    // Whether the bar may be hidden (only with a status icon).
    void setBarOptional(bool optional);
    // Whether a region can be chosen in the window on this desktop.
    void setRegionAvailable(bool available);

    QComboBox* countdownBox() const { return countdown_; }
    QCheckBox* regionBox() const { return region_; }

signals:
    void settingsChanged(const RecordingSettings& settings);

private:
    RecordingSettings settings_;
    QComboBox* countdown_;
    QKeySequenceEdit* shortcut_;
    QCheckBox* showBar_;
    QCheckBox* region_;
    QLabel* problem_;
};

} // namespace orvane
