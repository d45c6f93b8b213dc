#include "FfmpegWriterFactory.h"

#include "MovieDuration.h"

namespace orvane {

Result<std::unique_ptr<VideoWriter>> FfmpegWriterFactory::createWriter(const WriterSpec& spec) {
    MovieWriterOptions options = options_;
    options.sound = spec.sound;
    auto writer = MovieWriter::tryCreate(spec.path, spec.width, spec.height, spec.startTime, options);
    if (!writer) {
        return writer.errorValue();
    }
    return std::unique_ptr<VideoWriter>(std::move(writer.value()));
}

std::optional<double> FfmpegWriterFactory::movieDuration(const QString& path) {
    return readMovieDuration(path);
}

} // namespace orvane
