#pragma once

#include "app/TakeLibrary.h"

#include <QWidget>

#include <vector>

class QLabel;
class QListWidget;
class QListWidgetItem;

namespace orvane {

class ThumbnailCache;

// The library's takes on the start screen, newest first: a thumbnail, the
// name, the date, the duration and the size of each. A click opens a take;
// its context menu renames it or moves it to the Trash. The thumbnails come
// from a ThumbnailCache (not owned; must outlive the view). Main thread.
class TakeListView : public QWidget {
    Q_OBJECT

public:
    TakeListView(ThumbnailCache& thumbnails, QWidget* parent = nullptr);

    void setTakes(const std::vector<TakeEntry>& takes);
    const std::vector<TakeEntry>& takes() const { return takes_; }
    QListWidget* list() const { return list_; }
    // The second line of a take's row: "9 Dec 2026 14:05 · 0:12 · 4.2 MB".
    static QString details(const TakeEntry& take);

signals:
    void openRequested(const QString& folder);
    void renameRequested(const QString& folder, const QString& name);
    void trashRequested(const QString& folder);

private:
    void showMenu(const QPoint& at);
    void thumbnailReady(const QString& moviePath, const QImage& image);

    ThumbnailCache& thumbnails_;
    QLabel* heading_;
    QListWidget* list_;
    std::vector<TakeEntry> takes_;
};

} // namespace orvane
