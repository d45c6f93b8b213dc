#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <ostream>
#include <vector>

// Readable QStrings in test failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace orvane::test {

// What ffprobe reads from a movie's first video stream.
struct ProbedMovie {
    QString formatName;   // e.g. "mov,mp4,m4a,3gp,3g2,mj2"
    double duration = 0;  // seconds, from the container
    QString codec;        // e.g. "h264"
    int width = 0;
    int height = 0;
    QString frameRate;    // r_frame_rate, e.g. "60/1"
    QString primaries;
    QString transfer;
    QString matrix;
    QString timeBase;
};

struct ProbedFrame {
    double time = 0; // seconds
    bool key = false;
};

// Runs a program and returns its standard output, or nothing when it fails to
// start, times out or exits with an error.
std::optional<QByteArray> runTool(const QString& program, const QStringList& args,
                                  int timeoutMs = 60000);

std::optional<ProbedMovie> probeMovie(const QString& path);
// Every decoded video frame with its time and key flag, in order. Frames that
// fail to decode are not listed, so a truncated file lists what survives.
std::vector<ProbedFrame> probeFrames(const QString& path);
// One decoded frame at `time` seconds as raw bytes in `pixelFormat` (ffmpeg's
// name, e.g. "bgra" or "yuv420p"), without any conversion of colours when the
// format is the movie's own.
std::optional<QByteArray> decodeFrame(const QString& path, double time, const QString& pixelFormat);

// The encoder's codec as ffprobe names it ("libx264" -> "h264", "hevc_*" -> "hevc").
QString codecOfEncoder(const QString& encoder);

} // namespace orvane::test
