#pragma once

#include "timeline/SoundMix.h"

#include <QWidget>

#include <vector>

class QComboBox;
class QAbstractButton;

namespace orvane {

class AudioSection;
class Recorder;
class SliderRow;

// The inspector's panel for the look of the whole video: padding, corners,
// background blur, the background swatches and the output format, and when
// the take has sound the volumes of its sources (AudioSection). The look
// settings are not undoable; the volumes are. Main thread only.
class CompositionPanel : public QWidget {
    Q_OBJECT

public:
    // Swatch grid: fixed 34-point columns, 8 points apart.
    static constexpr int kSwatch = 34;
    static constexpr int kSwatchGap = 8;

    explicit CompositionPanel(Recorder& recorder, QWidget* parent = nullptr);

    void refresh();
    // The sound sources the take has a track for (none hides the Audio section).
    void setSoundKinds(const std::vector<SoundKind>& kinds);

    SliderRow* paddingRow() const { return padding_; }
    SliderRow* cornersRow() const { return corners_; }
    SliderRow* blurRow() const { return blur_; }
    QComboBox* formatMenu() const { return format_; }
    // One per background index: the gradients first, then the images.
    const std::vector<QAbstractButton*>& swatches() const { return swatches_; }
    AudioSection* audioSection() const { return audio_; }

private:
    Recorder& rec_;
    SliderRow* padding_;
    SliderRow* corners_;
    SliderRow* blur_;
    QComboBox* format_;
    std::vector<QAbstractButton*> swatches_;
    AudioSection* audio_;
};

} // namespace orvane
