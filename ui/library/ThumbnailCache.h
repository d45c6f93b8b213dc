#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

namespace orvane {

// Thumbnails of the library's takes: a frame of each movie, decoded and
// scaled on a worker thread once, then kept as a small JPEG in the cache
// folder (keyed by the movie's path, size and time of change), so a list of a
// few hundred takes shows them without decoding again.
//
// Main thread: request() and the ready signal. The decoding runs on a thread
// pool of one thread owned by the cache; the destructor waits for it.
class ThumbnailCache : public QObject {
    Q_OBJECT

public:
    static constexpr int kWidth = 160; // pixels of a thumbnail; the height follows the movie
    // `folder`: where the JPEGs are kept (created when missing); empty for the
    // user's cache folder.
    explicit ThumbnailCache(QString folder = {}, QObject* parent = nullptr);
    ~ThumbnailCache() override;

    // The thumbnail of `moviePath` when it is in memory; otherwise a null
    // image, and ready() follows once it has been read from the disk cache or
    // made (nothing follows when the movie has no frame to show).
    QImage request(const QString& moviePath);
    // How many thumbnails were decoded from movies (for tests of the cache).
    int decodeCount() const { return decodes_; }
    // Waits until no thumbnail is being made (for tests).
    void waitForIdle() { pool_.waitForDone(); }

signals:
    void ready(const QString& moviePath, const QImage& image);

private:
    QString keyFile(const QString& moviePath) const;
    void made(const QString& moviePath, const QImage& image, bool decoded);

    QString folder_;
    QThreadPool pool_;
    QHash<QString, QImage> memory_;
    QSet<QString> pending_;
    int decodes_ = 0;
};

} // namespace orvane
