// The Recorder's sound: the chosen sources open, record into their tracks of
// the take's writer, show their levels, stop before the writer finishes, and
// whatever fails leaves the take standing with a sentence in its status.
#include "FakeBackend.h"

#include "app/Recorder.h"
#include "capture/SoundChoice.h"
#include "capture/ffmpeg/FfmpegWriterFactory.h"
#include "media/SoundReader.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

namespace {

const QString kDone = QStringLiteral("Done — 0 zooms over 12.4s");

class RecorderSoundTest : public ::testing::Test {
protected:
    void startRecording() {
        rec.start();
        CaptureContent c;
        c.area = QRectF(0, 0, 1280, 800);
        c.pixelScale = 1;
        emit backend.pickerFake.contentChosen(c);
        QCoreApplication::processEvents(); // beginCapture
        QCoreApplication::processEvents(); // startCapture
        ASSERT_EQ(rec.phase(), Phase::recording);
    }
    bool stopAndWait() {
        backend.lastStream->deliver(2);
        rec.stop();
        return QTest::qWaitFor([&] { return rec.phase() != Phase::recording && rec.status() != QStringLiteral("Finishing…"); }, 5000);
    }
    FakeSoundTrack* track(SoundKind kind) {
        auto& sound = backend.lastWriter->sound;
        auto it = sound.find(kind);
        return it == sound.end() ? nullptr : it->second.get();
    }
    static SoundChoice both(const QString& device = {}) {
        SoundChoice c;
        c.microphone = true;
        c.microphoneDevice = device;
        c.desktop = true;
        return c;
    }

    FakeBackend backend;
    FakeSoundDevices devices;
    Recorder rec{backend, backend};
};

} // namespace

TEST_F(RecorderSoundTest, WithBothSourcesOffNothingChanges) {
    rec.setSoundDevices(&devices);
    EXPECT_FALSE(rec.soundChoice().any());
    startRecording();
    EXPECT_TRUE(backend.writerSound.empty());
    EXPECT_TRUE(devices.opened.empty());
    EXPECT_TRUE(backend.lastWriter->sound.empty());
    EXPECT_FALSE(rec.recordsSound(SoundKind::Microphone));
    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.phase(), Phase::ready);
    EXPECT_EQ(rec.status(), kDone);
    EXPECT_EQ(rec.statusKind(), StatusKind::TakeReady);
    EXPECT_TRUE(rec.soundNotes().isEmpty());
    EXPECT_EQ(rec.microphoneLevel(), 0);
    EXPECT_EQ(rec.desktopLevel(), 0);
}

TEST_F(RecorderSoundTest, ChosenSourcesRecordIntoTheirTracksAndStopBeforeTheWriterFinishes) {
    rec.setSoundDevices(&devices);
    QSignalSpy choiceSpy(&rec, &Recorder::soundChoiceChanged);
    rec.setSoundChoice(both(QStringLiteral("usb-mic")));
    rec.setSoundChoice(both(QStringLiteral("usb-mic"))); // the same again: no signal
    EXPECT_EQ(choiceSpy.count(), 1);
    devices.settings[SoundKind::Microphone].level = 0.5f;
    devices.settings[SoundKind::Desktop].level = 0.25f;
    devices.settings[SoundKind::Desktop].anchor = 1000.004;
    QSignalSpy levelSpy(&rec, &Recorder::soundLevelsChanged);
    startRecording();

    // The microphone from the chosen device, the desktop from the default.
    ASSERT_EQ(devices.opened.size(), 2u);
    EXPECT_EQ(devices.opened[0], std::make_pair(SoundKind::Microphone, QStringLiteral("usb-mic")));
    EXPECT_EQ(devices.opened[1], std::make_pair(SoundKind::Desktop, QString()));
    EXPECT_EQ(backend.writerSound, (std::vector<SoundKind>{SoundKind::Microphone, SoundKind::Desktop}));
    EXPECT_EQ(devices.running.load(), 2);
    EXPECT_TRUE(rec.recordsSound(SoundKind::Microphone));
    EXPECT_TRUE(rec.recordsSound(SoundKind::Desktop));

    // Each source's blocks reach its own track, stamped as the source said.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return track(SoundKind::Microphone)->frames > 4800 && track(SoundKind::Desktop)->frames > 4800;
    }, 5000));
    EXPECT_DOUBLE_EQ(track(SoundKind::Microphone)->firstStamp.load(), 1000.0);
    EXPECT_DOUBLE_EQ(track(SoundKind::Desktop)->firstStamp.load(), 1000.004);

    // The meters follow each source's level, refreshed while recording.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::abs(rec.microphoneLevel() - 0.5) < 1e-6 && std::abs(rec.desktopLevel() - 0.25) < 1e-6;
    }, 3000));
    EXPECT_GE(levelSpy.count(), 1);

    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.phase(), Phase::ready);
    EXPECT_EQ(devices.running.load(), 0);
    EXPECT_EQ(track(SoundKind::Microphone)->afterFinish.load(), 0);
    EXPECT_EQ(track(SoundKind::Desktop)->afterFinish.load(), 0);
    EXPECT_EQ(backend.lastWriter->finishes.load(), 1);
    EXPECT_EQ(rec.status(), kDone);
    EXPECT_EQ(rec.statusKind(), StatusKind::TakeReady);
    // The meters rest once the take is over.
    EXPECT_EQ(rec.microphoneLevel(), 0);
    EXPECT_EQ(rec.desktopLevel(), 0);
    EXPECT_FALSE(rec.recordsSound(SoundKind::Microphone));
}

