#pragma once

#include "render/export/ExportJob.h"

#include "timeline/Result.h"

#include <atomic>

namespace orvane {

// Exports `job.source` to `job.output` as H.264 in MP4: every source frame in
// the trimmed range (exportRange()) is composed by the FrameCompositor at the
// output size of the output geometry and written at its own time, shifted so
// the range starts at 0. Decoding, composing and encoding run on three threads
// joined by small bounded queues of reused buffers; this call blocks until
// they are done, so call it from a worker thread, never the main thread.
//
// The file is written beside the target under a temporary name and renamed
// into place only when it is complete; on failure (or cancel) nothing is left
// and an existing file of that name is kept. Writing over the source movie
// itself is refused. A source that ends in damaged data fails the export
// rather than producing a shorter video that claims to be complete.
//
// `progress` (may be empty) is called on an export thread, in whole-percent
// steps, and with 1 once the file is in place. Setting `*cancel` (may be null)
// stops the export soon; it then fails with "cancelled". Errors are one line.
Result<ExportReport> renderComposite(const ExportJob& job, const ExportProgress& progress,
                                     const std::atomic<bool>* cancel = nullptr,
                                     const char* x264Preset = nullptr);

} // namespace orvane
