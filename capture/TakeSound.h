#pragma once

#include "SoundChoice.h"
#include "SoundSource.h"
#include "TakeClock.h"
#include "VideoWriter.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace orvane {

// The sound sources of one take, between the TakeRecorder and the movie writer:
// opens the chosen sources on the sound server, starts each into its track of
// the writer, and keeps the sentences for the user about what could not be
// recorded ("No sound server answered: recorded without sound").
//
// A take never fails because of sound: every failure here only drops that
// source and leaves a note.
//
// Threads: every method on the main thread. The handler given to start() is
// called on a source's thread (at most once per source) when that source ends
// by itself; the caller posts it on.
class TakeSound {
public:
    // Called on the source's thread: `kind` ended by itself after `atSeconds`
    // of the take (where its last sound ended), for `why`.
    using EndedHandler = std::function<void(SoundKind kind, double atSeconds, const Error& why)>;

    TakeSound();
    ~TakeSound(); // stops
    TakeSound(const TakeSound&) = delete;
    TakeSound& operator=(const TakeSound&) = delete;

    // Forgets the previous take's sources and notes, then opens the sources
    // `choice` asks for on `devices` (null: no sound server is known). What
    // cannot be opened becomes a note.
    void open(SoundDevices* devices, const SoundChoice& choice);
    // The sources that opened: the tracks the writer must make.
    std::vector<SoundKind> kinds() const;
    // Starts every opened source into `writer`'s sink of its kind, on the
    // take's `clock`: what a source hears while the take is paused is left
    // out, and the rest is handed on at host seconds less the time paused
    // (the writer counts from the clock's start). A source that cannot start
    // is dropped with a note. The writer is kept alive until stop().
    void start(std::shared_ptr<VideoWriter> writer, std::shared_ptr<const TakeClock> clock,
               EndedHandler onEnded);
    // Stops and forgets the sources and the notes of the previous take.
    void reset();
    // Stops every source and waits until none will call the writer again;
    // releases them. Idempotent.
    void stop();
    // Whether `kind` is being recorded now.
    bool running(SoundKind kind) const;
    // The loudest sample of `kind` (0...1) since the previous call; 0 when it
    // is not running.
    float takePeak(SoundKind kind);

    // A source ended mid-take at `atSeconds` (from the handler, once posted to
    // the main thread): adds its note.
    void noteEnded(SoundKind kind, double atSeconds);
    // Sentences for the user about the sound of this take, in order; empty
    // when everything chosen was recorded to the end.
    const QStringList& notes() const { return notes_; }

private:
    struct Track;
    std::vector<std::unique_ptr<Track>> tracks_;
    QStringList notes_;
};

} // namespace orvane
