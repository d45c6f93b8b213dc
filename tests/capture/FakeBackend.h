#pragma once

// Test doubles of the platform behind the Recorder: a picker, an input monitor,
// permission checks, streams and writers that the tests drive by hand, and a
// clock the tests set.
#include "capture/CaptureBackend.h"
#include "capture/HostClock.h"
#include "capture/SoundSource.h"
#include "capture/WriterFactory.h"

#include <QDir>
#include <QFile>

#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvane::test {

class FakePicker : public ContentPicker {
public:
    void setActive(bool a) override { active = a; }
    void present() override { ++presented; }
    void choose(const ContentQuery& q) override { queries.push_back(q); }
    bool active = false;
    int presented = 0;
    std::vector<ContentQuery> queries;
};

// The cursor a test shows, read by the Recorder's sampling thread.
class SharedCursor {
public:
    SharedCursor& operator=(const CursorReading& r) {
        std::lock_guard lock(mutex_);
        value_ = r;
        return *this;
    }
    void reset() {
        std::lock_guard lock(mutex_);
        value_.reset();
    }
    std::optional<CursorReading> get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }

private:
    mutable std::mutex mutex_;
    std::optional<CursorReading> value_ = CursorReading{{10, 10}, false};
};

class FakeInput : public InputMonitor {
public:
    bool startClicks() override {
        listening = canListen;
        return canListen;
    }
    void stopClicks() override {
        listening = false;
        // A press read before the stop, delivered as the stop resolves it.
        if (pressAtStop) {
            emit clicked(pressAtStop->first, pressAtStop->second);
            pressAtStop.reset();
        }
    }
    std::optional<std::pair<QPointF, double>> pressAtStop; // position, host seconds
    std::optional<CursorReading> readCursor() override { // the sampling thread
        ++reads;
        return cursor.get();
    }
    bool canListen = true;
    bool listening = false;
    std::atomic<int> reads{0};
    SharedCursor cursor;
};

class FakeChecks : public PermissionChecks {
public:
    bool screenCaptureAllowed() override { return screen; }
    bool inputObservable() override { return input; }
    bool requestInputAccess() override {
        ++requests;
        return input;
    }
    QString screenProblem() override { return screen ? QString() : QStringLiteral("no screen"); }
    QString inputProblem() override { return input ? QString() : QStringLiteral("no XInput"); }
    bool screen = true;
    bool input = true;
    int requests = 0;
};

// A writer's sound track: counts what arrives, and whether anything arrived
// after the writer began to finish (which a real track would lose).
class FakeSoundTrack : public SoundSink {
public:
    explicit FakeSoundTrack(const std::atomic<int>* finishes) : finishes_(finishes) {}
    struct Block {
        double at; // host seconds of the first frame
        int frames;
    };
    void soundArrived(const float*, int n, double hostTime) override {
        double none = -1;
        firstStamp.compare_exchange_strong(none, hostTime);
        frames += n;
        {
            std::lock_guard lock(blocksMutex_);
            blocks_.push_back({hostTime, n});
        }
        if (finishes_->load() > 0) {
            ++afterFinish;
        }
    }
    void soundEnded(const Error&) override { ++ends; }
    std::vector<Block> blocks() const {
        std::lock_guard lock(blocksMutex_);
        return blocks_;
    }
    std::atomic<int> frames{0};
    std::atomic<double> firstStamp{-1};
    std::atomic<int> afterFinish{0};
    std::atomic<int> ends{0};

private:
    const std::atomic<int>* finishes_;
    mutable std::mutex blocksMutex_;
    std::vector<Block> blocks_;
};

