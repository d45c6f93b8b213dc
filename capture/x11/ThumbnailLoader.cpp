#include "ThumbnailLoader.h"

#include "ThumbnailGrabber.h"

namespace orvane {

ThumbnailLoader::ThumbnailLoader(QObject* parent) : QObject(parent) {}

ThumbnailLoader::~ThumbnailLoader() {
    stop_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
    // Pictures posted but not yet delivered are dropped with this object.
}

void ThumbnailLoader::start(const std::string& display, std::vector<CaptureContent> contents) {
    if (worker_.joinable()) {
        return;
    }
    worker_ = std::thread(&ThumbnailLoader::run, this, display, std::move(contents));
}

// Worker thread. Talks to the main thread only through queued calls on `this`,
// which the destructor keeps alive until this function has returned.
void ThumbnailLoader::run(const std::string& display, const std::vector<CaptureContent>& contents) {
    int delivered = 0;
    if (auto grabber = ThumbnailGrabber::open(display)) {
        for (std::size_t i = 0; i < contents.size() && !stop_ && !grabber->broken(); ++i) {
            QImage picture = grabber->grab(contents[i]);
            if (picture.isNull()) {
                continue;
            }
            ++delivered;
            const int index = static_cast<int>(i);
            QMetaObject::invokeMethod(
                this, [this, index, picture] { emit thumbnailReady(index, picture); },
                Qt::QueuedConnection);
        }
    }
    QMetaObject::invokeMethod(
        this, [this, delivered] { emit finished(delivered); }, Qt::QueuedConnection);
}

} // namespace orvane
