#pragma once

#include "VideoWriter.h"

#include "timeline/Result.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace orvane {

// What a take's movie writer is asked for.
struct WriterSpec {
    QString path;          // the movie file; any file there is replaced
    int width = 0;         // pixels, even, at least 2
    int height = 0;        // pixels, even, at least 2
    double startTime = 0;  // host seconds that are time 0 in the movie
    // The sound sources to give a track each (none: a movie with only the
    // picture, exactly as without sound).
    std::vector<SoundKind> sound;
};

// Makes the take's movie writers and reads finished movies back. Not platform
// code: the TakeRecorder is handed one beside its capture backend (the FFmpeg one
// in the program, doubles in tests).
//
// Contract: createWriter() on the main thread; movieDuration() on any thread
// (the TakeRecorder reads it on its finishing thread). Must outlive the TakeRecorder.
class WriterFactory {
public:
    virtual ~WriterFactory() = default;

    // Required. A writer whose file is created and whose encoder is open.
    virtual Result<std::unique_ptr<VideoWriter>> createWriter(const WriterSpec& spec) = 0;
    // Required. The duration of a finished movie in seconds, read from the
    // file; nothing when it cannot be read or is not a positive finite number.
    virtual std::optional<double> movieDuration(const QString& path) = 0;
};

} // namespace orvane
