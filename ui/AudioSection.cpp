#include "AudioSection.h"

#include "InspectorTexts.h"
#include "SliderRow.h"
#include "Theme.h"
#include "ToggleSwitch.h"
#include "app/Recorder.h"

#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace orvane {

namespace {
void setVolume(SoundMix& mix, SoundKind kind, double v) {
    (kind == SoundKind::Microphone ? mix.microphoneVolume : mix.desktopVolume) = v;
}
void setMuted(SoundMix& mix, SoundKind kind, bool muted) {
    (kind == SoundKind::Microphone ? mix.microphoneMuted : mix.desktopMuted) = muted;
}
} // namespace

AudioSection::AudioSection(Recorder& recorder, QWidget* parent) : QWidget(parent), rec_(recorder) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    auto* caption = new QLabel(QStringLiteral("Audio"), this);
    caption->setFont(Theme::font(Theme::Font::caption));
    caption->setStyleSheet(
        QStringLiteral("color: %1").arg(Theme::css(Theme::Color::secondaryText)));
    layout->addWidget(caption);
    addSource(SoundKind::Microphone, QStringLiteral("Microphone"));
    addSource(SoundKind::Desktop, QStringLiteral("Desktop sound"));

    connect(&rec_, &EditModel::soundMixChanged, this, &AudioSection::refresh);
    setSoundKinds({});
    refresh();
}

void AudioSection::addSource(SoundKind kind, const QString& name) {
    Source& s = source(kind);
    s.volume = new SliderRow(name, 0, SoundMix::kMaxVolume, this);
    s.volume->format = InspectorTexts::roundedPercent;
    // A drag is one undo step, as for the segment sliders.
    s.volume->onEditBegin = [this] { rec_.beginEdit(); };
    s.volume->onChange = [this, kind](double v) {
        SoundMix mix = rec_.soundMix();
        setVolume(mix, kind, v);
        rec_.setSoundMix(mix);
    };
    s.mute = new ToggleSwitch(QStringLiteral("Mute"), this);
    s.mute->setFont(Theme::font(Theme::Font::label));
    s.mute->setAccessibleName(QStringLiteral("Mute ") + name.toLower());
    connect(s.mute, &ToggleSwitch::toggled, this, [this, kind](bool on) {
        if (refreshing_) {
            return;
        }
        rec_.beginEdit();
        SoundMix mix = rec_.soundMix();
        setMuted(mix, kind, on);
        rec_.setSoundMix(mix);
    });
    layout()->addWidget(s.volume);
    layout()->addWidget(s.mute);
}

void AudioSection::setSoundKinds(const std::vector<SoundKind>& kinds) {
    kinds_ = kinds;
    for (SoundKind kind : kSoundKinds) {
        const bool present = std::find(kinds_.begin(), kinds_.end(), kind) != kinds_.end();
        source(kind).volume->setVisible(present);
        source(kind).mute->setVisible(present);
    }
    setVisible(!kinds_.empty());
}

void AudioSection::refresh() {
    refreshing_ = true;
    const SoundMix& mix = rec_.soundMix();
    for (SoundKind kind : kSoundKinds) {
        source(kind).volume->setValue(mix.volume(kind));
        source(kind).mute->setChecked(mix.muted(kind));
    }
    refreshing_ = false;
}

SliderRow* AudioSection::volumeRow(SoundKind kind) const {
    return source(kind).volume;
}

ToggleSwitch* AudioSection::muteSwitch(SoundKind kind) const {
    return source(kind).mute;
}

} // namespace orvane
