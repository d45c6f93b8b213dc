#include "EditModel.h"

#include "timeline/CursorTrack.h"
#include "timeline/ZoomGeneration.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {
constexpr double kMinAddedLength = 0.3; // seconds: shorter gaps take no new segment
constexpr double kMinEdgeLength = 0.2;  // seconds: edge drags stop here
} // namespace

EditModel::EditModel(QObject* parent) : QObject(parent) {}

// --- Setters -----------------------------------------------------------------

void EditModel::setMoments(std::vector<Moment> moments) {
    moments_ = std::move(moments);
    discardTimeline();
    emit momentsChanged();
}

void EditModel::setZooms(std::vector<ZoomEffect> zooms) {
    zooms_ = std::move(zooms);
    discardTimeline();
    emit zoomsChanged();
}

void EditModel::setDuration(double seconds) {
    duration_ = seconds;
    discardTimeline();
    emit durationChanged();
    if (!sections_.empty()) {
        setSections(sections_); // still ending at the end of the take
    }
}

void EditModel::setZoom(double level) {
    zoom_ = level;
    discardTimeline();
    emit zoomChanged();
}

void EditModel::setSmoothness(double smoothness) {
    smoothness_ = smoothness;
    discardTimeline();
    emit smoothnessChanged();
}

void EditModel::setZoomMerge(double seconds) {
    zoomMerge_ = seconds;
    discardTimeline();
    emit zoomMergeChanged();
}

void EditModel::setSelected(std::optional<int> index) {
    if (selected_ == index) {
        return;
    }
    selected_ = index;
    if (index) {
        setSelectedSection(std::nullopt);
    }
    emit selectedChanged();
}

void EditModel::setSelectedSection(std::optional<int> index) {
    const std::size_t count = sections_.empty() ? 1 : sections_.size();
    if (index && (*index < 0 || static_cast<std::size_t>(*index) >= count)) {
        index.reset();
    }
    if (selectedSection_ == index) {
        return;
    }
    selectedSection_ = index;
    if (index) {
        setSelected(std::nullopt);
    }
    emit selectedSectionChanged();
}

void EditModel::setSections(std::vector<Section> list) {
    list = sections::normalised(std::move(list), duration_);
    if (list == sections_) {
        return;
    }
    sections_ = std::move(list);
    timeMap_ = TimeMap(sections_);
    if (selectedSection_ && *selectedSection_ > 0 && !validSection(*selectedSection_)) {
        selectedSection_.reset();
        emit selectedSectionChanged();
    }
    discardTimeline();
    emit sectionsChanged();
}

void EditModel::setVideoSelected(bool selected) {
    if (videoSelected_ == selected) {
        return;
    }
    videoSelected_ = selected;
    emit videoSelectedChanged();
}

void EditModel::setTrimStart(double seconds) {
    if (trimStart_ == seconds) {
        return;
    }
    trimStart_ = seconds;
    emit trimStartChanged();
}

void EditModel::setTrimEnd(double seconds) {
    if (trimEnd_ == seconds) {
        return;
    }
    trimEnd_ = seconds;
    emit trimEndChanged();
}

void EditModel::setSoundMix(const SoundMix& mix) {
    if (soundMix_ == mix) {
        return;
    }
    soundMix_ = mix;
    emit soundMixChanged();
}

// --- Timeline ------------------------------------------------------------------

void EditModel::setCursorInPicture(bool inPicture) {
    if (cursorInPicture_ != inPicture) {
        cursorInPicture_ = inPicture;
        timeline_.reset();
    }
}

const Timeline& EditModel::timeline() const {
    if (!timeline_) {
        Timeline tl;
        // Zooms inside a cut are never seen; one that ends in a cut ends
        // where the kept part does, so its zoom-out is shown.
        tl.build(visibleZooms(zooms_, sections_), moments_, duration_, zoom_);
        tl.track = smoothedTrack(); // shares the kept buffer, copies nothing
        tl.cursorInPicture = cursorInPicture_;
        timeline_ = std::move(tl);
        ++timelineBuilds_;
    }
    return *timeline_;
}