class FakeWriter : public VideoWriter {
public:
    // `stamp`: write a stand-in movie file at `path` (off for a real movie that
    // a test supplies).
    FakeWriter(QString path, bool complete, bool stamp = true)
        : path_(std::move(path)), complete_(complete) {
        QFile f(path_);
        if (stamp && f.open(QIODevice::WriteOnly)) {
            f.write("movie");
        }
    }
    void append(const VideoFrame& f) override {
        ++frames;
        std::lock_guard lock(stampsMutex);
        stamps.push_back(f.hostTime);
        repeats.push_back(f.repeat);
    }
    Result<void> finish() override {
        ++finishes;
        if (frames > 0 && complete_) {
            return {};
        }
        return Result<void>::failure(ErrorKind::Io, "no frames were written");
    }
    QString path() const override { return path_; }
    WriterCounts counts() const override { return {frames, frames, 0}; }
    SoundSink* soundSink(SoundKind kind) override {
        auto it = sound.find(kind);
        return it == sound.end() ? nullptr : it->second.get();
    }
    // Gives the writer a track for each of `kinds`, as WriterSpec::sound asks.
    void addSound(const std::vector<SoundKind>& kinds) {
        for (SoundKind k : kinds) {
            sound[k] = std::make_unique<FakeSoundTrack>(&finishes);
        }
    }
    std::map<SoundKind, std::unique_ptr<FakeSoundTrack>> sound;
    std::optional<Error> failure() const override {
        std::lock_guard lock(failureMutex);
        return failWith;
    }
    // Makes the writer fail from now on, as a full disk would.
    void fail(Error e) {
        std::lock_guard lock(failureMutex);
        failWith = std::move(e);
        complete_ = false;
    }
    std::atomic<int> frames{0};
    std::atomic<int> finishes{0};
    // What append() was handed, in order (guarded by stampsMutex).
    std::mutex stampsMutex;
    std::vector<double> stamps;
    std::vector<bool> repeats;

private:
    QString path_;
    std::atomic<bool> complete_;
    mutable std::mutex failureMutex;
    std::optional<Error> failWith;
};

class FakeStream : public ScreenStream {
public:
    // Negotiates the content's area in pixels, as X11 does; `outputSize`
    // receives what the Recorder asks for.
    FakeStream(const CaptureContent& content, std::optional<QString> startError, int* stopCounter,
               QSize* outputSize)
        : content_(content), startError_(std::move(startError)), stopCounter_(stopCounter),
          outputSize_(outputSize) {}
    ~FakeStream() override {
        if (running) {
            ++*stopCounter_; // destroyed while running counts as stopped, but never silently
            leakedRunning = true;
        }
    }
    Result<StreamFormat> negotiate() override {
        return StreamFormat{QSizeF(content_.area.width() * content_.pixelScale,
                                   content_.area.height() * content_.pixelScale),
                            content_.pixelScale, content_.area, cursorInPicture};
    }
    void setOutputSize(QSize size) override { *outputSize_ = size; }
    Result<void> start(FrameSink sink, EndSink onEnd) override {
        if (startError_) {
            return Result<void>::failure(ErrorKind::Io, startError_->toStdString());
        }
        sink_ = std::move(sink);
        onEnd_ = std::move(onEnd);
        running = true;
        return {};
    }
    StreamEnd end() const override { return end_; }
    void stop() override {
        if (running) {
            ++*stopCounter_;
        }
        running = false;
        if (end_ == StreamEnd::Running) {
            end_ = StreamEnd::Stopped;
        }
    }
    // Ends the stream as a vanished source would (on the caller's thread,
    // standing in for the capture thread).
    void endBy(StreamEnd reason) {
        end_ = reason;
        running = false;
        if (onEnd_) {
            onEnd_(reason);
        }
    }
    // Delivers n frames as the capture thread would.
    void deliver(int n) {
        static const std::uint8_t pixel[4] = {};
        for (int i = 0; i < n && running; ++i) {
            sink_(VideoFrame{pixel, 1, 1, 4, 0});
        }
    }
    // Delivers one frame grabbed at `hostTime`, a repeat of the last or not.
    void deliverAt(double hostTime, bool repeat = false) {
        static const std::uint8_t pixel[4] = {};
        if (running) {
            sink_(VideoFrame{pixel, 1, 1, 4, hostTime, repeat});
        }
    }
    bool running = false;
    bool cursorInPicture = false;
    inline static bool leakedRunning = false;

private:
    CaptureContent content_;
    std::optional<QString> startError_;
    int* stopCounter_;
    QSize* outputSize_;
    FrameSink sink_;
    EndSink onEnd_;
    StreamEnd end_ = StreamEnd::Running;
};

