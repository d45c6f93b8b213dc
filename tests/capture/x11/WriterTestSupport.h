#pragma once

// Creates movie writers the way the writer tests want them: the writer, or
// null with the reason in `error` when one is given.
#include "capture/ffmpeg/MovieWriter.h"

#include <QString>

#include <memory>

namespace orvane::test {

inline std::unique_ptr<MovieWriter> createWriter(const QString& path, int width, int height,
                                                 double startTime,
                                                 const MovieWriterOptions& options = {},
                                                 QString* error = nullptr) {
    auto created = MovieWriter::tryCreate(path, width, height, startTime, options);
    if (!created) {
        if (error != nullptr) {
            *error = QString::fromStdString(created.error());
        }
        return nullptr;
    }
    return std::move(created.value());
}

} // namespace orvane::test
