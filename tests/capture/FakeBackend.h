#pragma once

// Test doubles of the platform behind the Recorder: a picker, an input monitor,
// permission checks, streams and writers that the tests drive by hand, and a
// clock the tests set.
#include "capture/CaptureBackend.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>

namespace orvane::test {

class FakePicker : public ContentPicker {
public:
    void setActive(bool a) override { active = a; }
    void present() override { ++presented; }
    bool active = false;
    int presented = 0;
};

class FakeInput : public InputMonitor {
public:
    bool startClicks() override {
        listening = canListen;
        return canListen;
    }
    void stopClicks() override { listening = false; }
    std::optional<CursorReading> readCursor() override {
        ++reads;
        return cursor;
    }
    bool canListen = true;
    bool listening = false;
    int reads = 0;
    std::optional<CursorReading> cursor = CursorReading{{10, 10}, false};
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
    void append(const VideoFrame&) override { ++frames; }
    bool finish() override {
        ++finishes;
        return frames > 0 && complete_;
    }
    QString path() const override { return path_; }
    WriterCounts counts() const override { return {frames, frames, 0}; }
    std::atomic<int> frames{0};
    std::atomic<int> finishes{0};

private:
    QString path_;
    bool complete_;
};

class FakeStream : public ScreenStream {
public:
    FakeStream(std::optional<QString> startError, int* stopCounter)
        : startError_(std::move(startError)), stopCounter_(stopCounter) {}
    ~FakeStream() override {
        if (running) {
            ++*stopCounter_; // destroyed while running counts as stopped, but never silently
            leakedRunning = true;
        }
    }
    std::optional<QString> start(FrameSink sink) override {
        if (startError_) {
            return startError_;
        }
        sink_ = std::move(sink);
        running = true;
        return std::nullopt;
    }
    void stop() override {
        if (running) {
            ++*stopCounter_;
        }
        running = false;
    }
    // Delivers n frames as the capture thread would.
    void deliver(int n) {
        static const std::uint8_t pixel[4] = {};
        for (int i = 0; i < n && running; ++i) {
            sink_(VideoFrame{pixel, 1, 1, 4, 0});
        }
    }
    bool running = false;
    inline static bool leakedRunning = false;

private:
    std::optional<QString> startError_;
    int* stopCounter_;
    FrameSink sink_;
};

class FakeBackend : public CaptureBackend {
public:
    FakeBackend() { folder = dir.path(); }

    ContentPicker& picker() override { return pickerFake; }
    InputMonitor& input() override { return inputFake; }
    PermissionChecks& permissions() override { return checks; }

    std::unique_ptr<ScreenStream> createStream(const CaptureContent&, QSize size) override {
        streamSize = size;
        if (!streamCreatable) {
            return nullptr;
        }
        auto s = std::make_unique<FakeStream>(streamError, &streamStops);
        lastStream = s.get();
        return s;
    }
    std::unique_ptr<VideoWriter> createWriter(const QString& path, int w, int h,
                                              double start) override {
        writerSize = QSize(w, h);
        writerStart = start;
        if (!writerCreatable) {
            return nullptr;
        }
        // With moviePath set the take "records" into that existing movie, so
        // tests can export a real file.
        auto wr = moviePath.isEmpty()
                      ? std::make_unique<FakeWriter>(path, writerCompletes)
                      : std::make_unique<FakeWriter>(moviePath, writerCompletes, false);
        lastWriter = wr.get();
        return wr;
    }
    std::optional<double> movieDuration(const QString&) override { return duration; }
    double now() override { return useRealClock ? CaptureBackend::now() : clock; }
    QString outputFolder() override { return folder; }

    QString file(const char* name) const { return QDir(folder).filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    QString folder;
    FakePicker pickerFake;
    FakeInput inputFake;
    FakeChecks checks;
    double clock = 1000;
    bool useRealClock = false;
    bool streamCreatable = true;
    std::optional<QString> streamError;
    bool writerCreatable = true;
    bool writerCompletes = true;
    std::optional<double> duration = 12.43;
    QString moviePath; // when set, the take's movie is this file, left untouched
    QSize streamSize;
    QSize writerSize;
    double writerStart = -1;
    FakeStream* lastStream = nullptr; // valid while the recorder holds the stream
    int streamStops = 0;
    FakeWriter* lastWriter = nullptr;
};

} // namespace orvane::test
