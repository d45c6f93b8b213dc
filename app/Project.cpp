#include "Project.h"

#include "ProjectExport.h"
#include "TakeLibrary.h"

#include <QFileInfo>

namespace orvane {

Project::Project(QObject* parent) : EditModel(parent) {
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(kSaveDelayMs);
    connect(&saveTimer_, &QTimer::timeout, this, &Project::saveWhenIdle);
    connect(&export_, &ExportController::progressed, this, &Project::exportProgressed);
    connect(&export_, &ExportController::finished, this, &Project::exportFinished);
    // Every edit that the project file holds schedules a save.
    for (auto signal : {&EditModel::zoomsChanged, &EditModel::zoomChanged,
                        &EditModel::smoothnessChanged, &EditModel::zoomMergeChanged,
                        &EditModel::trimStartChanged, &EditModel::trimEndChanged,
                        &EditModel::soundMixChanged, &EditModel::durationChanged,
                        &EditModel::sectionsChanged,
                        &EditModel::gestureEnded}) {
        connect(this, signal, this, &Project::scheduleSave);
    }
    for (auto signal : {&Project::motionBlurChanged, &Project::bgBlurChanged,
                        &Project::paddingChanged, &Project::cornerRadiusChanged,
                        &Project::backgroundChanged, &Project::formatIndexChanged}) {
        connect(this, signal, this, &Project::scheduleSave);
    }
}

Project::~Project() {
    // Edits made in the last moments before closing are not lost; no one is
    // told, since what derives from this object is already gone.
    blockSignals(true);
    if (!takeFolder_.isEmpty()) {
        save();
    }
}

// --- Published setters ------------------------------------------------------------

#define ORVANE_SETTER(Name, member, type, signal) \
    void Project::Name(type v) {                  \
        if (member == v) {                        \
            return;                               \
        }                                         \
        member = v;                               \
        emit signal();                            \
    }

ORVANE_SETTER(setMotionBlur, look_.motionBlur, double, motionBlurChanged)
ORVANE_SETTER(setBgBlur, look_.bgBlur, double, bgBlurChanged)
ORVANE_SETTER(setPadding, look_.padding, double, paddingChanged)
ORVANE_SETTER(setCornerRadius, look_.cornerRadius, double, cornerRadiusChanged)
ORVANE_SETTER(setBackground, look_.background, int, backgroundChanged)
ORVANE_SETTER(setFormatIndex, look_.formatIndex, int, formatIndexChanged)
ORVANE_SETTER(setVideoURL, videoURL_, const QString&, videoURLChanged)

#undef ORVANE_SETTER

void Project::setStatus(const QString& text, StatusKind kind) {
    // Every outcome is announced, even when the text repeats the previous one.
    status_ = text;
    statusKind_ = kind;
    emit statusChanged();
}

void Project::setVideoSize(int w, int h) {
    if (videoW_ != w) {
        videoW_ = w;
        emit videoWChanged();
    }
    if (videoH_ != h) {
        videoH_ = h;
        emit videoHChanged();
    }
}

Look Project::look() const {
    Look l = look_;
    l.zoom = zoom();
    l.smoothness = smoothness();
    l.sound = soundMix();
    return l;
}

void Project::setLook(const Look& look) {
    setMotionBlur(look.motionBlur);
    setBgBlur(look.bgBlur);
    setPadding(look.padding);
    setCornerRadius(look.cornerRadius);
    setBackground(look.background);
    setFormatIndex(look.formatIndex);
    setZoom(look.zoom);
    setSmoothness(look.smoothness);
    setSoundMix(look.sound);
}

// --- The take and its project file ------------------------------------------------------

ProjectState Project::projectState() const {
    ProjectState s = saved_;
    s.duration = duration();
    s.videoW = videoW_;
    s.videoH = videoH_;
    s.cursorInPicture = cursorInPicture();
    s.zooms = zooms();
    s.trimStart = trimStart();
    s.trimEnd = trimEnd();
    s.sections = sections();
    s.zoomMerge = zoomMerge();
    s.look = look();
    return s;
}

void Project::adoptTake(const OpenedTake& take) {
    detachTake();
    // Nothing is saved while the take's state is put in place.
    saved_ = take.project;
    setVideoSize(take.project.videoW, take.project.videoH);
    setVideoURL(take.moviePath());
    setLook(take.project.look);
    applyTakeEdits(*this, take);
    clearUndo();
    takeFolder_ = take.folder;
    saveTimer_.stop();
    if (take.freshZooms || !QFileInfo::exists(take.projectPath())) {
        save(); // the project file holds every field from the start
    }
    emit takeChanged();
}

void Project::detachTake() {
    if (!takeFolder_.isEmpty()) {
        save();
    }
    saveTimer_.stop();
    takeFolder_.clear();
}

bool Project::renameTake(const QString& name) {
    if (takeFolder_.isEmpty()) {
        return false;
    }
    save();
    if (auto renamed = TakeLibrary::rename(takeFolder_, name); !renamed) {
        setStatus(QString::fromStdString(renamed.error()), StatusKind::OpenFailed);
        return false;
    }
    saved_.name = name.trimmed().toStdString();
    saved_.original = encodeProject(saved_); // what the file holds now
    emit takeChanged();
    return true;
}

void Project::scheduleSave() {
    if (takeFolder_.isEmpty() || saveTimer_.isActive()) {
        return; // a save is already due within kSaveDelayMs of the first edit
    }
    saveTimer_.start();
}

void Project::saveWhenIdle() {
    // A drag half done is not saved: its end (gestureEnded) schedules the save.
    if (gestureActive()) {
        return;
    }
    save();
}

Result<void> Project::save() {
    if (takeFolder_.isEmpty()) {
        return {};
    }
    const ProjectState now = projectState();
    if (now.sameEdits(saved_) && QFileInfo::exists(takefiles::projectPath(takeFolder_))) {
        return {};
    }
    auto wrote = takefiles::saveProject(takeFolder_, now);
    if (!wrote) {
        saveError_ = wrote.errorValue();
        return wrote;
    }
    saveError_.reset();
    saved_ = now;
    saved_.original = encodeProject(now);
    ++saveCount_;
    emit saved();
    return {};
}

// --- Export ------------------------------------------------------------------------------

ExportJob Project::exportJob(const QString& path) const {
    return exportJobOf(*this, look(), videoURL_.toStdString(), path.toStdString());
}

void Project::exportTo(const QString& path) {
    if (videoURL_.isEmpty() || !takeReady() || exporting_) {
        return;
    }
    exporting_ = true;
    emit exportingChanged();
    if (exportProgress_ != 0) {
        exportProgress_ = 0;
        emit exportProgressChanged();
    }
    setStatus(QStringLiteral("Exporting…"));
    export_.start(exportJob(path));
}

void Project::exportProgressed(double fraction) {
    if (exporting_ && exportProgress_ != fraction) {
        exportProgress_ = fraction;
        emit exportProgressChanged();
    }
}

void Project::exportFinished(bool ok, const QString& path, const QString& detail) {
    exporting_ = false;
    emit exportingChanged();
    if (ok) {
        QString text = QStringLiteral("Exported ✓  ") + QFileInfo(path).fileName();
        if (!detail.isEmpty()) {
            text += QStringLiteral(" (") + detail + QStringLiteral(")");
        }
        setStatus(text, StatusKind::ExportDone);
        emit exported(path);
    } else {
        setStatus(detail.isEmpty() ? QStringLiteral("Export failed")
                                   : QStringLiteral("Export failed: ") + detail,
                  StatusKind::ExportFailed);
    }
}

} // namespace orvane
