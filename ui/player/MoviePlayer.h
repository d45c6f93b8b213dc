#pragma once

#include "media/SoundTracks.h"
#include "timeline/TimeMap.h"
#include "ui/player/PlayerFrame.h"
#include "ui/player/SoundOutput.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace orvane::ui {

class PlaybackDecoder;
class SoundPlayback;

// Plays a movie's video and sound for the window and the live preview: open,
// play, pause, seek, the current time, a periodic time signal and the end of
// the movie (quiet while paused). Frames are decoded ahead on a worker thread (PlaybackDecoder) and
// become current when the playback clock passes their presentation time.
//
// Sound: the movie's sound tracks are decoded, mixed at soundMix() and played
// on a worker of their own (SoundPlayback). While they play, the sound is the
// clock: the playhead is the movie time of the sample being heard now, so the
// picture follows the sound and the two never drift apart; until the first
// sound of a play is heard the playhead waits at its start. A new mix is heard
// within about 50 ms. A seek, a pause and close() silence what was queued, so
// after a seek the first sound heard is from the new place. A movie without
// sound, or no sound output (no server: soundUnavailable() says so once), uses
// a monotonic clock anchored at the last play or seek instead, as does a
// paused player.
//
// Seeking: seek() is the fast, default-tolerance seek: it lands on the key
// frame at or before the request, and the playhead moves to that frame's time.
// seekExact() lands on the frame whose interval holds the request, and the
// playhead is exactly the requested time. While a seek is being decoded the
// playhead holds still at the requested time; a seek while playing keeps
// playing from the new place once the first frame there is ready.
//
// Errors: a file that cannot be opened, or reading that stops at damaged data,
// puts the player in status Failed with a one-line errorMessage(); playback
// stops and the last good frame stays current. Nothing here blocks on the
// decoder: opening and decoding run on the worker.
//
// Threads: create, use and destroy on the main thread (the thread the object
// lives in); every function and signal belongs to that thread.
class MoviePlayer : public QObject {
    Q_OBJECT
public:
    enum class Status {
        Empty,   // no movie
        Loading, // opening; videoSize() and duration() not known yet
        Ready,   // playable
        Failed,  // see errorMessage()
    };
    Q_ENUM(Status)

    explicit MoviePlayer(QObject* parent = nullptr);
    // Plays sound through outputs made by `soundOutput` (the sound server's
    // default output unless given).
    MoviePlayer(SoundOutputFactory soundOutput, QObject* parent = nullptr);
    ~MoviePlayer() override;

    // Starts opening `path`, replacing any movie; statusChanged() follows with
    // Ready or Failed. Playback starts paused at time 0, showing the first frame.
    void open(const QString& path);
    // Drops the movie: status Empty, no frame, no time signal.
    void close();

    Status status() const { return status_; }
    QString errorMessage() const { return error_; }
    // Known once Ready: the picture size in pixels, the duration in seconds
    // (the container's, or up to the end of the last frame once that is
    // reached when the container does not say; 0 until known) and the
    // nominal frame rate (0 when unknown).
    QSize videoSize() const { return size_; }
    double duration() const;
    double frameRate() const { return frameRate_; }

    // A play() before the movie is Ready takes effect when it is.
    void play();
    void pause();
    bool isPlaying() const { return playing_; }

    // The playhead in seconds, from the playback clock (not the frame shown).
    double currentTime() const;

    // Both clamp `t` (seconds) into the movie; see the class comment.
    void seek(double t);
    void seekExact(double t);

    // The frame due now (brings the frame queue up to date first), or null
    // before the first frame. Cheap enough for every display tick: it neither
    // allocates nor waits for the decoder.
    std::shared_ptr<const PlayerFrame> currentFrame();

    // The take's sections: playback runs on their output clock, so a cut part
    // is never shown (the decoder jumps over it ahead of the playhead) and a
    // sped-up part plays at its speed, its frames picked on that clock and its
    // sound stretched (SectionSound). Times in and out of the player stay take
    // times. Heard at once while playing.
    void setTimeMap(const TimeMap& map);
    const TimeMap& timeMap() const { return map_; }

