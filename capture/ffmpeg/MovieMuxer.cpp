#include "MovieMuxer.h"

#include <QFile>

namespace orvane {

MovieMuxer::~MovieMuxer() {
    if (started_) {
        finish();
    }
}

Result<std::unique_ptr<MovieMuxer>> MovieMuxer::tryCreate(const QString& path) {
    std::unique_ptr<MovieMuxer> m(new MovieMuxer());
    m->path_ = path;
    AVFormatContext* oc = nullptr;
    const int rc =
        avformat_alloc_output_context2(&oc, nullptr, "mov", QFile::encodeName(path).constData());
    if (rc < 0 || oc == nullptr) {
        return av::error(rc, "cannot set up the movie");
    }
    m->output_.reset(oc);
    return m;
}

bool MovieMuxer::wantsGlobalHeader() const {
    return (output_->oformat->flags & AVFMT_GLOBALHEADER) != 0;
}

Result<int> MovieMuxer::addTrack(const AVCodecContext* encoder, AVRational timeBase,
                                 unsigned int codecTag, const std::string& handlerName) {
    AVStream* stream = avformat_new_stream(output_.get(), nullptr);
    if (stream == nullptr) {
        return Error{ErrorKind::Io, "Out of memory"};
    }
    stream->time_base = timeBase;
    if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        stream->avg_frame_rate = encoder->framerate;
    }
    const int rc = avcodec_parameters_from_context(stream->codecpar, encoder);
    if (rc < 0) {
        return av::error(rc, "cannot describe the track");
    }
    if (codecTag != 0) {
        stream->codecpar->codec_tag = codecTag;
    }
    if (!handlerName.empty()) {
        av_dict_set(&stream->metadata, "handler_name", handlerName.c_str(), 0);
    }
    return stream->index;
}

Result<void> MovieMuxer::start(
    const std::vector<std::pair<std::string, std::string>>& muxerOptions) {
    AVFormatContext* oc = output_.get();
    int rc = avio_open(&oc->pb, QFile::encodeName(path_).constData(), AVIO_FLAG_WRITE);
    if (rc < 0) {
        return Error{av::errorKind(rc), av::errorText(rc)};
    }
    AVDictionary* options = nullptr;
    for (const auto& [key, value] : muxerOptions) {
        av_dict_set(&options, key.c_str(), value.c_str(), 0);
    }
    rc = avformat_write_header(oc, &options);
    av_dict_free(&options);
    if (rc < 0) {
        return Error{av::errorKind(rc), av::errorText(rc)};
    }
    started_ = true;
    return {};
}

Result<void> MovieMuxer::write(AVPacket* packet, int track, AVRational encoderTimeBase) {
    std::lock_guard lock(mutex_);
    if (!started_ || finished_) {
        av_packet_unref(packet);
        return Error{ErrorKind::Invalid, "the movie is not open"};
    }
    AVFormatContext* oc = output_.get();
    av_packet_rescale_ts(packet, encoderTimeBase, oc->streams[track]->time_base);
    packet->stream_index = track;
    const int rc = av_interleaved_write_frame(oc, packet);
    if (rc < 0) {
        return av::error(rc, "cannot write the movie");
    }
    // When a key frame of the video closed a fragment, the container wrote
    // it to the I/O buffer: push it to the file now so that a crash loses at
    // most the fragment being built. With several tracks the interleaving may
    // hand that key frame on during any track's write, so every write checks;
    // between fragments the buffer is empty and the flush costs nothing.
    avio_flush(oc->pb);
    if (oc->pb->error < 0) {
        return av::error(oc->pb->error, "cannot write the movie");
    }
    return {};
}

Result<void> MovieMuxer::finish() {
    std::lock_guard lock(mutex_);
    if (finished_ || !started_) {
        return finishResult_;
    }
    finished_ = true;
    AVFormatContext* oc = output_.get();
    const int rc = av_write_trailer(oc);
    if (rc < 0) {
        finishResult_ = av::error(rc, "cannot complete the movie");
    }
    if (oc->pb != nullptr) {
        avio_flush(oc->pb);
        if (oc->pb->error < 0 && finishResult_) {
            finishResult_ = av::error(oc->pb->error, "cannot complete the movie");
        }
        const int closed = avio_closep(&oc->pb);
        if (closed < 0 && finishResult_) {
            finishResult_ = av::error(closed, "cannot close the movie");
        }
    }
    return finishResult_;
}

} // namespace orvane
