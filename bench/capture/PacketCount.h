#pragma once

// How many video packets (frames) a recorded file holds, as ffprobe counts
// them; 0 when it cannot be read. For the recording benchmarks' baselines.
#include <QProcess>
#include <QString>

namespace orvane::bench {

inline long long countVideoPackets(const QString& path) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                 "stream=nb_read_packets", "-of", "csv=p=0", path});
    probe.waitForFinished(60000);
    return probe.readAllStandardOutput().trimmed().toLongLong();
}

} // namespace orvane::bench
