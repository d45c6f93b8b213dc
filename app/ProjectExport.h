#pragma once

#include "TakeFiles.h"

#include "render/export/ExportJob.h"
#include "timeline/Look.h"

#include <string>

namespace orvane {

class EditModel;

// Puts a take read back from its folder into `model`: its track, clicks,
// duration and the edit state of its project (or, for freshZooms, the whole
// movie with zooms made from the clicks, as after a fresh take). The one
// place both the window's Project and orvane-render --project do this, so the
// two export the same frames. The undo history is left for the caller.
// Main thread of `model`.
void applyTakeEdits(EditModel& model, const OpenedTake& take);

// The export of `model` as it is now with `look`, from the movie `source` to
// `output`: what the window's Export runs.
ExportJob exportJobOf(const EditModel& model, const Look& look, const std::string& source,
                      const std::string& output);

// The export job of a take read back from its folder, built through an edit
// model as the window builds it. Any thread.
ExportJob projectExportJob(const OpenedTake& take, const std::string& output);

} // namespace orvane
