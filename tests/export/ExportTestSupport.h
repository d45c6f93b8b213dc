#pragma once

// Movies and probes for the export tests: a small HEVC source whose left half
// is yellow and right half blue (so a zoom shows as the boundary moving), its
// clicks file, and ffprobe readings of what the export wrote.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace orvane::test {

// 320 x 200, 2 s at 30 fps, HEVC in MOV (hvc1); kept between runs.
std::string splitSourceMovie();
// A clicks sidecar with one click at t = 1 s on the middle of the yellow half.
std::string splitSourceClicks(const std::string& folder);

inline constexpr double kClickTime = 1.0;
inline constexpr double kClickX = 0.25;
inline constexpr double kClickY = 0.5;

struct Probe {
    QString codec;
    int width = 0;
    int height = 0;
    int frames = 0;       // decoded video frames
    int videoStreams = 0;
    int audioStreams = 0;
    double duration = 0;  // container, seconds
    double firstTime = -1; // first frame's time, seconds
    QString primaries, transfer, matrix, range;
};
std::optional<Probe> probe(const std::string& path);

// Files in `folder` other than those named in `keep`.
QStringList strayFiles(const std::string& folder, const QStringList& keep);

} // namespace orvane::test
