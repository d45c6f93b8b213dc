#pragma once

#include "CaptureContent.h"
#include "ContentQuery.h"

#include <QObject>
#include <QString>

namespace orvane {

// Lets the user choose a display or a window to record.
//
// Contract: main thread only. After present() or choose(), exactly one of the
// three signals follows, queued, on the main thread, unless setActive(false)
// closes the picker first. The content it reports carries a source that only
// the backend that made the picker can record.
class ContentPicker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Required. Makes the picker available (true) or closes any open picker
    // (false); after false no answer of an earlier present() arrives.
    virtual void setActive(bool active) = 0;
    // Required. Shows the picker (a dialog of Orvane's or the desktop's own).
    // What can be recorded is read now, not earlier. Does nothing while the
    // picker is not active.
    virtual void present() = 0;
    // Required. Chooses without asking, as `query` says, for the command-line
    // tools: contentChosen() with the match, or failed() with a one-line reason
    // that names what was not found. Ignores setActive().
    virtual void choose(const ContentQuery& query) = 0;

signals:
    void contentChosen(const orvane::CaptureContent& content);
    void cancelled();
    // `description` is a one-line, user-readable reason.
    void failed(const QString& description);
};

} // namespace orvane
