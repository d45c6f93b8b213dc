#pragma once

// Internal to the movie writer: the one place where a take's packets enter
// its file. Includes FFmpeg headers; never include it from a public header.

#include "media/AvHandles.h"
#include "timeline/Result.h"

#include <QString>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

// A movie file being written, with any number of tracks (the video now, sound
// tracks beside it later). Tracks are added before start(); after that every
// encoder thread hands its packets to write(), which interleaves them by time
// under one lock, so several tracks share one file without a second writer.
//
// The movie is fragmented (a fragment per video key frame, with an empty
// sample table up front): each finished fragment is pushed to the file at
// once, so a process that dies mid-take leaves a file that plays up to its
// last fragment. finish() writes the fragment index that gives readers the
// full duration.
//
// Threads: tryCreate(), addTrack(), start() and finish() on one thread (the
// writer's owner); write() on any thread, concurrently.
class MovieMuxer {
public:
    // Opens nothing yet: the file is created by start().
    static Result<std::unique_ptr<MovieMuxer>> tryCreate(const QString& path);
    ~MovieMuxer();
    MovieMuxer(const MovieMuxer&) = delete;
    MovieMuxer& operator=(const MovieMuxer&) = delete;

    // Whether encoders must put their codec headers out of band.
    bool wantsGlobalHeader() const;
    // Adds a track described by an opened encoder, stored with `timeBase`,
    // named `handlerName` in the file when not empty. Returns its index.
    Result<int> addTrack(const AVCodecContext* encoder, AVRational timeBase,
                         unsigned int codecTag = 0, const std::string& handlerName = {});
    // Creates the file and writes the header. `muxerOptions` go to the muxer
    // (movflags and the like).
    Result<void> start(const std::vector<std::pair<std::string, std::string>>& muxerOptions);
    // Writes one encoded packet of track `track`, whose times are in
    // `encoderTimeBase`; takes its data (the packet is left blank). A key
    // frame of the first track closes a fragment, which is flushed to disk as
    // soon as the interleaving hands it to the container (which may be during
    // the write of another track's packet).
    Result<void> write(AVPacket* packet, int track, AVRational encoderTimeBase);
    // Writes the trailer and closes the file, also after a failed write (the
    // fragments already written may still be completed). A second call does
    // nothing and repeats the first one's result.
    Result<void> finish();

private:
    MovieMuxer() = default;
    QString path_;
    av::OutputPtr output_;
    std::mutex mutex_; // guards output_ once started
    bool started_ = false;
    bool finished_ = false;
    Result<void> finishResult_;
};

} // namespace orvane
