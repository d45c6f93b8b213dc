#include "ExportWorker.h"

#include "render/export/RenderComposite.h"

namespace orvane {

ExportWorker::ExportWorker(ExportJob job, ExportProgress progress, Done done) {
    thread_ = std::thread([this, job = std::move(job), progress = std::move(progress),
                           done = std::move(done)] {
        const Result<ExportReport> result = renderComposite(job, progress, &cancel_);
        if (done) {
            done(result);
        }
    });
}

ExportWorker::~ExportWorker() {
    cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
}

} // namespace orvane
