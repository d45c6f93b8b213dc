#include "ThumbnailCache.h"

#include "media/MovieReader.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>

#include <algorithm>
#include <vector>

namespace orvane {

namespace {

// A frame from about a second in (the first is often a blank desktop), scaled
// to kWidth; a null image when nothing decodes.
QImage makeThumbnail(const QString& moviePath) {
    media::MovieReader reader;
    auto info = reader.open(QFile::encodeName(moviePath).toStdString());
    if (!info || info->width <= 0 || info->height <= 0) {
        return {};
    }
    QImage frame(info->width, info->height, QImage::Format_RGB32);
    QImage last;
    const double wanted = std::min(1.0, info->duration.value_or(0) / 2);
    for (int i = 0; i < 240; ++i) {
        double t = 0;
        if (!reader.readFrame(media::BgraTarget{frame.bits(), frame.bytesPerLine()}, t)) {
            break;
        }
        last = frame;
        if (t >= wanted) {
            break;
        }
    }
    if (last.isNull()) {
        return {};
    }
    return last.scaledToWidth(ThumbnailCache::kWidth, Qt::SmoothTransformation);
}

} // namespace

ThumbnailCache::ThumbnailCache(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {
    if (folder_.isEmpty()) {
        folder_ = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                      .filePath(QStringLiteral("orvane/thumbnails"));
    }
    QDir().mkpath(folder_);
    pool_.setMaxThreadCount(1);
}

ThumbnailCache::~ThumbnailCache() {
    pool_.waitForDone();
}

QString ThumbnailCache::keyFile(const QString& moviePath) const {
    const QFileInfo info(moviePath);
    const QByteArray key = QFile::encodeName(info.absoluteFilePath()) + '\n' +
                           QByteArray::number(info.size()) + '\n' +
                           QByteArray::number(info.lastModified().toMSecsSinceEpoch());
    return QDir(folder_).filePath(
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
        QStringLiteral(".jpg"));
}

QImage ThumbnailCache::request(const QString& moviePath) {
    if (auto it = memory_.constFind(moviePath); it != memory_.constEnd()) {
        return *it;
    }
    if (pending_.contains(moviePath) || !QFileInfo(moviePath).isFile()) {
        return {};
    }
    pending_.insert(moviePath);
    // Even a cached thumbnail is read on the worker: a list of a few hundred
    // takes shows at once and fills in its pictures.
    QPointer<ThumbnailCache> self(this);
    pool_.start([self, moviePath, file = keyFile(moviePath)] {
        QImage image(file);
        const bool decoded = image.isNull();
        if (decoded) {
            image = makeThumbnail(moviePath);
            if (!image.isNull()) {
                image.save(file, "JPEG", 85);
            }
        }
        // The destructor waits for this task; the result is handed over on
        // the main thread, where a cache already gone drops it.
        QMetaObject::invokeMethod(
            self.data(),
            [self, moviePath, image, decoded] {
                if (self) {
                    self->made(moviePath, image, decoded);
                }
            },
            Qt::QueuedConnection);
    });
    return {};
}

void ThumbnailCache::made(const QString& moviePath, const QImage& image, bool decoded) {
    pending_.remove(moviePath);
    if (decoded) {
        ++decodes_;
    }
    if (image.isNull()) {
        return;
    }
    memory_.insert(moviePath, image);
    emit ready(moviePath, image);
}

} // namespace orvane
