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
// Sound: when the source has sound tracks and job.look.sound leaves at least
// one of them unmuted, the file gets one AAC track of the tracks mixed at
// their gains (soft-limited), covering exactly the trimmed range from output
// time 0; it is read ahead on a fourth thread and muxed by the encode thread.
// Otherwise the file has no sound track, exactly as for a silent recording.
//
// The file is written beside the target under a temporary name and renamed
// into place only when it is complete; on failure (or cancel) nothing is left
// and an existing file of that name is kept. Writing over the source movie
// itself, into a special file (FIFO, device, socket), from a trim that starts
// at or after the movie's end or at an output too small for the encoder is
// refused. A source whose tail is damaged (a take killed mid-way) is exported
// up to its last frame that decodes, and ExportReport::endedEarly says where
// that was; without a single decodable frame in the range the export fails.
//
// `progress` (may be empty) is called on an export thread, in whole-percent
// steps, and with 1 once the file is in place. Setting `*cancel` (may be null)
// stops the export soon; it then fails with "cancelled". Errors are one line.
Result<ExportReport> renderComposite(const ExportJob& job, const ExportProgress& progress,
                                     const std::atomic<bool>* cancel = nullptr,
                                     const char* x264Preset = nullptr);

} // namespace orvane
