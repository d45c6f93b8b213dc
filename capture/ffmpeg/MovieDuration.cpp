#include "MovieDuration.h"

#include "render/media/AvHandles.h"

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
    if (input->duration == AV_NOPTS_VALUE || input->duration <= 0) {
        return std::nullopt;
    }
    const double seconds = static_cast<double>(input->duration) / AV_TIME_BASE;
    if (!std::isfinite(seconds) || seconds <= 0) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace orvane
