#include "MediaProbe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

namespace orvane::test {

std::optional<QByteArray> runTool(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        return std::nullopt;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return std::nullopt;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        return std::nullopt;
    }
    return p.readAllStandardOutput();
}

std::optional<ProbedMovie> probeMovie(const QString& path) {
    const auto out = runTool(
        "ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                    "format=format_name,duration:stream=codec_name,width,height,r_frame_rate,"
                    "color_primaries,color_transfer,color_space,time_base",
                    "-of", "json", path});
    if (!out) {
        return std::nullopt;
    }
    const QJsonObject root = QJsonDocument::fromJson(*out).object();
    const QJsonArray streams = root["streams"].toArray();
    if (streams.isEmpty()) {
        return std::nullopt;
    }
    const QJsonObject s = streams.first().toObject();
    const QJsonObject f = root["format"].toObject();
    ProbedMovie m;
    m.formatName = f["format_name"].toString();
    m.duration = f["duration"].toString().toDouble();
    m.codec = s["codec_name"].toString();
    m.width = s["width"].toInt();
    m.height = s["height"].toInt();
    m.frameRate = s["r_frame_rate"].toString();
    m.primaries = s["color_primaries"].toString();
    m.transfer = s["color_transfer"].toString();
    m.matrix = s["color_space"].toString();
    m.timeBase = s["time_base"].toString();
    return m;
}

std::vector<ProbedFrame> probeFrames(const QString& path) {
    std::vector<ProbedFrame> frames;
    const auto out = runTool("ffprobe", {"-v", "quiet", "-select_streams", "v:0", "-show_entries",
                                         "frame=best_effort_timestamp_time,key_frame", "-of",
                                         "csv=p=0", path});
    if (!out) {
        return frames;
    }
    for (const QByteArray& line : out->split('\n')) {
        const QList<QByteArray> cols = line.trimmed().split(',');
        if (cols.size() < 2) {
            continue;
        }
        ProbedFrame f;
        f.key = cols[0] == "1";
        bool ok = false;
        f.time = cols[1].toDouble(&ok);
        if (ok) {
            frames.push_back(f);
        }
    }
    return frames;
}

std::optional<QByteArray> decodeFrame(const QString& path, double time, const QString& pixelFormat) {
    return runTool("ffmpeg", {"-v", "error", "-ss", QString::number(time, 'f', 3), "-i", path,
                              "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", pixelFormat, "-"});
}

QString codecOfEncoder(const QString& encoder) {
    if (encoder.startsWith("hevc") || encoder == "libx265") {
        return "hevc";
    }
    if (encoder.startsWith("h264") || encoder == "libx264") {
        return "h264";
    }
    return encoder;
}

} // namespace orvane::test