// The platform and the writer factory in one object: tests hand it to the
// Recorder twice (`Recorder rec{backend, backend}`).
class FakeBackend : public CaptureBackend, public WriterFactory {
public:
    FakeBackend() {
        folder = dir.path();
        setOutputFolder(folder);
    }

    const char* name() const override { return "fake"; }
    ContentPicker& picker() override { return pickerFake; }
    InputMonitor& input() override { return inputFake; }
    PermissionChecks& permissions() override { return checks; }

    Result<std::unique_ptr<ScreenStream>> createStream(const CaptureContent& content) override {
        if (!streamCreatable) {
            return Result<std::unique_ptr<ScreenStream>>::failure(ErrorKind::Io, "no stream");
        }
        auto s = std::make_unique<FakeStream>(content, streamError, &streamStops, &streamSize);
        s->cursorInPicture = streamCursorInPicture;
        lastStream = s.get();
        return std::unique_ptr<ScreenStream>(std::move(s));
    }
    Result<std::unique_ptr<VideoWriter>> createWriter(const WriterSpec& spec) override {
        const QString& path = spec.path;
        writerSize = QSize(spec.width, spec.height);
        writerStart = spec.startTime;
        if (!writerCreatable) {
            return Result<std::unique_ptr<VideoWriter>>::failure(ErrorKind::Io, "no writer");
        }
        // With moviePath set the take "records" into that existing movie, so
        // tests can export a real file.
        // With copyMovieFrom set, that real movie is copied to the take's path
        // (a take in a library folder of its own).
        if (!copyMovieFrom.isEmpty()) {
            QFile::remove(path);
            QFile::copy(copyMovieFrom, path);
        }
        auto wr = !copyMovieFrom.isEmpty()
                      ? std::make_unique<FakeWriter>(path, writerCompletes, false)
                  : moviePath.isEmpty()
                      ? std::make_unique<FakeWriter>(path, writerCompletes)
                      : std::make_unique<FakeWriter>(moviePath, writerCompletes, false);
        wr->addSound(spec.sound);
        writerSound = spec.sound;
        lastWriter = wr.get();
        return std::unique_ptr<VideoWriter>(std::move(wr));
    }
    std::optional<double> movieDuration(const QString&) override { return duration; }
    double now() override { return useRealClock ? CaptureBackend::now() : clock.load(); } // any thread
    QString captureNote() override { return note; }
    // Emits a click as the platform would, stamped with the backend's clock.
    void click(QPointF position) { emit inputFake.clicked(position, now()); }

