#pragma once

// Creates movie writers the way the writer tests want them: the writer, or
// null with the reason in `error` when one is given.
#include "capture/ffmpeg/MovieWriter.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

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

// Runs the capture probe (`program`) recording a synthetic take into `path`
// with `extra` arguments, lets it record for `milliseconds`, then kills it
// with SIGKILL: no finish(), no trailer. Returns whether it started and said
// it was recording.
inline bool recordThenKill(const QString& program, const QString& path, const QStringList& extra,
                           int milliseconds) {
    QProcess probe;
    probe.start(program, QStringList{QStringLiteral("synthetic"), path} + extra);
    if (!probe.waitForStarted() || !probe.waitForReadyRead(10000)) { // "recording" once the writer runs
        probe.kill();
        probe.waitForFinished();
        return false;
    }
    QThread::msleep(static_cast<unsigned long>(milliseconds));
    probe.kill();
    probe.waitForFinished();
    return true;
}

} // namespace orvane::test