const SharedTrack& EditModel::smoothedTrack() const {
    if (!smoothed_) {
        smoothed_ = SharedTrack(orvane::smoothedTrack(cursorTrack_));
        ++trackSmoothings_;
    }
    return *smoothed_;
}

void EditModel::setCursorTrack(std::vector<CursorSample> samples) {
    discardSmoothedTrack();
    cursorTrack_ = std::move(samples);
}

// --- Edit operations -------------------------------------------------------------

EditSnapshot EditModel::snapshot() const {
    return EditSnapshot{moments_, zooms_, trimStart_, trimEnd_, soundMix_, sections_};
}

void EditModel::restore(EditSnapshot snap) {
    setMoments(std::move(snap.moments));
    setZooms(std::move(snap.zooms));
    setTrimStart(snap.trimStart);
    setTrimEnd(snap.trimEnd);
    setSoundMix(snap.sound);
    setSections(std::move(snap.sections));
    setSelected(std::nullopt);
    setSelectedSection(std::nullopt);
}

void EditModel::beginEdit() {
    if (undoStack_.size() >= kUndoLimit) {
        undoStack_.erase(undoStack_.begin());
    }
    undoStack_.push_back(snapshot());
    redoStack_.clear();
}

void EditModel::undo() {
    if (undoStack_.empty()) {
        return;
    }
    EditSnapshot snap = std::move(undoStack_.back());
    undoStack_.pop_back();
    redoStack_.push_back(snapshot());
    restore(std::move(snap));
}

void EditModel::redo() {
    if (redoStack_.empty()) {
        return;
    }
    EditSnapshot snap = std::move(redoStack_.back());
    redoStack_.pop_back();
    if (undoStack_.size() >= kUndoLimit) {
        undoStack_.erase(undoStack_.begin());
    }
    undoStack_.push_back(snapshot());
    restore(std::move(snap));
}

void EditModel::addZoom(double start, double end) {
    double s = std::max(start, 0.0);
    // Begin where an overlapping earlier segment ends.
    std::optional<double> latestEnd;
    for (const auto& z : zooms_) {
        if (z.start < s) {
            latestEnd = latestEnd ? std::max(*latestEnd, z.end) : z.end;
        }
    }
    if (latestEnd && s <= *latestEnd) {
        s = *latestEnd;
    }
    // End where the next segment begins.
    std::optional<double> nextStart;
    for (const auto& z : zooms_) {
        if (z.start >= s) {
            nextStart = nextStart ? std::min(*nextStart, z.start) : z.start;
        }
    }
    double e = std::min(end, duration_);
    if (nextStart && e > *nextStart) {
        e = *nextStart;
    }
    if (e - s < kMinAddedLength) {
        return;
    }

    beginEdit();
    ZoomEffect added;
    added.id = Uuid::random();
    added.start = s;
    added.end = e;
    added.zoom = zoom_;
    added.smooth = smoothness_;
    std::vector<ZoomEffect> next = zooms_;
    next.push_back(added);
    std::stable_sort(next.begin(), next.end(),
                     [](const ZoomEffect& a, const ZoomEffect& b) { return a.start < b.start; });
    setZooms(std::move(next));
    std::optional<int> index;
    for (std::size_t i = 0; i < zooms_.size(); ++i) {
        if (zooms_[i].id == added.id) {
            index = static_cast<int>(i);
            break;
        }
    }
    setSelected(index);
}

void EditModel::deleteZoom(int index) {
    if (!validIndex(index)) {
        return;
    }
    beginEdit();
    std::vector<ZoomEffect> next = zooms_;
    next.erase(next.begin() + index);
    setZooms(std::move(next));
    setSelected(std::nullopt);
}

void EditModel::moveZoom(int index, double toStart) {
    if (!validIndex(index)) {
        return;
    }
    std::vector<ZoomEffect> next = zooms_;
    ZoomEffect& z = next[static_cast<std::size_t>(index)];
    const double length = z.end - z.start;
    // Raised to 0 first, then lowered so that the segment ends by the duration.
    const double start = std::min(std::max(toStart, 0.0), duration_ - length);
    z.start = start;
    z.end = start + length;
    setZooms(std::move(next));
}

