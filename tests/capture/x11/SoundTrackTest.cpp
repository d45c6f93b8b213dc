// The movie writer's sound tracks: blocks handed to the writer's sound sinks
// come back from the file at the frame they were stamped for, read with
// ffprobe, ffmpeg and the program's own SoundReader.
#include "MediaProbe.h"
#include "WriterTestSupport.h"

#include "capture/ffmpeg/MovieDuration.h"
#include "capture/ffmpeg/MovieWriter.h"
#include "media/SoundReader.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace orvane;
using orvane::test::createWriter;
using orvane::test::probeFrames;
using orvane::test::runTool;

namespace {

constexpr double kStart = 1000.0; // a synthetic host clock: the writer only subtracts

// Interleaved stereo noise from a fixed seed (a sharp correlation peak, unlike
// a tone), `seconds` long, at amplitude 0.3.
std::vector<float> noise(double seconds, std::uint32_t seed) {
    const auto frames = static_cast<std::size_t>(std::llround(seconds * kSoundRate));
    std::vector<float> out(frames * kSoundChannels);
    std::uint32_t x = seed;
    for (std::size_t i = 0; i < frames; ++i) {
        x = x * 1664525u + 1013904223u;
        const float v = 0.3f * (static_cast<float>(x >> 8) / static_cast<float>(1u << 24) * 2.0f - 1.0f);
        out[2 * i] = v;
        out[2 * i + 1] = -v;
    }
    return out;
}

// Hands `samples` to `sink` in blocks of 480 frames (10 ms), the first stamped
// `hostTime` and each next one where the previous ended.
void deliver(SoundSink* sink, const std::vector<float>& samples, double hostTime) {
    constexpr int block = 480;
    const auto frames = static_cast<int>(samples.size() / kSoundChannels);
    for (int at = 0; at < frames; at += block) {
        const int n = std::min(block, frames - at);
        sink->soundArrived(samples.data() + static_cast<std::ptrdiff_t>(at) * kSoundChannels, n,
                           hostTime + static_cast<double>(at) / kSoundRate);
    }
}

// Video frames at 60 per second from the take's start, `seconds` long, each
// after the encoder took the one before.
void feedVideo(MovieWriter& writer, double seconds) {
    std::vector<std::uint8_t> px(64 * 64 * 4, 90);
    for (int i = 0; i < seconds * 60; ++i) {
        writer.append(VideoFrame{px.data(), 64, 64, 64 * 4, kStart + i / 60.0});
        QThread::msleep(3);
    }
}

MovieWriterOptions withSound(std::vector<SoundKind> kinds) {
    MovieWriterOptions options;
    options.ringSlots = 130;
    options.sound = std::move(kinds);
    return options;
}

// One track read from the file by the program's reader, `seconds` long from 0.
std::vector<float> readTrack(const QString& path, SoundKind kind, double seconds) {
    auto reader = SoundReader::open(path.toStdString());
    if (!reader) {
        ADD_FAILURE() << reader.error();
        return {};
    }
    EXPECT_TRUE(reader.value()->has(kind));
    const int frames = static_cast<int>(std::llround(seconds * kSoundRate));
    std::vector<float> out(static_cast<std::size_t>(frames) * kSoundChannels);
    reader.value()->read(kind, out.data(), frames);
    EXPECT_FALSE(reader.value()->error().has_value());
    return out;
}

// Root mean square of frames [from, to) seconds (both channels).
double rms(const std::vector<float>& s, double from, double to) {
    const auto a = static_cast<std::size_t>(from * kSoundRate) * kSoundChannels;
    const auto b = std::min(s.size(), static_cast<std::size_t>(to * kSoundRate) * kSoundChannels);
    double sum = 0;
    for (std::size_t i = a; i < b; ++i) {
        sum += static_cast<double>(s[i]) * static_cast<double>(s[i]);
    }
    return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
}

// The shift (in frames, within +-range) at which `decoded` best matches
// `reference` placed at frame `at`: 0 when the sound sits exactly where it
// was stamped. Compares the left channel over `length` frames.
int bestLag(const std::vector<float>& decoded, const std::vector<float>& reference, int at,
            int length, int range) {
    int best = 0;
    double bestScore = -1e300;
    for (int lag = -range; lag <= range; ++lag) {
        double score = 0;
        for (int i = 0; i < length; ++i) {
            const std::ptrdiff_t d = at + lag + i;
            if (d < 0 || static_cast<std::size_t>(d) * 2 >= decoded.size()) {
                continue;
            }
            score += static_cast<double>(decoded[static_cast<std::size_t>(d) * 2]) *
                     static_cast<double>(reference[static_cast<std::size_t>(i) * 2]);
        }
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

// The movie's streams as ffprobe lists them.
QJsonArray probeStreams(const QString& path) {
    const auto out = runTool("ffprobe", {"-v", "error", "-show_streams", "-of", "json", path});
    if (!out) {
        ADD_FAILURE() << "ffprobe could not read " << path.toStdString();
        return {};
    }
    return QJsonDocument::fromJson(*out).object()["streams"].toArray();
}

class SoundTrackTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString moviePath() const { return dir.filePath("orvane-recording.mov"); }
};

TEST_F(SoundTrackTest, EachSourceGetsANamedAacTrack) {
    auto writer = createWriter(moviePath(), 64, 64, kStart,
                               withSound({SoundKind::Microphone, SoundKind::Desktop}));
    ASSERT_TRUE(writer);
    ASSERT_NE(writer->soundSink(SoundKind::Microphone), nullptr);
    ASSERT_NE(writer->soundSink(SoundKind::Desktop), nullptr);
    EXPECT_NE(writer->soundSink(SoundKind::Microphone), writer->soundSink(SoundKind::Desktop));
    deliver(writer->soundSink(SoundKind::Microphone), noise(2.0, 1), kStart);
    deliver(writer->soundSink(SoundKind::Desktop), noise(2.0, 2), kStart);
    feedVideo(*writer, 2.0);
    ASSERT_TRUE(writer->finish());

    const QJsonArray streams = probeStreams(moviePath());
    ASSERT_EQ(streams.size(), 3);
    EXPECT_EQ(streams[0].toObject()["codec_type"].toString(), "video");
    const char* names[] = {"Orvane microphone", "Orvane desktop sound"};
    for (int i = 1; i <= 2; ++i) {
        const QJsonObject s = streams[i].toObject();
        SCOPED_TRACE(i);
        EXPECT_EQ(s["codec_type"].toString(), "audio");
        EXPECT_EQ(s["codec_name"].toString(), "aac");
        EXPECT_EQ(s["sample_rate"].toString(), "48000");
        EXPECT_EQ(s["channels"].toInt(), 2);
        EXPECT_EQ(s["sample_fmt"].toString(), "fltp");
        EXPECT_EQ(s["tags"].toObject()["handler_name"].toString(), names[i - 1]);
        // Noise is the hardest case for the encoder: it spends its whole budget.
        const double bitRate = s["bit_rate"].toString().toDouble();
        EXPECT_NEAR(bitRate, kSoundBitRate, kSoundBitRate * 0.15);
        EXPECT_NEAR(s["duration"].toString().toDouble(), 2.0, 0.05);
    }
}

TEST_F(SoundTrackTest, SoundComesBackAtTheFrameItWasStampedFor) {
    auto writer = createWriter(moviePath(), 64, 64, kStart, withSound({SoundKind::Microphone}));
    ASSERT_TRUE(writer);
    // A burst 0.5 s (plus ten and a half frames, which rounds to 11) into the take.
    const auto burst = noise(0.5, 3);
    const int at = kSoundRate / 2 + 11;
    deliver(writer->soundSink(SoundKind::Microphone), burst, kStart + (kSoundRate / 2 + 10.6) / kSoundRate);
    feedVideo(*writer, 1.5);
    ASSERT_TRUE(writer->finish());

    // The program's reader: the encoder's priming delay (1024 frames) would
    // show as a lag of 1024.
    const auto decoded = readTrack(moviePath(), SoundKind::Microphone, 1.5);
    EXPECT_EQ(bestLag(decoded, burst, at, 4800, 1500), 0);
    EXPECT_LT(rms(decoded, 0.0, 0.49), 0.002) << "silence from the take's start to the first block";
    EXPECT_NEAR(rms(decoded, 0.55, 0.95), rms(burst, 0.05, 0.45), 0.03);
    EXPECT_LT(rms(decoded, 1.05, 1.5), 0.002);

    // ffmpeg itself, playing the track from its first packet: sample i of its
    // output is frame i of the movie.
    const auto raw = runTool("ffmpeg", {"-v", "error", "-i", moviePath(), "-map", "0:a:0", "-f",
                                        "f32le", "-ac", "2", "-ar", "48000", "-"});
    ASSERT_TRUE(raw);
    std::vector<float> plain(static_cast<std::size_t>(raw->size()) / sizeof(float));
    std::memcpy(plain.data(), raw->constData(), plain.size() * sizeof(float));
    EXPECT_EQ(bestLag(plain, burst, at, 4800, 1500), 0);
}

TEST_F(SoundTrackTest, GapsBecomeSilenceAndOverlapsAndEarlyFramesAreDropped) {
    auto writer = createWriter(moviePath(), 64, 64, kStart, withSound({SoundKind::Desktop}));
    ASSERT_TRUE(writer);
    SoundSink* sink = writer->soundSink(SoundKind::Desktop);
    // 0.3 s of which the first 0.1 s were captured before the take began.
    const auto early = noise(0.3, 4);
    deliver(sink, early, kStart - 0.1);
    // After a hole of 0.3 s (0.2 ... 0.5 s), a block of 0.4 s.
    const auto afterHole = noise(0.4, 5);
    deliver(sink, afterHole, kStart + 0.5);
    // One that claims to start 0.1 s before the previous one ended: its
    // first 0.1 s are dropped, the rest follows at 0.9 s.
    const auto overlapping = noise(0.3, 6);
    deliver(sink, overlapping, kStart + 0.8);
    feedVideo(*writer, 1.5);
    ASSERT_TRUE(writer->finish());

    const auto decoded = readTrack(moviePath(), SoundKind::Desktop, 1.5);
    // What was captured from the take's start on sits at 0 (compared past the
    // first AAC frame, which decodes without the overlap of a frame before it).
    const std::vector<float> earlyInTake(early.begin() + (4800 + 1024) * 2, early.end());
    EXPECT_EQ(bestLag(decoded, earlyInTake, 1024, 4800, 1000), 0);
    EXPECT_EQ(bestLag(decoded, afterHole, 24000, 4800, 1500), 0);
    const std::vector<float> overlapKept(overlapping.begin() + 4800 * 2, overlapping.end());
    EXPECT_EQ(bestLag(decoded, overlapKept, 43200, 4800, 1500), 0);
    EXPECT_NEAR(rms(decoded, 0.02, 0.18), 0.3 / std::sqrt(3.0), 0.03);
    EXPECT_LT(rms(decoded, 0.23, 0.47), 0.002) << "the hole is silent";
    EXPECT_NEAR(rms(decoded, 0.55, 1.05), 0.3 / std::sqrt(3.0), 0.03);
    EXPECT_LT(rms(decoded, 1.13, 1.5), 0.002);
}

TEST_F(SoundTrackTest, TheTakeLastsAsLongAsItsPicture) {
    auto writer = createWriter(moviePath(), 64, 64, kStart, withSound({SoundKind::Microphone}));
    ASSERT_TRUE(writer);
    // Sound that goes on half a second past the last frame.
    deliver(writer->soundSink(SoundKind::Microphone), noise(1.5, 9), kStart);
    feedVideo(*writer, 1.0);
    ASSERT_TRUE(writer->finish());
    EXPECT_NEAR(orvane::test::probeMovie(moviePath())->duration, 1.5, 0.05); // the container
    const auto duration = readMovieDuration(moviePath());
    ASSERT_TRUE(duration);
    EXPECT_NEAR(*duration, 1.0, 0.002); // 60 frames of 1/60 s
}

TEST_F(SoundTrackTest, BadBlocksAreIgnored) {
    auto writer = createWriter(moviePath(), 64, 64, kStart, withSound({SoundKind::Microphone}));
    ASSERT_TRUE(writer);
    SoundSink* sink = writer->soundSink(SoundKind::Microphone);
    const auto block = noise(0.01, 7);
    sink->soundArrived(nullptr, 480, kStart);
    sink->soundArrived(block.data(), 0, kStart);
    sink->soundArrived(block.data(), -5, kStart);
    sink->soundArrived(block.data(), 480, std::nan(""));
    sink->soundArrived(block.data(), 480, kStart + 1e12); // no year of silence
    sink->soundEnded(Error{ErrorKind::NotFound, "The microphone was disconnected"});
    feedVideo(*writer, 0.5);
    ASSERT_TRUE(writer->finish());
    // Sound after the end is ignored, not a crash.
    sink->soundArrived(block.data(), 480, kStart + 0.6);
    const QJsonArray streams = probeStreams(moviePath());
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[1].toObject()["codec_name"].toString(), "aac");
}

TEST_F(SoundTrackTest, WithoutSoundTheMovieHasOnlyItsPicture) {
    auto writer = createWriter(moviePath(), 64, 64, kStart, withSound({}));
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->soundSink(SoundKind::Microphone), nullptr);
    EXPECT_EQ(writer->soundSink(SoundKind::Desktop), nullptr);
    feedVideo(*writer, 0.5);
    ASSERT_TRUE(writer->finish());
    const QJsonArray streams = probeStreams(moviePath());
    ASSERT_EQ(streams.size(), 1);
    EXPECT_EQ(streams[0].toObject()["codec_type"].toString(), "video");
}

