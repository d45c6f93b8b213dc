#include "RenderComposite.h"

#include "render/Background.h"
#include "render/FrameCompositor.h"
#include "render/LookSettings.h"
#include "render/OutputGeometry.h"
#include "render/export/BoundedQueue.h"
#include "render/export/H264Writer.h"
#include "render/export/SoundFeed.h"
#include "render/export/TempOutput.h"
#include "media/MovieReader.h"
#include "timeline/TimeMap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace orvane {

namespace {

// Buffers in flight per stage: enough to keep the three threads busy, few
// enough that a 4K export stays within a few hundred megabytes.
constexpr std::size_t kBuffersPerStage = 3;

// Frames travel as I420 from decoder to encoder: the compositor draws into
// that form directly, so no stage converts a whole frame's colours.
struct DecodeBuffer {
    YuvImage picture; // the movie's size
    double time = 0;  // source seconds
};

struct EncodeFrame {
    YuvImage picture;      // output size
    double outputTime = 0; // seconds on the output timeline
};

using DecodePtr = std::unique_ptr<DecodeBuffer>;

// A cut at least this long is jumped over with a seek rather than decoded.
constexpr double kSeekOverCut = 1.0; // seconds

// The output instants (seconds, output 0 at the trim's start) at which the
// source frame shown from take time t is seen. As recorded, and in parts at
// 1x, it is its own time. In a part at another speed the output keeps the
// take's frame rate: the frame is seen at each tick of the output clock that
// falls while it is on screen, none (sped up) or several (slowed down). A
// frame inside a cut is not seen, unless it is still on screen where the next
// kept part begins. Instants come out after `last`, the previous frame's.
void outputTimes(const TimeMap& map, double t, double frameInterval, double rangeStart,
                 double outStart, double outLength, double last, std::vector<double>& instants) {
    instants.clear();
    if (map.identity()) {
        instants.push_back(std::max(t - rangeStart, 0.0));
        return;
    }
    constexpr double kTick = 1e-6; // seconds: instants this close count as one
    const double until = t + frameInterval; // take time the frame is replaced
    const TimeMap::Piece* piece = map.pieceAt(t);
    if (piece == nullptr) {
        piece = map.pieceAt(until - kTick);
        if (piece == nullptr) {
            return;
        }
        t = piece->takeStart;
    }
    const double u = map.outputTime(t) - outStart;
    const auto add = [&](double o) {
        if (o > last + kTick || (last < 0 && o >= 0)) {
            instants.push_back(o);
            last = o;
        }
    };
    if (piece->speed == 1) {
        if (u < outLength) {
            add(std::max(u, 0.0));
        }
        return;
    }
    // On screen over [u, uEnd) of output time, within its piece (the last
    // piece runs on past its end when nothing after it is cut).
    double uEnd = u + (until - t) / piece->speed;
    if (t < piece->takeEnd) {
        uEnd = std::min(uEnd, piece->outEnd - outStart);
    }
    uEnd = std::min(uEnd, outLength);
    for (double k = std::ceil(std::max(u, 0.0) / frameInterval - kTick);
         k * frameInterval < uEnd - kTick; ++k) {
        add(k * frameInterval);
    }
    // A frame too brief for any tick at the range's very start is still the
    // first picture.
    if (instants.empty() && last < 0 && u <= 0 && uEnd > 0) {
        add(0);
    }
}


std::string seconds(double s) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f s", s);
    return text;
}
using EncodePtr = std::unique_ptr<EncodeFrame>;

// The first failure of any stage, and the switch that stops all of them.
class Stopper {
public:
    Stopper(const std::atomic<bool>* cancel, std::vector<std::function<void()>> closers)
        : cancel_(cancel), closers_(std::move(closers)) {}

