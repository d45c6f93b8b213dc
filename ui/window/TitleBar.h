#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QToolButton;

namespace orvane {

// Orvane's own 40-point title bar for its borderless window: close, minimise
// and maximise controls inset by (10, 5) points from the top-left corner, the
// take's name and size, the delete and export buttons, and the menu with
// "About Orvane" and "Check for Updates…". Its empty parts move the window
// through the window manager (so snapping and multi-monitor moves work); a
// double click maximises. Main thread only.
class TitleBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeight = 40;
    static constexpr QPoint kControlsInset{10, 5};

    explicit TitleBar(QWidget* parent = nullptr);

    // Take controls show only while a take is ready.
    void setTakeControlsVisible(bool visible);
    void setTakeName(const QString& name, const QString& size);
    // "Export" or, while exporting, the whole percent ("42%").
    void setExportLabel(const QString& label);
    // A one-line note shown for a few seconds (a failed export, a take without
    // frames) in the danger colour; good news (an export done) in the success one.
    enum class Tone { Problem, Success };
    void flashStatus(const QString& text, Tone tone = Tone::Problem);
    Tone statusTone() const { return tone_; }
    void setCanCheckForUpdates(bool can);

    QPushButton* closeButton() const { return close_; }
    QPushButton* minimiseButton() const { return minimise_; }
    QPushButton* maximiseButton() const { return maximise_; }
    QPushButton* trashButton() const { return trash_; }
    QPushButton* exportButton() const { return export_; }
    QLabel* nameLabel() const { return name_; }
    QLabel* statusLabel() const { return status_; }

signals:
    void closeClicked();
    void minimiseClicked();
    void maximiseClicked();
    void trashClicked();
    void exportClicked();
    void aboutRequested();
    void checkForUpdatesRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPushButton* close_;
    QPushButton* minimise_;
    QPushButton* maximise_;
    QLabel* name_;
    QLabel* size_;
    QLabel* status_;
    Tone tone_ = Tone::Problem;
    QPushButton* trash_;
    QPushButton* export_;
    QToolButton* menu_;
    class QAction* updates_;
};

} // namespace orvane
