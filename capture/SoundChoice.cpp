#include "SoundChoice.h"

#include <QSettings>

namespace orvane {

namespace {

const QString kMicrophone = QStringLiteral("sound/microphone");
const QString kMicrophoneDevice = QStringLiteral("sound/microphoneDevice");
const QString kDesktop = QStringLiteral("sound/desktop");

} // namespace

std::vector<SoundKind> SoundChoice::kinds() const {
    std::vector<SoundKind> out;
    for (SoundKind kind : kSoundKinds) {
        if (wants(kind)) {
            out.push_back(kind);
        }
    }
    return out;
}

SoundChoice loadSoundChoice() {
    const QSettings settings;
    SoundChoice c;
    c.microphone = settings.value(kMicrophone, false).toBool();
    c.microphoneDevice = settings.value(kMicrophoneDevice).toString();
    c.desktop = settings.value(kDesktop, false).toBool();
    return c;
}

void saveSoundChoice(const SoundChoice& choice) {
    QSettings settings;
    settings.setValue(kMicrophone, choice.microphone);
    settings.setValue(kMicrophoneDevice, choice.microphoneDevice);
    settings.setValue(kDesktop, choice.desktop);
}

} // namespace orvane