TEST_F(RecorderSoundTest, NoSoundServerRecordsThePictureAndSaysSo) {
    // No server known at all, then a server that does not answer: the same
    // one sentence, and a take without sound tracks.
    for (bool known : {false, true}) {
        SCOPED_TRACE(known);
        devices.serverUp = false;
        rec.setSoundDevices(known ? &devices : nullptr);
        rec.setSoundChoice(both());
        startRecording();
        EXPECT_TRUE(backend.writerSound.empty());
        ASSERT_TRUE(stopAndWait());
        EXPECT_EQ(rec.phase(), Phase::ready);
        EXPECT_EQ(rec.statusKind(), StatusKind::TakeReady);
        EXPECT_EQ(rec.status(), kDone + QStringLiteral(" — No sound server answered: recorded without sound"));
        EXPECT_EQ(rec.soundNotes().size(), 1);
    }
}

TEST_F(RecorderSoundTest, ASourceThatCannotOpenOrStartIsLeftOut) {
    rec.setSoundDevices(&devices);
    rec.setSoundChoice(both(QStringLiteral("gone-mic")));
    devices.openErrors[SoundKind::Microphone] = "The microphone “gone-mic” is not connected.";
    startRecording();
    EXPECT_EQ(backend.writerSound, std::vector<SoundKind>{SoundKind::Desktop});
    EXPECT_TRUE(rec.recordsSound(SoundKind::Desktop));
    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.status(), kDone + QStringLiteral(" — The microphone “gone-mic” is not connected: "
                                                   "recorded without microphone sound"));

    // Opened, but its stream cannot be set up.
    devices.openErrors.clear();
    devices.settings[SoundKind::Desktop].startError = "The desktop's sound cannot be read";
    startRecording();
    EXPECT_EQ(backend.writerSound, (std::vector<SoundKind>{SoundKind::Microphone, SoundKind::Desktop}));
    EXPECT_TRUE(rec.recordsSound(SoundKind::Microphone));
    EXPECT_FALSE(rec.recordsSound(SoundKind::Desktop));
    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.phase(), Phase::ready);
    EXPECT_EQ(rec.status(), kDone + QStringLiteral(" — The desktop's sound cannot be read: recorded "
                                                   "without desktop sound"));
    EXPECT_EQ(devices.running.load(), 0);
}

TEST_F(RecorderSoundTest, ASourceThatEndsMidTakeIsNamedWithItsTime) {
    rec.setSoundDevices(&devices);
    rec.setSoundChoice(both());
    devices.settings[SoundKind::Microphone].endAfterBlocks = 124; // 1.24 s of sound
    startRecording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return track(SoundKind::Microphone)->ends.load() == 1; }, 5000));
    QCoreApplication::processEvents(); // the end, posted from the source's thread
    // The take goes on with the desktop's sound.
    EXPECT_EQ(rec.phase(), Phase::recording);
    const int desktopBefore = track(SoundKind::Desktop)->frames;
    ASSERT_TRUE(QTest::qWaitFor([&] { return track(SoundKind::Desktop)->frames > desktopBefore; }, 3000));
    ASSERT_TRUE(stopAndWait());
    EXPECT_EQ(rec.phase(), Phase::ready);
    EXPECT_EQ(rec.statusKind(), StatusKind::TakeReady);
    EXPECT_EQ(rec.status(), kDone + QStringLiteral(" — The microphone was disconnected at 1.2 s: the "
                                                   "rest of the take has no microphone sound"));
}

