#pragma once

#include "timeline/CursorSample.h"
#include "timeline/EditSnapshot.h"
#include "timeline/Moment.h"
#include "timeline/Section.h"
#include "timeline/SoundMix.h"
#include "timeline/TimeMap.h"
#include "timeline/Timeline.h"
#include "timeline/ZoomEffect.h"

#include <QObject>

#include <functional>
#include <optional>
#include <vector>

namespace orvane {

// The edit half of the session model: the take's clicks and zoom segments, the
// selection, the trim, the undo history and the settings that shape the zoom
// timeline, with the edit operations on them. The Recorder (capture/) adds the
// recording session on top. Lives on the main thread; every method is main-thread
// only. Every change of a published value emits its *Changed signal.
//
// Indices are positions in zooms(); an index out of range makes an operation do
// nothing at all (no change, no undo step). Times are seconds from the start of
// the take.
class EditModel : public QObject {
    Q_OBJECT

public:
    // Undo keeps at most this many snapshots; the oldest goes first.
    static constexpr std::size_t kUndoLimit = 50;

    explicit EditModel(QObject* parent = nullptr);

    // --- Published edit state -------------------------------------------------
    const std::vector<Moment>& moments() const { return moments_; }
    const std::vector<ZoomEffect>& zooms() const { return zooms_; }
    double duration() const { return duration_; }
    double zoom() const { return zoom_; }             // default level of new segments
    double smoothness() const { return smoothness_; } // camera/cursor smoothness, 0...1
    double zoomMerge() const { return zoomMerge_; }   // seconds
    std::optional<int> selected() const { return selected_; }
    bool videoSelected() const { return videoSelected_; }
    double trimStart() const { return trimStart_; }
    double trimEnd() const { return trimEnd_; }
    // Volumes and mutes of the take's sound sources; part of each undo step,
    // set like the segment values (a drag calls beginEdit() once, then
    // setSoundMix() for every step of it).
    const SoundMix& soundMix() const { return soundMix_; }
    // The take's sections (cuts and speeds), in take time; empty while the
    // take is undivided. Part of each undo step.
    const std::vector<Section>& sections() const { return sections_; }
    // The map between take time and output time of those sections.
    const TimeMap& timeMap() const { return timeMap_; }
    // The selected section, when a section (not a zoom) is selected; 0 is
    // the whole take while it is undivided.
    std::optional<int> selectedSection() const { return selectedSection_; }

    // Assigning any of these six discards the cached timeline, even when the
    // value is unchanged.
    void setMoments(std::vector<Moment> moments);
    void setZooms(std::vector<ZoomEffect> zooms);
    void setDuration(double seconds);
    void setZoom(double level);
    void setSmoothness(double smoothness);
    void setZoomMerge(double seconds);

    void setSelected(std::optional<int> index);
    void setVideoSelected(bool selected);
    void setTrimStart(double seconds);
    void setTrimEnd(double seconds);
    void setSoundMix(const SoundMix& mix);
    // Normalised for the duration; a change discards the timeline (zooms
    // inside a cut are left out of it), an equal list changes nothing.
    void setSections(std::vector<Section> list);
    // Selecting a section clears the zoom selection, and selecting a zoom
    // clears the section's.
    void setSelectedSection(std::optional<int> index);

    // --- Unpublished state ------------------------------------------------------
    const std::vector<EditSnapshot>& undoStack() const { return undoStack_; }
    const std::vector<EditSnapshot>& redoStack() const { return redoStack_; }
    void clearUndo() {
        undoStack_.clear();
        redoStack_.clear();
    }
    // The take's raw cursor samples; smoothed once when a timeline first needs them.
    const std::vector<CursorSample>& cursorTrack() const { return cursorTrack_; }
    // Replaces the raw samples (a take read back from its files).
    void setCursorTrack(std::vector<CursorSample> samples);
    // Whether the take's pictures already show the cursor (then none is drawn).
    bool cursorInPicture() const { return cursorInPicture_; }
    void setCursorInPicture(bool inPicture);

    // --- Derived timeline -------------------------------------------------------
    // The timeline of the current edit state, built on first read after any of the
    // six timeline inputs was assigned and cached until the next such assignment.
    // The reference stays valid until then; holders that outlive an edit (the
    // preview, a running export) keep their own copy.
    const Timeline& timeline() const;
    // The cursor track smoothed for the timeline. It depends on the raw samples
    // alone, so it is smoothed once per take and shared, read-only, by every
    // timeline built from it (and their copies); edits never smooth again.
    const SharedTrack& smoothedTrack() const;
    // How many times the timeline was built, and the track smoothed (for tests
    // of the caches).
    int timelineBuildCount() const { return timelineBuilds_; }
    int trackSmoothingCount() const { return trackSmoothings_; }

