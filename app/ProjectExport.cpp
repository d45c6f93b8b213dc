#include "ProjectExport.h"

#include "editing/EditModel.h"

namespace orvane {

void applyTakeEdits(EditModel& m, const OpenedTake& take) {
    m.setCursorTrack(take.track);
    m.setCursorInPicture(take.project.cursorInPicture);
    m.setSelected(std::nullopt);
    m.setVideoSelected(false);
    m.setDuration(take.project.duration);
    m.setMoments(take.clicks);
    m.setZoomMerge(take.project.zoomMerge);
    m.setZoom(take.project.look.zoom);
    m.setSmoothness(take.project.look.smoothness);
    m.setSoundMix(take.project.look.sound);
    m.setSections(take.project.sections);
    if (take.freshZooms) {
        m.setTrimStart(0);
        m.setTrimEnd(m.duration());
        m.regenerateZooms();
    } else {
        m.setZooms(take.project.zooms);
        m.setTrimStart(take.project.trimStart);
        m.setTrimEnd(take.project.trimEnd);
    }
}

ExportJob exportJobOf(const EditModel& m, const Look& look, const std::string& source,
                      const std::string& output) {
    // The export works on copies: edits made while it runs do not reach it.
    ExportJob job;
    job.source = source;
    job.output = output;
    job.timeline = m.timeline();
    job.look = look;
    job.trimStart = m.trimStart();
    job.trimEnd = m.trimEnd() > 0 ? m.trimEnd() : m.duration();
    job.sections = m.sections();
    return job;
}

ExportJob projectExportJob(const OpenedTake& take, const std::string& output) {
    EditModel m;
    applyTakeEdits(m, take);
    return exportJobOf(m, take.project.look, take.moviePath().toStdString(), output);
}

} // namespace orvane
