#include "ExportController.h"

#include "render/export/ExportWorker.h"

namespace orvane {

ExportController::ExportController(QObject* parent) : QObject(parent) {}

ExportController::~ExportController() = default; // the worker cancels and joins

bool ExportController::start(ExportJob job) {
    if (worker_) {
        return false;
    }
    const quint64 generation = ++generation_;
    const QString path = QString::fromStdString(job.output);
    // Both callbacks run on export threads; they only post to the main thread.
    // The worker is joined in the destructor before the QObject goes away, so
    // posting to `this` is safe, and posted calls still pending at that point
    // are dropped with the object.
    auto progress = [this, generation](double fraction) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, fraction] {
                if (generation == generation_ && worker_) {
                    emit progressed(fraction);
                }
            },
            Qt::QueuedConnection);
    };
    auto done = [this, generation, path](const Result<ExportReport>& result) {
        const bool ok = result.ok();
        // What the user needs to hear beyond the outcome: why it failed, or
        // that a damaged recording was exported only up to where it ends.
        QString detail;
        if (!ok) {
            detail = QString::fromStdString(result.error());
        } else if (result->endedEarly) {
            detail = QString::fromStdString(endedEarlyNote(*result->endedEarly));
        }
        QMetaObject::invokeMethod(
            this, [this, generation, ok, path, detail] { ended(generation, ok, path, detail); },
            Qt::QueuedConnection);
    };
    worker_ = std::make_unique<ExportWorker>(std::move(job), progress, done);
    return true;
}

void ExportController::ended(quint64 generation, bool ok, const QString& path,
                             const QString& detail) {
    if (generation != generation_) {
        return;
    }
    worker_.reset(); // its thread has finished: this only joins it
    emit finished(ok, path, detail);
}

} // namespace orvane
