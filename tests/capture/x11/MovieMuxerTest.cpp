// The movie writer's one muxing point and the shared encoder opener: a second,
// audio track written from its own thread beside the video, and the opener's
// fallback order and failure. Real encoders, real files read by ffprobe.
#include "MediaProbe.h"

#include "capture/ffmpeg/MovieMuxer.h"
#include "media/EncoderOpener.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <thread>

using namespace orvane;
using orvane::test::runTool;

namespace {

constexpr AVRational kVideoBase{1, 600};

av::EncoderRequest videoRequest(std::vector<std::string> candidates) {
    av::EncoderRequest r;
    r.candidates = std::move(candidates);
    r.configure = [](AVCodecContext* c) {
        c->width = 64;
        c->height = 48;
        c->time_base = kVideoBase;
        c->framerate = AVRational{60, 1};
        c->gop_size = 60;
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    };
    r.softwareMaxBFrames = 0;
    r.softwareOptions = {{"preset", "ultrafast"}};
    return r;
}

av::EncoderRequest audioRequest() {
    av::EncoderRequest r;
    r.candidates = {"aac"};
    r.configure = [](AVCodecContext* c) {
        c->sample_rate = 48000;
        av_channel_layout_default(&c->ch_layout, 2);
        c->sample_fmt = AV_SAMPLE_FMT_FLTP;
        c->bit_rate = 160000;
        c->time_base = AVRational{1, 48000};
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    };
    return r;
}

// Sends `frame` (null: flush) and hands every packet to the muxer.
void encodeInto(MovieMuxer& muxer, int track, AVCodecContext* c, AVFrame* frame, bool& ok) {
    ok = ok && avcodec_send_frame(c, frame) >= 0;
    av::PacketPtr packet = av::makePacket();
    while (ok && avcodec_receive_packet(c, packet.get()) >= 0) {
        ok = muxer.write(packet.get(), track, c->time_base).ok();
    }
}

struct StreamInfo {
    QString type;
    QString codec;
    double duration = 0;
};

std::vector<StreamInfo> probeStreams(const QString& path) {
    std::vector<StreamInfo> out;
    const auto json = runTool("ffprobe", {"-v", "error", "-show_entries",
                                          "stream=codec_type,codec_name,duration", "-of", "json",
                                          path});
    if (!json) {
        return out;
    }
    for (const auto& s : QJsonDocument::fromJson(*json).object()["streams"].toArray()) {
        const QJsonObject o = s.toObject();
        out.push_back({o["codec_type"].toString(), o["codec_name"].toString(),
                       o["duration"].toString().toDouble()});
    }
    return out;
}

} // namespace

TEST(EncoderOpenerTest, FallsThroughToTheFirstThatOpensAndSaysWhenNoneDoes) {
    auto opened = av::openEncoder(videoRequest({"no_such_encoder", "hevc_vaapi", "libx264"}));
    ASSERT_TRUE(opened) << opened.error();
    EXPECT_EQ(opened->name, "libx264");
    EXPECT_EQ(opened->inputFormat, AV_PIX_FMT_YUV420P);
    EXPECT_FALSE(opened->hwFrames);
    EXPECT_EQ(opened->context->max_b_frames, 0);

    auto request = videoRequest({"no_such_encoder"});
    request.noneOpened = "No video encoder could be opened";
    auto none = av::openEncoder(request);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.errorKind(), ErrorKind::Unsupported);
    EXPECT_EQ(none.error(), "No video encoder could be opened");
}

