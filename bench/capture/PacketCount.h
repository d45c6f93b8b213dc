#pragma once

// What a recorded file holds, as ffprobe reads it, for the recording
// benchmarks: how many video packets (frames), 0 when it cannot be read.
#include <QProcess>
#include <QString>

#include <string>

namespace orvane::bench {

inline long long countVideoPackets(const QString& path) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                 "stream=nb_read_packets", "-of", "csv=p=0", path});
    probe.waitForFinished(60000);
    return probe.readAllStandardOutput().trimmed().toLongLong();
}

// One line per stream, "codec,type,handler name", joined by "; ", as ffprobe
// reads the file: to show what a benchmark's take holds.
inline std::string streamSummary(const QString& path) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {"-v", "error", "-show_entries", "stream=codec_name,codec_type:stream_tags=handler_name",
                 "-of", "csv=p=0", path});
    probe.waitForFinished(60000);
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed().replace('\n', QStringLiteral("; ")).toStdString();
}

} // namespace orvane::bench
