#include "WaveformLoader.h"

#include "media/SoundWaveformReader.h"

#include <QMetaObject>

namespace orvane {

WaveformLoader::WaveformLoader(QObject* parent) : QObject(parent) {}

WaveformLoader::~WaveformLoader() { stopWorker(); }

void WaveformLoader::stopWorker() {
    if (cancel_) {
        cancel_->store(true);
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    cancel_.reset();
}

void WaveformLoader::clear() {
    stopWorker();
    ++generation_;
    waveform_ = {};
}

void WaveformLoader::load(const QString& moviePath) {
    clear();
    if (moviePath.isEmpty()) {
        return;
    }
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    const unsigned generation = generation_;
    worker_ = std::thread([this, cancel = cancel_, generation, path = moviePath.toStdString()] {
        auto result = readSoundWaveform(path, cancel.get());
        if (!result || cancel->load()) {
            return; // no sound to show: the bar simply has no strip
        }
        // The worker is joined before this object goes away, so the queued
        // call always finds it; a result of an abandoned load is dropped.
        QMetaObject::invokeMethod(
            this,
            [this, generation, waveform = std::move(result.value())]() mutable {
                if (generation != generation_) {
                    return;
                }
                waveform_ = std::move(waveform);
                emit ready();
            },
            Qt::QueuedConnection);
    });
}

} // namespace orvane
