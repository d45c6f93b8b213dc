#pragma once

#include "TakeFiles.h"

#include "render/export/ExportJob.h"

#include <string>

namespace orvane {

// The export job of a take read back from its folder, built through the same
// edit model the window's Project uses, so orvane-render --project and the
// window's Export of the same project write the same frames. Any thread.
ExportJob projectExportJob(const OpenedTake& take, const std::string& output);

} // namespace orvane
