#pragma once

#include "render/export/ExportJob.h"

#include "timeline/Result.h"

#include <atomic>
#include <functional>
#include <thread>

namespace orvane {

// Runs one export (renderComposite) on a thread of its own, so the thread that
// starts it never waits for the file. The owner hears back through the two
// callbacks, which run on the export's threads: the owner forwards them to its
// own thread (the Recorder posts queued calls to the main thread).
//
// Destroying the worker cancels a running export and waits for its threads, so
// an owner that goes away mid-export leaves no thread behind and no file: the
// export then ends as a failure whose `done` is still called (on the worker
// thread, before the destructor returns).
class ExportWorker {
public:
    using Done = std::function<void(const Result<ExportReport>& result)>;

    ExportWorker(ExportJob job, ExportProgress progress, Done done);
    ~ExportWorker();
    ExportWorker(const ExportWorker&) = delete;
    ExportWorker& operator=(const ExportWorker&) = delete;

    // Asks the export to stop soon; it then fails with "cancelled". Any thread.
    void cancel() { cancel_.store(true); }

private:
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};

} // namespace orvane
