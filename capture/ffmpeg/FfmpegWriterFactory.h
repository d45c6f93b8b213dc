#pragma once

#include "MovieWriter.h"

#include "capture/WriterFactory.h"

namespace orvane {

// The take's movie writers over the FFmpeg libraries (MovieWriter), and the
// duration of a finished movie read back from its container.
class FfmpegWriterFactory final : public WriterFactory {
public:
    explicit FfmpegWriterFactory(MovieWriterOptions options = {}) : options_(std::move(options)) {}

    Result<std::unique_ptr<VideoWriter>> createWriter(const WriterSpec& spec) override;
    std::optional<double> movieDuration(const QString& path) override;

private:
    MovieWriterOptions options_;
};

} // namespace orvane