TEST_F(SoundTrackTest, ASilentSoundTrackDoesNotHoldTheVideoBack) {
    // The microphone gave 0.2 s and died; the desktop never said anything.
    auto writer = createWriter(moviePath(), 64, 64, kStart,
                               withSound({SoundKind::Microphone, SoundKind::Desktop}));
    ASSERT_TRUE(writer);
    deliver(writer->soundSink(SoundKind::Microphone), noise(0.2, 8), kStart);
    writer->soundSink(SoundKind::Microphone)->soundEnded(Error{ErrorKind::NotFound, "gone"});
    feedVideo(*writer, 4.0);
    for (int i = 0; i < 100 && writer->counts().written < 200; ++i) {
        QThread::msleep(50);
    }
    ASSERT_GE(writer->counts().written, 200);
    // Still recording: what is on disk now are the fragments closed so far.
    const auto frames = probeFrames(moviePath());
    ASSERT_FALSE(frames.empty()) << "nothing reached the disk while a sound track was silent";
    EXPECT_GE(frames.back().time, 2.0);
    ASSERT_TRUE(writer->finish());
    EXPECT_NEAR(probeFrames(moviePath()).back().time, 4.0 - 1 / 60.0, 0.02);
}

// The audio frames of sound track `index` that decode, as times in seconds.
std::vector<double> probeSoundFrames(const QString& path, int index) {
    std::vector<double> times;
    const auto out = runTool("ffprobe", {"-v", "quiet", "-select_streams",
                                         QStringLiteral("a:%1").arg(index), "-show_entries",
                                         "frame=best_effort_timestamp_time", "-of", "csv=p=0", path});
    if (!out) {
        return times;
    }
    for (const QByteArray& line : out->split('\n')) {
        bool ok = false;
        const double t = line.trimmed().toDouble(&ok);
        if (ok) {
            times.push_back(t);
        }
    }
    return times;
}