    void fail(Error error) {
        {
            std::lock_guard lock(mutex_);
            if (!error_) {
                error_ = std::move(error);
            }
        }
        stopAll();
    }
    // True (and everything stopped) once cancel was asked for.
    bool cancelled() {
        if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
            fail(Error{ErrorKind::Cancelled, "cancelled"});
            return true;
        }
        return false;
    }
    std::optional<Error> error() {
        std::lock_guard lock(mutex_);
        return error_;
    }

private:
    void stopAll() {
        for (auto& close : closers_) {
            close();
        }
    }
    const std::atomic<bool>* cancel_;
    std::vector<std::function<void()>> closers_;
    std::mutex mutex_;
    std::optional<Error> error_;
};

} // namespace

Result<ExportReport> renderComposite(const ExportJob& job, const ExportProgress& progress,
                                     const std::atomic<bool>* cancel, const char* x264Preset) {
    using R = Result<ExportReport>;
    if (!job.output.empty() && sameFile(job.source, job.output)) {
        return R::failure(ErrorKind::Invalid,
                          "the export would replace the recording itself; choose another name");
    }

    media::MovieReader reader;
    auto opened = reader.open(job.source);
    if (!opened) {
        return opened.errorValue();
    }
    const media::VideoInfo info = opened.value();
    const bool sized = info.width > 0 && info.height > 0;
    const int videoW = sized ? info.width : kFallbackVideoWidth;
    const int videoH = sized ? info.height : kFallbackVideoHeight;
    const auto size = outputSize(videoW, videoH, outputAspect(job.look, videoW, videoH),
                                 job.look.padding);
    if (!size) {
        return R::failure(ErrorKind::Unsupported,
                          "the output frame would be smaller than 2x2 pixels, too small to encode");
    }
    if (exportBitRate(size->width, size->height) < kMinEncoderBitRate) {
        return R::failure(ErrorKind::Unsupported,
                          "the output frame would be " + std::to_string(size->width) + "x" +
                              std::to_string(size->height) + " pixels, too small to encode");
    }
    const double movieDuration = info.duration.value_or(job.timeline.duration);
    // A range that starts where the movie has no more frames would come out
    // as the last frame alone, which is not what anyone asked for.
    if (info.duration && std::isfinite(job.trimStart) && job.trimStart >= *info.duration) {
        return R::failure(ErrorKind::Invalid,
                          "the trim starts at " + seconds(job.trimStart) +
                              ", at or after the end of the recording (" +
                              seconds(*info.duration) + ")");
    }
    const ExportRange range = exportRange(job.trimStart, job.trimEnd, movieDuration);
    const double rangeEnd = range.start + range.length;
    // Output time runs through the kept sections at their speeds; output 0
    // is the trim's start.
    const TimeMap map(job.sections);
    const double outStart = map.outputTime(range.start);
    const double outLength = map.identity() ? range.length : map.outputTime(rangeEnd) - outStart;
    if (outLength <= 1e-6) {
        return R::failure(ErrorKind::Invalid, "every part of the chosen range is cut");
    }
    if (range.start > 0 && !reader.seek(range.start, true)) {
        return R::failure(ErrorKind::Corrupt,
                          reader.error().empty() ? "cannot seek in the recording" : reader.error());
    }

    // The sound covers exactly the trimmed range, from the instant of output
    // time 0; without sound, or with every source muted, the file has no
    // sound track at all.
    std::unique_ptr<SoundFeed> sound = SoundFeed::open(
        job.source, job.look.sound, range.start,
        map.identity() ? range.end - range.start : map.outputTime(range.end) - outStart, map);

    auto temp = TempOutput::tryCreate(job.output);
    if (!temp) {
        return temp.errorValue();
    }

    H264Settings encoding;
    encoding.width = size->width;
    encoding.height = size->height;
    encoding.bitRate = exportBitRate(size->width, size->height);
    encoding.frameRateHint = info.frameRate > 0 ? info.frameRate : 60;
    encoding.x264Preset = x264Preset != nullptr ? x264Preset : kExportX264Preset;
    encoding.sound = sound != nullptr;
    auto writerResult = H264Writer::tryCreate(temp->path(), encoding);
    if (!writerResult) {
        return writerResult.errorValue();
    }
    H264Writer& writer = *writerResult.value();

    FrameCompositor compositor(job.timeline, compositorSettings(job.look),
                               Background::prepare(job.look.background, job.look.bgBlur,
                                                   size->width));

    BoundedQueue<DecodePtr> freeDecoded(kBuffersPerStage);
    BoundedQueue<DecodePtr> decoded(kBuffersPerStage);
    BoundedQueue<EncodePtr> freeComposed(kBuffersPerStage);
    BoundedQueue<EncodePtr> composed(kBuffersPerStage);
    for (std::size_t i = 0; i < kBuffersPerStage; ++i) {
        auto d = std::make_unique<DecodeBuffer>();
        d->picture = YuvImage(videoW, videoH);
        auto c = std::make_unique<EncodeFrame>();
        c->picture = YuvImage(size->width, size->height);
        if (d->picture.isNull() || c->picture.isNull()) {
            return R::failure(ErrorKind::Io, "out of memory for the frames");
        }
        freeDecoded.push(std::move(d));
        freeComposed.push(std::move(c));
    }
    Stopper stopper(cancel, {[&] { freeDecoded.close(); }, [&] { decoded.close(); },
                             [&] { freeComposed.close(); }, [&] { composed.close(); },
                             [&] {
                                 if (sound) {
                                     sound->close();
                                 }
                             }});
    if (sound) {
        sound->start();
    }

    // Decode: frames in presentation order, up to the end of the range. A
    // recording whose tail is damaged (a take killed mid-way) ends where its
    // frames stop decoding: what came before is exported and the report says
    // where it ended. Without a single frame in the range it still fails.
    const double frameInterval = info.frameRate > 0 ? 1.0 / info.frameRate : 1.0 / 60;
    std::optional<double> endedEarly;
    // Seconds before a cut's end by which skipping stops (a few frames spare).
    const double skipMargin = (reader.decodeDelay() + 4) * frameInterval;
    std::thread decodeThread([&] {
        std::optional<double> lastGood;
        while (!stopper.cancelled()) {
            auto buffer = freeDecoded.pop();
            if (!buffer) {
                break;
            }
            double t = 0;
            if (!reader.readPicture((*buffer)->picture.view(), t)) {
                if (reader.status() == media::MovieReader::Status::Error) {
                    if (lastGood) {
                        endedEarly = *lastGood + frameInterval;
                    } else {
                        stopper.fail(Error{ErrorKind::Corrupt, reader.error()});
                    }
                }
                break;
            }
            if (!std::isfinite(t)) {
                t = 0;
            }
            if (t >= rangeEnd) {
                break;
            }
            if (!map.identity() && map.pieceAt(t) == nullptr &&
                map.pieceAt(t + frameInterval - 1e-6) == nullptr) {
                // Inside a cut (the frame shows nothing kept): skipped, and a
                // long cut is jumped over rather than decoded. Deep inside it
                // the frames nothing is predicted from are not even decoded;
                // that stops well before the cut ends, so no frame that is
                // seen after it is lost.
                const double next = map.keptFrom(t);
                reader.setSkipUnreferenced(next - t > skipMargin && next - t <= kSeekOverCut);
                if (next - t > kSeekOverCut && next < rangeEnd) {
                    if (!reader.seek(next, true)) {
                        stopper.fail(Error{ErrorKind::Corrupt, reader.error().empty()
                                                                   ? "cannot seek in the recording"
                                                                   : reader.error()});
                        break;
                    }
                } else if (next >= rangeEnd) {
                    break;
                }
                freeDecoded.push(std::move(*buffer));
                continue;
            }
            reader.setSkipUnreferenced(false);
            (*buffer)->time = t;
            lastGood = t;
            if (!decoded.push(std::move(*buffer))) {
                break;
            }
        }
        decoded.close();
    });

    // Encode: each composed frame at its own time; progress in whole percents.
    std::int64_t framesOut = 0;
    double lastOutputTime = 0;
    std::thread encodeThread([&] {
        int lastPercent = -1;
        while (auto frame = composed.pop()) {
            if (stopper.cancelled()) {
                break;
            }
            // The sound up to this frame goes first, so the muxer finds both
            // tracks at about the same time and interleaves them closely.
            if (sound) {
                if (auto ok = sound->writeUntil(writer, (*frame)->outputTime); !ok) {
                    stopper.fail(ok.errorValue());
                    break;
                }
            }
            if (auto written = writer.write((*frame)->picture.view(), (*frame)->outputTime);
                !written) {
                stopper.fail(written.errorValue());
                break;
            }
            ++framesOut;
            lastOutputTime = (*frame)->outputTime;
            const double f = (*frame)->outputTime / outLength;
            // 100 % is kept for the finished file.
            const int percent = std::clamp(static_cast<int>(std::floor(f * 100)), 0, 99);
            if (percent > lastPercent) {
                lastPercent = percent;
                if (progress) {
                    progress(percent / 100.0);
                }
            }
            freeComposed.push(std::move(*frame));
        }
    });

    // Compose, on this thread. Each source frame is shown at the output
    // instants outputTimes() gives: its own time, none in a cut, or the
    // output clock's frames it covers in a sped-up or slowed part.
    std::vector<double> instants;
    double lastInstant = -1;
    bool stopped = false;
    while (auto source = decoded.pop()) {
        const double t = (*source)->time;
        outputTimes(map, t, frameInterval, range.start, outStart, outLength, lastInstant,
                    instants);
        if (!instants.empty()) {
            lastInstant = instants.back();
        }
        for (const double o : instants) {
            auto out = freeComposed.pop();
            if (!out) {
                stopped = true;
                break;
            }
            const bool drawn = compositor.composeYuv(
                (*source)->picture.view(), t, (*out)->picture.view(),
                map.identity() ? std::nullopt : std::optional<double>(o));
            if (!drawn) {
                // A frame the compositor cannot draw is left out: the previous
                // frame simply stays on screen longer.
                freeComposed.push(std::move(*out));
                continue;
            }
            (*out)->outputTime = o;
            if (!composed.push(std::move(*out))) {
                stopped = true;
                break;
            }
        }
        freeDecoded.push(std::move(*source));
        if (stopped) {
            break;
        }
    }
    composed.close();
    decodeThread.join();
    encodeThread.join();
    stopper.cancelled();

    if (auto error = stopper.error()) {
        return *error;
    }
    if (framesOut == 0) {
        return R::failure(ErrorKind::Corrupt, "the chosen range holds no video frames");
    }
    if (sound) {
        // The rest of the range; a recording that ended early ends its sound
        // with its last picture.
        const double soundEnd = endedEarly ? lastOutputTime + frameInterval
                                           : static_cast<double>(sound->totalFrames()) / kSoundRate;
        if (auto ok = sound->writeUntil(writer, soundEnd); !ok) {
            return ok.errorValue();
        }
    }
    if (auto finished = writer.finish(); !finished) {
        return finished.errorValue();
    }
    if (auto committed = temp->commit(); !committed) {
        return committed.errorValue();
    }

    ExportReport report;
    report.output = job.output;
    report.encoder = writer.encoderName();
    report.width = size->width;
    report.height = size->height;
    report.frames = framesOut;
    report.duration = lastOutputTime + frameInterval;
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(job.output, ec);
    report.bytes = ec ? 0 : static_cast<std::int64_t>(bytes);
    report.endedEarly = endedEarly;
    if (progress) {
        progress(1.0);
    }
    return report;
}

} // namespace orvane
