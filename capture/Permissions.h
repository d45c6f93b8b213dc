#pragma once

#include "PermissionChecks.h"

#include <QObject>
#include <QString>

namespace orvane {

// What recording needs from the system, as last checked: screen capture and
// input observation (the latter is what "Accessibility" stands for in the
// onboarding texts). The flags change only through refresh(). Main thread only;
// the checks object must outlive this one.
class Permissions : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool screen READ screen NOTIFY screenChanged)
    Q_PROPERTY(bool accessibility READ accessibility NOTIFY accessibilityChanged)

public:
    // Anchors naming the two permissions, as the onboarding's Enable actions pass them.
    static constexpr const char* kScreenAnchor = "Privacy_ScreenCapture";
    static constexpr const char* kAccessibilityAnchor = "Privacy_Accessibility";

    explicit Permissions(PermissionChecks& checks, QObject* parent = nullptr);

    bool screen() const { return screen_; }
    bool accessibility() const { return accessibility_; }

    // Reads both flags again (screen first). Never prompts.
    void refresh();
    // Asks for input access where the system can prompt, then refreshes.
    void requestAccessibility();
    // There is no settings pane to open on X11: returns one line that says what
    // is missing for the permission named by `anchor` (empty when nothing is, or
    // for an unknown anchor), for the onboarding to show.
    QString open(const QString& anchor);
    // How the onboarding names click access on this platform, and what for.
    QString inputTitle() const { return checks_.inputTitle(); }
    QString inputSubtitle() const { return checks_.inputSubtitle(); }

signals:
    void screenChanged();
    void accessibilityChanged();

private:
    PermissionChecks& checks_;
    bool screen_ = false;
    bool accessibility_ = false;
};

} // namespace orvane
