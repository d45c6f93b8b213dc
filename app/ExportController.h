#pragma once

#include "render/export/ExportJob.h"

#include <QObject>
#include <QString>

#include <memory>

namespace orvane {

class ExportWorker;

// Runs a document's export on worker threads (decode, compose, encode) and
// reports back on the main thread, one export at a time. A report of an
// export that was replaced never arrives.
//
// Main thread: every method and signal. The destructor cancels a running
// export and joins its threads.
class ExportController : public QObject {
    Q_OBJECT

public:
    explicit ExportController(QObject* parent = nullptr);
    ~ExportController() override;

    bool running() const { return worker_ != nullptr; }
    // Starts `job`; false, doing nothing, while an export runs.
    bool start(ExportJob job);

signals:
    // 0...1, in the worker's whole-percent steps.
    void progressed(double fraction);
    // The export ended: `path` written (ok), or not; `detail` is why it
    // failed, or for a damaged recording exported up to where it could be
    // read, where it ends ("the recording ends early at 8.2 s"); else empty.
    void finished(bool ok, const QString& path, const QString& detail);

private:
    void ended(quint64 generation, bool ok, const QString& path, const QString& detail);

    quint64 generation_ = 0;
    std::unique_ptr<ExportWorker> worker_;
};

} // namespace orvane
