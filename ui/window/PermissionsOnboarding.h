#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace orvane {

class Permissions;

// The card that explains the two permissions recording needs, over a scrim
// that covers the whole window. Each row offers "Enable" (which says what is
// missing, in the capture backend's words, where there is no settings pane to
// open) or shows "Enabled". The
// flags are refreshed every 1.2 s while the card shows. Its button ("Start
// Recording" or "Continue Anyway") calls onDone. Main thread only.
class PermissionsOnboarding : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 1200;

    PermissionsOnboarding(Permissions& perms, std::function<void()> onDone, QWidget* parent);

    QPushButton* doneButton() const { return done_; }
    // The trailing item of a row: "Enable" or "Enabled".
    QString rowState(int row) const;
    QString explanation() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();

    Permissions& perms_;
    std::function<void()> onDone_;
    QTimer tick_;
    QWidget* card_;
    QLabel* rowIcon_[2];
    QLabel* rowEnabled_[2];
    QPushButton* rowEnable_[2];
    QLabel* explanation_;
    QPushButton* done_;
};

} // namespace orvane
