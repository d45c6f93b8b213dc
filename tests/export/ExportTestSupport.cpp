#include "ExportTestSupport.h"

#include "MovieFixtures.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace orvane::test {

std::string splitSourceMovie() {
    return cachedFixture("split-320x200-30fps-2s.mov", [](const std::string& path) {
        return runFfmpeg("-f lavfi -i 'color=c=0x2040C0:s=320x200:r=30:d=2,"
                         "drawbox=x=0:y=0:w=160:h=200:color=0xE0E040:t=fill' "
                         "-c:v libx265 -x265-params log-level=error -pix_fmt yuv420p "
                         "-tag:v hvc1 -f mov '" + path + "'");
    });
}

std::string splitSourceClicks(const std::string& folder) {
    const std::string path = folder + "/clicks.json";
    writeText(path, R"({"duration":1,"moments":[{"t":1,"x":0.25,"y":0.5}]})");
    return path;
}

std::optional<Probe> probe(const std::string& path) {
    QProcess p;
    p.start(QStringLiteral("ffprobe"),
            {"-v", "error", "-count_frames", "-show_entries",
             "stream=codec_type,codec_name,width,height,nb_read_frames,color_primaries,"
             "color_transfer,color_space,color_range,start_time:format=duration",
             "-of", "json", QString::fromStdString(path)});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        return std::nullopt;
    }
    const QJsonObject root = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    Probe r;
    r.duration = root["format"].toObject()["duration"].toString().toDouble();
    for (const auto& v : root["streams"].toArray()) {
        const QJsonObject s = v.toObject();
        if (s["codec_type"].toString() == "audio") {
            ++r.audioStreams;
            continue;
        }
        if (s["codec_type"].toString() != "video") {
            continue;
        }
        ++r.videoStreams;
        r.codec = s["codec_name"].toString();
        r.width = s["width"].toInt();
        r.height = s["height"].toInt();
        r.frames = s["nb_read_frames"].toString().toInt();
        r.firstTime = s["start_time"].toString().toDouble();
        r.primaries = s["color_primaries"].toString();
        r.transfer = s["color_transfer"].toString();
        r.matrix = s["color_space"].toString();
        r.range = s["color_range"].toString();
    }
    return r;
}

QStringList strayFiles(const std::string& folder, const QStringList& keep) {
    QStringList names = QDir(QString::fromStdString(folder))
                            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& k : keep) {
        names.removeAll(k);
    }
    return names;
}

} // namespace orvane::test