    QString file(const char* name) const { return QDir(folder).filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    QString folder;
    FakePicker pickerFake;
    FakeInput inputFake;
    FakeChecks checks;
    std::atomic<double> clock{1000};
    std::atomic<bool> useRealClock{false};
    bool streamCreatable = true;
    std::optional<QString> streamError;
    bool writerCreatable = true;
    bool writerCompletes = true;
    std::optional<double> duration = 12.43;
    QString moviePath; // when set, the take's movie is this file, left untouched
    QString copyMovieFrom; // when set, each take's movie is a copy of this file
    QString note;      // what the empty state says this desktop cannot do
    bool streamCursorInPicture = false; // streams whose pictures show the cursor
    QSize streamSize;
    QSize writerSize;
    double writerStart = -1;
    FakeStream* lastStream = nullptr; // valid while the recorder holds the stream
    int streamStops = 0;
    FakeWriter* lastWriter = nullptr;
    std::vector<SoundKind> writerSound; // the tracks the last writer was asked for
};

// A sound source on a thread of its own that delivers 10 ms blocks of a
// constant level every 10 ms, stamped from `anchor` by the frames delivered;
// after `endAfterBlocks` blocks (when positive) it ends by itself as a
// removed device would.
class FakeSoundSource : public SoundSource {
public:
    struct Settings {
        double anchor = 1000.0; // host seconds of the first frame
        bool anchorAtStart = false; // the first frame is stamped hostTime() at start()
        float level = 0.5f;     // every sample's value
        int endAfterBlocks = 0;
        std::optional<std::string> startError;
    };
    FakeSoundSource(SoundKind kind, Settings settings, std::atomic<int>* running)
        : kind_(kind), settings_(std::move(settings)), running_(running) {}
    ~FakeSoundSource() override { stop(); }
    SoundKind kind() const override { return kind_; }
    QString description() const override { return QStringLiteral("Fake device"); }
    Result<void> start(SoundSink* sink) override {
        if (settings_.startError) {
            return Result<void>::failure(ErrorKind::Io, *settings_.startError);
        }
        stopping_ = false;
        if (settings_.anchorAtStart) {
            settings_.anchor = hostTime();
        }
        ++*running_;
        started_ = true;
        thread_ = std::thread([this, sink] { run(sink); });
        return {};
    }
    void stop() override {
        stopping_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        if (started_) {
            started_ = false;
            --*running_;
        }
    }
    float takePeak() override { return peak_.exchange(0.0f); }

private:
    void run(SoundSink* sink) {
        constexpr int block = kSoundRate / 100;
        std::vector<float> samples(static_cast<std::size_t>(block) * kSoundChannels, settings_.level);
        for (int n = 0; !stopping_; ++n) {
            if (settings_.endAfterBlocks > 0 && n == settings_.endAfterBlocks) {
                sink->soundEnded(Error{ErrorKind::NotFound, "The device was removed."});
                return;
            }
            sink->soundArrived(samples.data(), block,
                               settings_.anchor + static_cast<double>(n) * block / kSoundRate);
            float seen = peak_.load();
            while (seen < std::fabs(settings_.level) &&
                   !peak_.compare_exchange_weak(seen, std::fabs(settings_.level))) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    SoundKind kind_;
    Settings settings_;
    std::atomic<int>* running_;
    std::atomic<bool> stopping_{false};
    bool started_ = false;
    std::atomic<float> peak_{0.0f};
    std::thread thread_;
};

// A sound server the tests set up: which sources open, how they behave.
class FakeSoundDevices : public SoundDevices {
public:
    std::vector<SoundDevice> inputs() override { return serverUp ? devices : std::vector<SoundDevice>{}; }
    Result<std::unique_ptr<SoundSource>> open(SoundKind kind, const QString& device) override {
        opened.emplace_back(kind, device);
        if (!serverUp) {
            return Result<std::unique_ptr<SoundSource>>::failure(ErrorKind::NotFound,
                                                                 "No sound server answered.");
        }
        if (auto it = openErrors.find(kind); it != openErrors.end()) {
            return Result<std::unique_ptr<SoundSource>>::failure(ErrorKind::NotFound, it->second);
        }
        return std::unique_ptr<SoundSource>(
            std::make_unique<FakeSoundSource>(kind, settings[kind], &running));
    }
    bool serverUp = true;
    std::vector<SoundDevice> devices = {
        {QStringLiteral("builtin"), QStringLiteral("Built-in Audio"), true},
        {QStringLiteral("usb-mic"), QStringLiteral("USB Microphone"), false}};
    std::map<SoundKind, std::string> openErrors;
    std::map<SoundKind, FakeSoundSource::Settings> settings;
    std::vector<std::pair<SoundKind, QString>> opened; // every open() asked for
    std::atomic<int> running{0};                       // sources started and not stopped
};

} // namespace orvane::test
