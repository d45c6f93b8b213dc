#pragma once

#include "timeline/SoundWaveform.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

namespace orvane {

// Computes a take's sound outline (readSoundWaveform) once, on a worker
// thread of its own, and hands it to the main thread in one piece, so even a
// one-hour take never stalls the window. A new load() or clear() abandons a
// running one (its result is dropped); the destructor stops the worker and
// waits for it, which takes at most about a second of decoding.
//
// Main thread only; ready() is emitted on the main thread.
class WaveformLoader : public QObject {
    Q_OBJECT

public:
    explicit WaveformLoader(QObject* parent = nullptr);
    ~WaveformLoader() override;

    // Starts computing the outline of `moviePath`'s sound (empty path: none).
    void load(const QString& moviePath);
    // Forgets the current outline and abandons a running load.
    void clear();
    // The last outline that was ready; empty before that and for a take
    // without sound (or one whose movie cannot be read).
    const SoundWaveform& waveform() const { return waveform_; }

signals:
    // waveform() holds the outline of the movie given to the last load().
    void ready();

private:
    void stopWorker();

    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    unsigned generation_ = 0; // which load() a result belongs to
    SoundWaveform waveform_;
};

} // namespace orvane
