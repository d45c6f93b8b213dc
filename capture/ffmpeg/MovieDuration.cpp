#include "MovieDuration.h"

#include "media/AvHandles.h"

#include <QFile>

#include <cmath>

namespace orvane {

std::optional<double> readMovieDuration(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, file.constData(), nullptr, nullptr) < 0) {
        return std::nullopt;
    }
    av::InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return std::nullopt;
    }
    double seconds = 0;
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (input->nb_streams > 1 && video >= 0) {
        const AVStream* st = input->streams[video];
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
            const std::int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
            seconds = static_cast<double>(start + st->duration) * av_q2d(st->time_base);
        }
    }
    if (!(seconds > 0)) {
        if (input->duration == AV_NOPTS_VALUE || input->duration <= 0) {
            return std::nullopt;
        }
        seconds = static_cast<double>(input->duration) / AV_TIME_BASE;
    }
    if (!std::isfinite(seconds) || seconds <= 0) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace orvane