    // --- Edit operations ----------------------------------------------------------
    // Records an undo step: the moments, zooms, trim, sound mix and sections
    // as they are now. A new edit forgets what could be redone.
    void beginEdit();
    // Restores the latest snapshot and clears the selection; nothing when empty.
    // What it replaced can be redone.
    void undo();
    // Puts back what the last undo took away; nothing when there is none.
    void redo();
    // Adds a segment in the free gap around [start, end] (at least 0.3 s long,
    // else nothing), records an undo step and selects it.
    void addZoom(double start, double end);
    void deleteZoom(int index);
    // Moves a segment keeping its length, inside [0, duration]. No undo step.
    void moveZoom(int index, double toStart);
    // Moves one edge; a segment never gets shorter than 0.2 s. No undo step.
    void setZoomEdge(int index, bool startEdge, double to);
    void setZoomLevel(int index, double level);
    void setZoomSmooth(int index, double smooth);
    // Locks the focus at the point (each coordinate clamped to 0...1), or unlocks
    // it when the point is absent.
    void setZoomFocus(int index, std::optional<NormPoint> point);
    // Rebuilds the segments from the clicks (one undo step) and clears the selection.
    void regenerateZooms();

    // Section operations, one undo step each (none when nothing changes).
    // The undivided take is section 0.
    // Divides the section at take time t in two and selects the second.
    void splitAt(double t);
    // Cuts the section out (it stays, restorable, as a cut) or restores it.
    void setSectionCut(int index, bool cut);
    // Speed of a section, clamped into 0.25...16. No undo step, like the
    // segment values: the caller records one with beginEdit() (once per drag).
    void setSectionSpeed(int index, double speed);
    void setSectionMuted(int index, bool muted);
    // Moves the boundary that starts section `index` to take time t. No undo
    // step (a drag records one as it begins).
    void moveSectionBoundary(int index, double t);

    // --- Gestures -------------------------------------------------------------------
    // A drag (of a pill, a trim handle, a slider) runs from beginGesture() to
    // endGesture(): the edits in between are one change in the making, which
    // is not saved half done. Calls nest; endGesture() without a begin does
    // nothing.
    void beginGesture() { ++gestures_; }
    void endGesture();
    bool gestureActive() const { return gestures_ > 0; }

signals:
    void momentsChanged();
    void zoomsChanged();
    void durationChanged();
    void zoomChanged();
    void smoothnessChanged();
    void zoomMergeChanged();
    void selectedChanged();
    void videoSelectedChanged();
    void trimStartChanged();
    void trimEndChanged();
    void soundMixChanged();
    void sectionsChanged();
    void selectedSectionChanged();
    // The last running gesture ended.
    void gestureEnded();

protected:
    // For appending samples while recording: discards the smoothed track and
    // the timeline, which no longer match the samples.
    std::vector<CursorSample>& mutableCursorTrack() {
        discardSmoothedTrack();
        return cursorTrack_;
    }
    bool cursorInPicture_ = false;

private:
    bool validIndex(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < zooms_.size();
    }
    void discardTimeline() { timeline_.reset(); }
    bool validSection(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < sections_.size();
    }
    EditSnapshot snapshot() const;
    void restore(EditSnapshot snap);
    // The list with section `index` changed (the undivided take is section
    // 0); nothing when the index is out of range or nothing changed.
    std::optional<std::vector<Section>> changedSection(
        int index, const std::function<void(Section&)>& change) const;
    // The list, or the whole take as one section when undivided.
    std::vector<Section> expandedSections() const {
        return sections_.empty() ? sections::whole(duration_) : sections_;
    }
    void discardSmoothedTrack() {
        smoothed_.reset();
        timeline_.reset();
    }

    std::vector<Moment> moments_;
    std::vector<ZoomEffect> zooms_;
    double duration_ = 0;
    double zoom_ = 1.5;
    double smoothness_ = 0.8;
    double zoomMerge_ = 3.5;
    std::optional<int> selected_;
    bool videoSelected_ = false;
    double trimStart_ = 0;
    double trimEnd_ = 0;
    SoundMix soundMix_;
    std::vector<Section> sections_;
    TimeMap timeMap_;
    std::optional<int> selectedSection_;
    std::vector<EditSnapshot> undoStack_;
    std::vector<EditSnapshot> redoStack_;
    std::vector<CursorSample> cursorTrack_;
    mutable std::optional<SharedTrack> smoothed_;
    mutable std::optional<Timeline> timeline_;
    mutable int timelineBuilds_ = 0;
    mutable int trackSmoothings_ = 0;
    int gestures_ = 0;
};

} // namespace orvane
