#pragma once

// Internal to the movie writer: one sound source's AAC track in the take's
// movie. Includes FFmpeg headers; never include it from a public header.

#include "MovieMuxer.h"

#include "capture/SoundSource.h"
#include "media/AvHandles.h"
#include "media/SoundTracks.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace orvane {

// Places one source's blocks on the movie's timeline and encodes them into an
// AAC track (kSoundRate, stereo, kSoundBitRate, the native "aac" encoder)
// named soundTrackName(kind) ("handler_name").
//
// Placement: a block stamped `hostTime` starts at movie frame
// round((hostTime - startTime) * kSoundRate). The track starts at the take's
// start: frames before 0 are dropped, silence fills the time from 0 up to the
// first block and any gap between blocks, and a block that overlaps what was
// already placed loses the overlapping part. A block within
// kContiguousSlack frames of where the previous one ended follows it directly
// (the stamps of consecutive blocks are rounded), so sound is never
// stretched or squeezed.
//
// The encoder delays its output by a priming block (its initial_padding of
// 1024 frames) and a fragmented movie has no edit list to hide it. The track
// therefore starts with the first packet whose time is not negative: packet
// times are the encoder's own (input frame minus the priming), so a decoder
// that plays the packets from time 0 puts every sample back on the frame it
// was captured for. Only the first 1024 frames of the track lose the overlap
// of the dropped priming packet (a take's sound starts with silence anyway).
//
// Threads: tryCreate() before the muxer starts, on the writer's owner thread.
// soundArrived()/soundEnded() on the source's thread (the encoder runs there:
// AAC at 48 kHz costs well under a millisecond per block); finish() on the
// writer's owner thread, normally after the source stopped. One lock guards
// the state, so a finish() that comes while a source still delivers is safe:
// what arrives after it is ignored. Packets go to the muxer, whose lock the
// video encoder shares for the time of one packet write only.
class SoundTrackWriter final : public SoundSink {
public:
    static constexpr std::int64_t kContiguousSlack = 2; // frames

    static Result<std::unique_ptr<SoundTrackWriter>> tryCreate(MovieMuxer& muxer, SoundKind kind,
                                                               double startTime);
    ~SoundTrackWriter() override;
    SoundTrackWriter(const SoundTrackWriter&) = delete;
    SoundTrackWriter& operator=(const SoundTrackWriter&) = delete;

    void soundArrived(const float* samples, int frames, double hostTime) override;
    void soundEnded(const Error& why) override;

    // Encodes what is buffered, drains the encoder into the movie and takes no
    // more sound. Idempotent; repeats the first result.
    Result<void> finish();

    SoundKind kind() const { return kind_; }
    // Movie frames placed on the track so far (sound and the silence between).
    std::int64_t framesPlaced() const;
    // Why the source ended early, if it did.
    std::optional<Error> ended() const;

private:
    SoundTrackWriter(MovieMuxer& muxer, SoundKind kind, double startTime)
        : muxer_(muxer), kind_(kind), startTime_(startTime) {}

    // All under mutex_.
    void place(const float* samples, std::int64_t frames); // nullptr: silence
    Result<void> encodeBuffered(); // frame_ as filled so far
    Result<void> drain();
    void fail(const Error& e);

    MovieMuxer& muxer_;
    const SoundKind kind_;
    const double startTime_;
    int track_ = -1;

    mutable std::mutex mutex_;
    av::CodecContextPtr encoder_;
    av::FramePtr frame_;           // planar input frame being filled
    av::PacketPtr packet_;
    int filled_ = 0;               // frames in frame_
    std::int64_t nextFrame_ = 0;   // movie frame where the next placed frame goes
    std::int64_t framePts_ = 0;    // movie frame of frame_'s first frame
    bool finished_ = false;
    std::optional<Error> failure_; // an encode or write error: the track takes no more
    std::optional<Error> ended_;
    Result<void> finishResult_;
};

} // namespace orvane
