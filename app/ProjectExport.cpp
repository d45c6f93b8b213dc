#include "ProjectExport.h"

#include "editing/EditModel.h"

namespace orvane {

ExportJob projectExportJob(const OpenedTake& take, const std::string& output) {
    // The same steps, in the same order, as Project::adoptTake.
    EditModel m;
    m.setCursorTrack(take.track);
    m.setCursorInPicture(take.project.cursorInPicture);
    m.setDuration(take.project.duration);
    m.setMoments(take.clicks);
    m.setZoomMerge(take.project.zoomMerge);
    m.setZoom(take.project.look.zoom);
    m.setSmoothness(take.project.look.smoothness);
    m.setSoundMix(take.project.look.sound);
    if (take.freshZooms) {
        m.setTrimStart(0);
        m.setTrimEnd(m.duration());
        m.regenerateZooms();
    } else {
        m.setZooms(take.project.zooms);
        m.setTrimStart(take.project.trimStart);
        m.setTrimEnd(take.project.trimEnd);
    }
    ExportJob job;
    job.source = take.moviePath().toStdString();
    job.output = output;
    job.timeline = m.timeline();
    job.look = take.project.look;
    job.trimStart = m.trimStart();
    job.trimEnd = m.trimEnd() > 0 ? m.trimEnd() : m.duration();
    return job;
}

} // namespace orvane
