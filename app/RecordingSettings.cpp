#include "RecordingSettings.h"

#include <QSettings>

#include <algorithm>
#include <iterator>

namespace orvane {

RecordingSettings RecordingSettings::load() {
    QSettings settings;
    RecordingSettings s;
    const int countdown = settings.value(QStringLiteral("recording/countdown"), s.countdown).toInt();
    // A value from elsewhere (an edited file) falls back to the default.
    if (std::find(std::begin(kCountdowns), std::end(kCountdowns), countdown) != std::end(kCountdowns)) {
        s.countdown = countdown;
    }
    s.shortcut = settings.value(QStringLiteral("recording/shortcut"), s.shortcut).toString();
    s.showBar = settings.value(QStringLiteral("recording/showBar"), s.showBar).toBool();
    s.region = settings.value(QStringLiteral("recording/region"), s.region).toBool();
    return s;
}

void RecordingSettings::save() const {
    QSettings settings;
    settings.setValue(QStringLiteral("recording/countdown"), countdown);
    settings.setValue(QStringLiteral("recording/shortcut"), shortcut);
    settings.setValue(QStringLiteral("recording/showBar"), showBar);
    settings.setValue(QStringLiteral("recording/region"), region);
}

} // namespace orvane
