#pragma once

#include "timeline/SoundMix.h"

#include <QWidget>
#include <vector>

namespace orvane {

class Recorder;
class SliderRow;
class ToggleSwitch;

// The composition panel's "Audio" section: per sound source of the take a
// "Microphone" / "Desktop sound" volume slider (0...200%, 100% as recorded)
// and a mute switch. They edit the sound mix of the edit state, so they are
// undoable like the segment sliders: one undo step per drag, one per switch.
// Hidden while the take has no sound; a source without a track has no row.
// Main thread only.
class AudioSection : public QWidget {
    Q_OBJECT

public:
    explicit AudioSection(Recorder& recorder, QWidget* parent = nullptr);

    // The sources the take has a track for; none hides the section.
    void setSoundKinds(const std::vector<SoundKind>& kinds);
    const std::vector<SoundKind>& soundKinds() const { return kinds_; }
    void refresh();

    SliderRow* volumeRow(SoundKind kind) const;
    ToggleSwitch* muteSwitch(SoundKind kind) const;

private:
    struct Source {
        SliderRow* volume = nullptr;
        ToggleSwitch* mute = nullptr;
    };
    Source& source(SoundKind kind) { return kind == SoundKind::Microphone ? mic_ : desktop_; }
    const Source& source(SoundKind kind) const {
        return kind == SoundKind::Microphone ? mic_ : desktop_;
    }
    void addSource(SoundKind kind, const QString& name);

    Recorder& rec_;
    Source mic_;
    Source desktop_;
    std::vector<SoundKind> kinds_;
    bool refreshing_ = false;
};

} // namespace orvane
