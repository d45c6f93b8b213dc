#pragma once

#include "capture/CaptureContent.h"

#include <QImage>
#include <QObject>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace orvane {

// Fills in the picker's pictures without holding up the dialog: a worker thread
// with its own X connection reads each display and window and scales it down,
// and the pictures arrive one by one on the loader's thread (the main thread)
// as queued signals. A window closed meanwhile simply yields no picture.
//
// Threads: create, start and destroy on the main thread. The destructor stops
// the worker and waits for it, which takes at most one picture's read.
class ThumbnailLoader final : public QObject {
    Q_OBJECT
public:
    explicit ThumbnailLoader(QObject* parent = nullptr);
    ~ThumbnailLoader() override;
    ThumbnailLoader(const ThumbnailLoader&) = delete;
    ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

    // Starts reading the pictures of `contents`, in order, from `display` (the
    // DISPLAY variable when empty). Only the first call does anything.
    void start(const std::string& display, std::vector<CaptureContent> contents);

signals:
    // The picture of contents[index], at most 160 x 100 pixels.
    void thumbnailReady(int index, const QImage& thumbnail);
    // The worker is done: `delivered` pictures were sent, the others could not
    // be read (or the display could not be reached at all).
    void finished(int delivered);

private:
    void run(const std::string& display, const std::vector<CaptureContent>& contents);

    std::thread worker_;
    std::atomic<bool> stop_{false};
};

} // namespace orvane