TEST_F(RecorderSoundTest, DiscardWhileRecordingStopsTheSources) {
    rec.setSoundDevices(&devices);
    rec.setSoundChoice(both());
    startRecording();
    ASSERT_EQ(devices.running.load(), 2);
    rec.discard();
    EXPECT_EQ(devices.running.load(), 0);
    EXPECT_EQ(rec.phase(), Phase::idle);
}

TEST_F(RecorderSoundTest, AStartThatFailsReleasesTheSources) {
    rec.setSoundDevices(&devices);
    rec.setSoundChoice(both());
    backend.streamError = QStringLiteral("no screen");
    rec.start();
    CaptureContent c;
    c.area = QRectF(0, 0, 640, 400);
    emit backend.pickerFake.contentChosen(c);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.statusKind(), StatusKind::StartFailed);
    EXPECT_EQ(devices.running.load(), 0);
    EXPECT_FALSE(rec.recordsSound(SoundKind::Microphone));
}

TEST(SoundChoiceTest, IsRememberedBetweenRuns) {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("OrvaneTests"));
    QCoreApplication::setApplicationName(QStringLiteral("sound-choice"));
    saveSoundChoice(SoundChoice{});
    EXPECT_EQ(loadSoundChoice(), SoundChoice{});
    SoundChoice c;
    c.microphone = true;
    c.microphoneDevice = QStringLiteral("alsa_input.usb-mic");
    saveSoundChoice(c);
    EXPECT_EQ(loadSoundChoice(), c);
    EXPECT_EQ(loadSoundChoice().kinds(), std::vector<SoundKind>{SoundKind::Microphone});
    c.desktop = true;
    c.microphone = false;
    saveSoundChoice(c);
    EXPECT_EQ(loadSoundChoice(), c);
    EXPECT_EQ(loadSoundChoice().microphoneDevice, QStringLiteral("alsa_input.usb-mic"));
}

TEST(RecorderSoundMovieTest, ATakeWithSoundHasATrackPerSourceInItsMovie) {
    FakeBackend backend;
    backend.useRealClock = true;
    FakeSoundDevices devices;
    for (SoundKind kind : kSoundKinds) {
        devices.settings[kind].anchorAtStart = true;
    }
    FfmpegWriterFactory writers;
    Recorder rec(backend, writers);
    rec.setSoundDevices(&devices);
    SoundChoice choice;
    choice.microphone = true;
    choice.desktop = true;
    rec.setSoundChoice(choice);
    rec.start();
    CaptureContent c;
    c.area = QRectF(0, 0, 320, 200);
    emit backend.pickerFake.contentChosen(c);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.phase() == Phase::recording; }, 3000));
    for (int i = 0; i < 30; ++i) {
        backend.lastStream->deliver(1);
        QTest::qWait(30);
    }
    rec.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.phase() == Phase::ready; }, 10000)) << rec.status().toStdString();
    EXPECT_EQ(rec.statusKind(), StatusKind::TakeReady);
    EXPECT_TRUE(rec.soundNotes().isEmpty());

    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-show_streams", "-of", "json", rec.videoURL()});
    ASSERT_TRUE(probe.waitForFinished(30000));
    const QJsonArray streams =
        QJsonDocument::fromJson(probe.readAllStandardOutput()).object()["streams"].toArray();
    ASSERT_EQ(streams.size(), 3);
    EXPECT_EQ(streams[0].toObject()["codec_type"].toString(), QStringLiteral("video"));
    EXPECT_EQ(streams[1].toObject()["tags"].toObject()["handler_name"].toString(),
              QStringLiteral("Orvane microphone"));
    EXPECT_EQ(streams[2].toObject()["tags"].toObject()["handler_name"].toString(),
              QStringLiteral("Orvane desktop sound"));
    // About a second of each source's sound, read back by the program's reader.
    auto reader = SoundReader::open(rec.videoURL().toStdString());
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader.value()->has(SoundKind::Microphone));
    EXPECT_TRUE(reader.value()->has(SoundKind::Desktop));
    EXPECT_GT(reader.value()->duration(), 0.6);
}
