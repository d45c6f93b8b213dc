#include "X11CaptureBackend.h"

#include "X11ScreenStream.h"

#include "capture/ffmpeg/MovieDuration.h"
#include "capture/ffmpeg/MovieWriter.h"

namespace orvane {

X11CaptureBackend::X11CaptureBackend(std::string display)
    : display_(display), picker_(display), input_(display), permissions_(display) {}

std::unique_ptr<ScreenStream> X11CaptureBackend::createStream(const CaptureContent& content,
                                                              QSize pixelSize) {
    if (pixelSize.width() < 2 || pixelSize.height() < 2) {
        return nullptr;
    }
    X11ScreenStream::Options options;
    options.display = display_;
    return std::make_unique<X11ScreenStream>(content, pixelSize, options);
}

std::unique_ptr<VideoWriter> X11CaptureBackend::createWriter(const QString& path, int width,
                                                             int height, double startTime) {
    return MovieWriter::create(path, width, height, startTime);
}

std::optional<double> X11CaptureBackend::movieDuration(const QString& path) {
    return readMovieDuration(path);
}

} // namespace orvane