TEST_F(SoundTrackTest, ASigkilledTakeKeepsPictureAndSoundUpToItsLastFragment) {
    ASSERT_TRUE(test::recordThenKill(QStringLiteral(ORVANE_CAPTURE_PROBE), moviePath(), {QStringLiteral("--sound")}, 3500));
    const auto frames = probeFrames(moviePath());
    ASSERT_FALSE(frames.empty());
    EXPECT_GE(frames.back().time, 3.5 - 2.0);
    for (int track = 0; track < 2; ++track) {
        SCOPED_TRACE(track);
        const auto sound = probeSoundFrames(moviePath(), track);
        ASSERT_FALSE(sound.empty());
        EXPECT_NEAR(sound.front(), 0.0, 1e-6);
        EXPECT_GE(sound.back(), 3.5 - 2.0);
    }
    // The program's reader hears the tone in both tracks.
    auto reader = SoundReader::open(moviePath().toStdString());
    ASSERT_TRUE(reader);
    for (SoundKind kind : kSoundKinds) {
        std::vector<float> s(static_cast<std::size_t>(kSoundRate) * kSoundChannels);
        reader.value()->seek(0.5);
        reader.value()->read(kind, s.data(), kSoundRate);
        EXPECT_NEAR(rms(s, 0.0, 1.0), 0.4 / std::sqrt(2.0), 0.03);
    }
}

} // namespace