    // How the movie's sound sources are mixed; heard at once while playing.
    void setSoundMix(const SoundMix& mix);
    const SoundMix& soundMix() const { return mix_; }
    // The sources the movie has a sound track for; empty without sound or
    // until soundKindsChanged() said so after open().
    const std::vector<SoundKind>& soundKinds() const { return soundKinds_; }
    // The sound is what times the playhead now (playing, and sound is heard).
    bool soundIsClock() const { return soundClock_; }

    // The interval of the periodic time signal.
    static constexpr double kTickInterval = 1.0 / 120.0; // seconds

signals:
    void statusChanged(orvane::ui::MoviePlayer::Status status);
    void playingChanged(bool playing);
    // Every kTickInterval while a Ready movie plays or a seek is landing, and
    // once more when that stops (a pause, the end, a seek landed), with
    // currentTime(). Paused and settled, it is quiet.
    void timeChanged(double seconds);
    // A new frame became current.
    void frameChanged();
    // Playback reached the end of the movie and stopped there.
    void playedToEnd();
    // The movie's sound tracks are known (soundKinds()), once per open().
    void soundKindsChanged();
    // The movie has sound but it cannot be heard (no sound server, or the
    // output broke); the picture plays on without it. At most once per open().
    void soundUnavailable(const QString& message);

private:
    using Clock = std::chrono::steady_clock;

    void onOpened(std::uint64_t serial, bool ok, QString error, QSize size,
                  std::optional<double> duration, double frameRate);
    void onFailed(std::uint64_t serial, std::uint64_t generation, QString message);
    void fail(const QString& message);
    double endTime() const;
    void setStatus(Status status);
    void startSeek(double t, bool exact);
    // Moves due frames from the decoder to current_; handles a seek landing
    // and the end of the movie.
    void advance();
    void tick();
    void scheduleTick();
    // Whether the periodic tick must go on: playing, or a seek landing.
    bool needsTicks() const;
    // Starts the periodic tick if it is not running (its first one comes
    // after one interval).
    void wake();
    double clockTime(Clock::time_point now) const;
    // Playing starts from `start` seconds: the clock is anchored there and the
    // sound, when there is any to hear, starts there and becomes the clock.
    void beginRun(double start);
    // Playing stops (a pause, a seek, the end): the sound goes quiet.
    void endRun();
    // Hands the clock back to the monotonic clock when the sound went silent
    // mid-run (the output broke, or the movie turned out to have none).
    void checkSoundClock(Clock::time_point now);

    SoundOutputFactory soundOutput_;
    TimeMap map_;
    std::unique_ptr<SoundPlayback> sound_;
    SoundMix mix_;
    std::vector<SoundKind> soundKinds_;
    bool soundClock_ = false; // the current run is timed by the sound
    mutable double clockFloor_ = 0; // the sound clock's furthest reading in this run

    std::unique_ptr<PlaybackDecoder> decoder_;
    std::uint64_t openSerial_ = 0; // tells a stale decoder's reports from the current one's
    Status status_ = Status::Empty;
    QString error_;
    QSize size_;
    std::optional<double> duration_;
    double frameRate_ = 0;

    bool playing_ = false;
    bool playWhenReady_ = false;
    double position_ = 0;           // the playhead while paused, seconds
    double anchorTime_ = 0;         // playhead at anchorClock_ while playing
    Clock::time_point anchorClock_; // when the clock was last anchored
    std::optional<double> lastFrameEnd_; // end of the last frame, once it is known
    QString pendingFailure_; // reading stopped at damage; applied when the playhead gets there

    std::uint64_t generation_ = 0; // the decoder generation frames must belong to
    bool seeking_ = false;         // waiting for the first frame after a seek (or open)
    bool seekExact_ = false;
    double seekTarget_ = 0;

    std::shared_ptr<const PlayerFrame> current_;

    QTimer timer_;
    Clock::time_point tickStart_;
    std::int64_t ticks_ = 0;
};

} // namespace orvane::ui