void EditModel::setZoomEdge(int index, bool startEdge, double to) {
    if (!validIndex(index)) {
        return;
    }
    std::vector<ZoomEffect> next = zooms_;
    ZoomEffect& z = next[static_cast<std::size_t>(index)];
    if (startEdge) {
        z.start = std::min(std::max(to, 0.0), z.end - kMinEdgeLength);
    } else {
        z.end = std::max(std::min(to, duration_), z.start + kMinEdgeLength);
    }
    setZooms(std::move(next));
}

void EditModel::setZoomLevel(int index, double level) {
    if (!validIndex(index)) {
        return;
    }
    std::vector<ZoomEffect> next = zooms_;
    next[static_cast<std::size_t>(index)].zoom = level;
    setZooms(std::move(next));
}

void EditModel::setZoomSmooth(int index, double smooth) {
    if (!validIndex(index)) {
        return;
    }
    std::vector<ZoomEffect> next = zooms_;
    next[static_cast<std::size_t>(index)].smooth = smooth;
    setZooms(std::move(next));
}

void EditModel::setZoomFocus(int index, std::optional<NormPoint> point) {
    if (!validIndex(index)) {
        return;
    }
    std::vector<ZoomEffect> next = zooms_;
    ZoomEffect& z = next[static_cast<std::size_t>(index)];
    if (point) {
        z.fx = std::clamp(point->x, 0.0, 1.0);
        z.fy = std::clamp(point->y, 0.0, 1.0);
    } else {
        z.fx.reset();
        z.fy.reset();
    }
    setZooms(std::move(next));
}

void EditModel::regenerateZooms() {
    beginEdit();
    setZooms(zoomsFromClicks(moments_, {duration_, zoom_, smoothness_, zoomMerge_}));
    setSelected(std::nullopt);
}

// --- Sections ------------------------------------------------------------------

void EditModel::splitAt(double t) {
    const std::vector<Section> before = expandedSections();
    std::vector<Section> next = sections::split(before, t, duration_);
    if (next == before) {
        return;
    }
    beginEdit();
    setSections(next);
    if (const auto i = sections::indexAt(sections_, t)) {
        setSelectedSection(static_cast<int>(*i));
    }
}

std::optional<std::vector<Section>> EditModel::changedSection(
    int index, const std::function<void(Section&)>& change) const {
    std::vector<Section> next = expandedSections();
    if (index < 0 || static_cast<std::size_t>(index) >= next.size()) {
        return std::nullopt;
    }
    const Section before = next[static_cast<std::size_t>(index)];
    change(next[static_cast<std::size_t>(index)]);
    if (next[static_cast<std::size_t>(index)] == before) {
        return std::nullopt;
    }
    return next;
}

void EditModel::setSectionCut(int index, bool cut) {
    if (auto next = changedSection(index, [&](Section& s) { s.cut = cut; })) {
        beginEdit();
        setSections(std::move(*next));
    }
}

void EditModel::setSectionSpeed(int index, double speed) {
    if (!std::isfinite(speed)) {
        return;
    }
    const double clamped = std::clamp(speed, sections::kMinSpeed, sections::kMaxSpeed);
    if (auto next = changedSection(index, [&](Section& s) { s.speed = clamped; })) {
        setSections(std::move(*next));
    }
}

void EditModel::setSectionMuted(int index, bool muted) {
    if (auto next = changedSection(index, [&](Section& s) { s.muted = muted; })) {
        beginEdit();
        setSections(std::move(*next));
    }
}

void EditModel::moveSectionBoundary(int index, double t) {
    if (!validSection(index)) {
        return;
    }
    setSections(sections::movedBoundary(sections_, static_cast<std::size_t>(index), t));
}

void EditModel::endGesture() {
    if (gestures_ == 0) {
        return;
    }
    if (--gestures_ == 0) {
        emit gestureEnded();
    }
}

} // namespace orvane
