#pragma once

#include "CaptureContent.h"

#include <QObject>
#include <QString>

namespace orvane {

// Lets the user choose a display or a window to record. Main thread only.
// After present(), exactly one of the three signals follows (queued, on the main
// thread), unless setActive(false) closes the picker first.
class ContentPicker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Makes the picker available (true) or closes any open picker (false).
    virtual void setActive(bool active) = 0;
    // Shows the picker. The list of displays and windows is read now.
    virtual void present() = 0;

signals:
    void contentChosen(const orvane::CaptureContent& content);
    void cancelled();
    // `description` is a one-line, user-readable reason.
    void failed(const QString& description);
};

} // namespace orvane