TEST(MovieMuxerTest, TwoTracksFromTwoThreadsShareOneFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("two-tracks.mov");
    auto created = MovieMuxer::tryCreate(path);
    ASSERT_TRUE(created) << created.error();
    MovieMuxer& muxer = *created.value();

    auto video = av::openEncoder(videoRequest({"libx264"}));
    auto audio = av::openEncoder(audioRequest());
    ASSERT_TRUE(video) << video.error();
    ASSERT_TRUE(audio) << audio.error();
    AVCodecContext* vc = video->context.get();
    AVCodecContext* ac = audio->context.get();
    auto videoTrack = muxer.addTrack(vc, kVideoBase);
    auto audioTrack = muxer.addTrack(ac, AVRational{1, 48000});
    ASSERT_TRUE(videoTrack);
    ASSERT_TRUE(audioTrack);
    EXPECT_EQ(videoTrack.value(), 0);
    EXPECT_EQ(audioTrack.value(), 1);
    ASSERT_TRUE(muxer.start({{"movflags", "frag_keyframe+empty_moov"}}));

    // Two seconds of each, encoded and written on two threads at once.
    bool videoOk = true;
    bool audioOk = true;
    std::thread videoThread([&] {
        av::FramePtr f = av::makeFrame();
        f->format = video->inputFormat;
        f->width = 64;
        f->height = 48;
        videoOk = av_frame_get_buffer(f.get(), 0) >= 0;
        for (int i = 0; videoOk && i < 120; ++i) {
            videoOk = av_frame_make_writable(f.get()) >= 0;
            for (int p = 0; p < 3; ++p) {
                std::memset(f->data[p], (i * 2 + p * 40) & 0xff,
                            static_cast<std::size_t>(f->linesize[p]) * (p == 0 ? 48 : 24));
            }
            f->pts = i * 10;
            encodeInto(muxer, 0, vc, f.get(), videoOk);
        }
        encodeInto(muxer, 0, vc, nullptr, videoOk);
    });
    std::thread audioThread([&] {
        av::FramePtr f = av::makeFrame();
        f->format = ac->sample_fmt;
        f->nb_samples = ac->frame_size;
        f->sample_rate = 48000;
        av_channel_layout_copy(&f->ch_layout, &ac->ch_layout);
        audioOk = av_frame_get_buffer(f.get(), 0) >= 0;
        std::int64_t samples = 0;
        while (audioOk && samples < 2 * 48000) {
            audioOk = av_frame_make_writable(f.get()) >= 0;
            for (int ch = 0; ch < 2; ++ch) {
                auto* data = reinterpret_cast<float*>(f->data[ch]);
                for (int i = 0; i < f->nb_samples; ++i) {
                    data[i] = 0.25f * static_cast<float>(std::sin(static_cast<double>(samples + i) * 0.0575));
                }
            }
            f->pts = samples;
            samples += f->nb_samples;
            encodeInto(muxer, 1, ac, f.get(), audioOk);
        }
        encodeInto(muxer, 1, ac, nullptr, audioOk);
    });
    videoThread.join();
    audioThread.join();
    EXPECT_TRUE(videoOk);
    EXPECT_TRUE(audioOk);
    ASSERT_TRUE(muxer.finish());
    EXPECT_TRUE(muxer.finish()); // a second finish repeats the first

    const auto streams = probeStreams(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].type, "video");
    EXPECT_EQ(streams[0].codec, "h264");
    EXPECT_NEAR(streams[0].duration, 2.0, 0.05);
    EXPECT_EQ(streams[1].type, "audio");
    EXPECT_EQ(streams[1].codec, "aac");
    EXPECT_NEAR(streams[1].duration, 2.0, 0.1);
    // Every frame of both tracks decodes.
    const auto frames = runTool("ffprobe", {"-v", "error", "-count_frames", "-show_entries",
                                            "stream=nb_read_frames", "-of", "csv=p=0", path});
    ASSERT_TRUE(frames);
    const QStringList counts = QString::fromUtf8(*frames).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(counts.size(), 2);
    EXPECT_EQ(counts[0].trimmed().toInt(), 120);
    EXPECT_GE(counts[1].trimmed().toInt(), 2 * 48000 / 1024);
}

TEST(MovieMuxerTest, AFolderThatDoesNotExistFailsAtStart) {
    auto created = MovieMuxer::tryCreate(QStringLiteral("/nonexistent/orvane/x.mov"));
    ASSERT_TRUE(created);
    auto video = av::openEncoder(videoRequest({"libx264"}));
    ASSERT_TRUE(video);
    ASSERT_TRUE(created.value()->addTrack(video->context.get(), kVideoBase));
    auto started = created.value()->start({});
    ASSERT_FALSE(started);
    EXPECT_EQ(started.errorKind(), ErrorKind::NotFound);
}
