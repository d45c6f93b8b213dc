// The pulse sound backend against a real sound server of the test's own
// (tests/support/with-sound.sh): its inputs, what the microphone and the
// desktop sources hear and when, and how they end when their device or the
// server goes away.

#include "PulseTestSupport.h"

#include "capture/HostClock.h"
#include "capture/pulse/PulseSoundDevices.h"
#include "capture/pulse/PulseSoundSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include <signal.h>

namespace orvane {
namespace {

using testing::RecordingSink;

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void sleepFor(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

const std::string& pulseName(const SoundSource& source) {
    return dynamic_cast<const pulse::PulseSoundSource&>(source).sourceName();
}

std::unique_ptr<SoundSource> openOrFail(SoundKind kind, const QString& device = {}) {
    PulseSoundDevices devices;
    auto opened = devices.open(kind, device);
    EXPECT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error());
    return opened.ok() ? std::move(opened.value()) : nullptr;
}

// Every block starts where the one before ended, to well under a frame.
void expectContinuous(const std::vector<RecordingSink::Block>& blocks) {
    ASSERT_FALSE(blocks.empty());
    for (std::size_t i = 1; i < blocks.size(); ++i) {
        const double expected = blocks[i - 1].hostTime + blocks[i - 1].frames / static_cast<double>(kSoundRate);
        ASSERT_NEAR(blocks[i].hostTime, expected, 1e-7) << "block " << i;
    }
}

// ---------------------------------------------------------------- devices

TEST(PulseDevices, InputsAreTheRealInputsWithTheDefaultMarked) {
    PulseSoundDevices devices;
    const std::vector<SoundDevice> inputs = devices.inputs();
    EXPECT_TRUE(devices.error().empty()) << devices.error();
    int defaults = 0;
    bool sawMic = false;
    for (const SoundDevice& input : inputs) {
        EXPECT_FALSE(input.id.endsWith(".monitor")) << input.id.toStdString();
        defaults += input.isDefault ? 1 : 0;
        if (input.id.toStdString() == env("ORVANE_TEST_MIC")) {
            sawMic = true;
            EXPECT_TRUE(input.isDefault);
            EXPECT_EQ(input.description.toStdString(), "Test-microphone");
        }
    }
    EXPECT_TRUE(sawMic);
    EXPECT_EQ(defaults, 1);
}

TEST(PulseDevices, TheMicrophoneIsTheDefaultInputOrTheOneChosen) {
    const auto byDefault = openOrFail(SoundKind::Microphone);
    ASSERT_NE(byDefault, nullptr);
    EXPECT_EQ(byDefault->kind(), SoundKind::Microphone);
    EXPECT_EQ(pulseName(*byDefault), env("ORVANE_TEST_MIC"));
    EXPECT_EQ(byDefault->description().toStdString(), "Test-microphone");

    // A monitor can be chosen by name too (some users record a sink that way).
    const std::string monitor = env("ORVANE_TEST_VOICE") + ".monitor";
    const auto chosen = openOrFail(SoundKind::Microphone, QString::fromStdString(monitor));
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(pulseName(*chosen), monitor);

    PulseSoundDevices devices;
    auto missing = devices.open(SoundKind::Microphone, "no_such_microphone");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.errorKind(), ErrorKind::NotFound);
    EXPECT_NE(missing.error().find("no_such_microphone"), std::string::npos) << missing.error();
}

TEST(PulseDevices, TheDesktopIsTheDefaultOutputsMonitorWhicheverItIs) {
    const auto desktop = openOrFail(SoundKind::Desktop, "ignored");
    ASSERT_NE(desktop, nullptr);
    EXPECT_EQ(desktop->kind(), SoundKind::Desktop);
    EXPECT_EQ(pulseName(*desktop), env("ORVANE_TEST_SPEAKERS") + ".monitor");
    EXPECT_EQ(desktop->description().toStdString(), "Speakers");

    // Another default output: the desktop follows it.
    ASSERT_EQ(std::system(("pactl set-default-sink " + env("ORVANE_TEST_VOICE")).c_str()), 0);
    const auto moved = openOrFail(SoundKind::Desktop);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(pulseName(*moved), env("ORVANE_TEST_VOICE") + ".monitor");
    ASSERT_EQ(std::system(("pactl set-default-sink " + env("ORVANE_TEST_SPEAKERS")).c_str()), 0);
}

// ---------------------------------------------------------------- capture

// Records `kind` while a tone plays into `sink`; checks the tone is in what
// it heard, with continuous stamps. Returns the source's peak after the tone.
void expectHearsTone(SoundKind kind, const std::string& sink) {
    RecordingSink heard;
    auto source = openOrFail(kind);
    ASSERT_NE(source, nullptr);
    const double started = hostTime();
    ASSERT_TRUE(source->start(&heard).ok());
    ASSERT_TRUE(heard.waitForFrames(kSoundRate / 10, 3.0)) << "nothing arrived";
    EXPECT_LT(source->takePeak(), 0.01F); // silence so far
    const std::string tone = testing::writeTone("hears", 440.0, 0.5, 0.6);
    ASSERT_TRUE(testing::playInto(sink, tone));
    const float peak = source->takePeak();
    sleepFor(0.3);
    source->stop();
    source->stop(); // idempotent
    std::remove(tone.c_str());

    EXPECT_NEAR(peak, 0.5F, 0.02F);
    EXPECT_LT(source->takePeak(), 0.01F) << "the peak is taken, not kept";
    const auto blocks = heard.blocks();
    expectContinuous(blocks);
    EXPECT_EQ(heard.endings(), 0) << heard.endMessage();
    // The first frame was captured after we asked and before it arrived.
    EXPECT_GT(blocks.front().hostTime, started - 0.1);
    EXPECT_LT(blocks.front().hostTime, blocks.front().arrivedAt);
    // Blocks of about 10 ms, the meter's and the latency's need.
    EXPECT_LE(blocks[blocks.size() / 2].frames, kSoundRate / 40);

    const std::vector<float> samples = heard.samples();
    const long onset = testing::firstFrameAbove(samples, 0.25F);
    ASSERT_GE(onset, 0) << "the tone is not in what was recorded";
    const long from = onset + kSoundRate / 10;
    const long to = onset + kSoundRate / 2;
    EXPECT_NEAR(testing::rmsOf(samples, from, to), 0.5 / std::sqrt(2.0), 0.01);
    EXPECT_NEAR(testing::frequencyOf(samples, from, to), 440.0, 3.0);
    // Silence up to the tone. The server may drop the tone's first samples
    // from the monitor (when it rewinds the sink for the new stream), so the
    // sound may start mid-cycle below the onset's threshold: it must reach
    // the onset within one cycle of 440 Hz, and nothing may come before it.
    const long sound = testing::firstFrameAbove(samples, 1e-3F);
    EXPECT_LE(onset - sound, kSoundRate / 440 + 1) << "noise before the tone";
    EXPECT_LT(testing::rmsOf(samples, 0, sound), 1e-4) << "noise before the tone";
}

TEST(PulseCapture, TheMicrophoneHearsWhatIsSpokenIntoIt) {
    expectHearsTone(SoundKind::Microphone, env("ORVANE_TEST_VOICE"));
}

TEST(PulseCapture, TheDesktopHearsWhatIsPlayedOnTheSpeakers) {
    expectHearsTone(SoundKind::Desktop, env("ORVANE_TEST_SPEAKERS"));
}

TEST(PulseCapture, TheMicrophoneDoesNotHearTheSpeakers) {
    RecordingSink heard;
    auto mic = openOrFail(SoundKind::Microphone);
    ASSERT_NE(mic, nullptr);
    ASSERT_TRUE(mic->start(&heard).ok());
    const std::string tone = testing::writeTone("apart", 440.0, 0.5, 0.3);
    ASSERT_TRUE(testing::playInto(env("ORVANE_TEST_SPEAKERS"), tone));
    sleepFor(0.1);
    EXPECT_LT(mic->takePeak(), 0.001F);
    mic->stop();
    std::remove(tone.c_str());
    EXPECT_LT(testing::rmsOf(heard.samples(), 0, 1L << 30), 1e-4);
}

TEST(PulseCapture, StampsKeepPaceWithTheHostClock) {
    // Five seconds: the stamps follow the sample count, and the sample count
    // follows the host clock (the test server's sinks run on it), so the last
    // stamp is where the host clock says, give or take the latency.
    RecordingSink heard;
    auto source = openOrFail(SoundKind::Microphone);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(source->start(&heard).ok());
    sleepFor(5.0);
    source->stop();
    const auto blocks = heard.blocks();
    expectContinuous(blocks);
    std::size_t prompt = 0;
    double lastSecondBest = 1.0;
    const double lastSecond = blocks.back().arrivedAt - 1.0;
    for (const auto& block : blocks) {
        // Never stamped later than it arrived (a frame cannot arrive before it
        // was captured)...
        const double end = block.hostTime + block.frames / static_cast<double>(kSoundRate);
        ASSERT_LE(end, block.arrivedAt + 0.002);
        // ...and mostly handed over soon after (a busy machine may hold a few
        // back; they keep their stamps).
        prompt += end > block.arrivedAt - 0.060 ? 1 : 0;
        if (block.arrivedAt > lastSecond) {
            lastSecondBest = std::min(lastSecondBest, block.arrivedAt - end);
        }
    }
    EXPECT_GT(prompt, blocks.size() * 8 / 10);
    // Still on the host clock at the end: no drift over the five seconds.
    EXPECT_LT(lastSecondBest, 0.030);
}

// A sink that is slow once (a busy machine) loses nothing: the server keeps
// the frames, they come late with their own stamps, and no silence is made up.
class StallingSink : public RecordingSink {
public:
    void soundArrived(const float* samples, int frames, double hostTime) override {
        RecordingSink::soundArrived(samples, frames, hostTime);
        if (!stalled_ && std::fabs(samples[0]) > 0.1F) {
            stalled_ = true;
            sleepFor(0.4);
        }
    }

private:
    bool stalled_ = false;
};

TEST(PulseCapture, ASlowSinkLosesNothingAndGetsNoSilence) {
    StallingSink heard;
    auto source = openOrFail(SoundKind::Microphone);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(source->start(&heard).ok());
    ASSERT_TRUE(heard.waitForFrames(kSoundRate / 10, 3.0));
    const std::string tone = testing::writeTone("stall", 440.0, 0.5, 1.5);
    ASSERT_TRUE(testing::playInto(env("ORVANE_TEST_VOICE"), tone));
    sleepFor(0.3);
    source->stop();
    std::remove(tone.c_str());
    expectContinuous(heard.blocks());
    const std::vector<float> samples = heard.samples();
    const long onset = testing::firstFrameAbove(samples, 0.25F);
    ASSERT_GE(onset, 0);
    // The tone is whole: 1.5 s long, and no stretch of silence inside it.
    long last = onset;
    long longestQuiet = 0;
    long quiet = 0;
    for (long i = onset; i < static_cast<long>(samples.size()) / kSoundChannels; ++i) {
        if (std::fabs(samples[static_cast<std::size_t>(i * kSoundChannels)]) > 0.05F) {
            last = i;
            quiet = 0;
        } else if (++quiet > longestQuiet && i < onset + kSoundRate) {
            longestQuiet = quiet;
        }
    }
    EXPECT_LT(longestQuiet, 10) << "silence inside the tone";
    EXPECT_NEAR(static_cast<double>(last - onset) / kSoundRate, 1.5, 0.005);
}

// The beacon plays a 1 kHz tone whose first sample the server plays at the
// host time the beacon prints; the source's stamp of the onset must agree.
void expectOnsetAtTheBeacon(SoundKind kind, const std::string& sink) {
    const std::string beacon = env("ORVANE_SYNC_BEACON");
    ASSERT_FALSE(beacon.empty());
    RecordingSink heard;
    auto source = openOrFail(kind);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(source->start(&heard).ok());
    // An output's monitor may take a moment to deliver its first frames
    // (the server settles its latency first); the beacon starts after that.
    ASSERT_TRUE(heard.waitForFrames(kSoundRate / 10, 5.0));
    // ORVANE_TEST_BEACON_AT overrides the flash times (e.g. "1,61" for the
    // drift over a minute).
    const std::string times = env("ORVANE_TEST_BEACON_AT").empty() ? "1,2.5" : env("ORVANE_TEST_BEACON_AT");
    const std::string out = testing::shell(beacon + " --sink " + sink + " --at " + times);
    sleepFor(0.3);
    source->stop();
    std::vector<double> flashes;
    std::size_t at = 0;
    while ((at = out.find("flash ", at)) != std::string::npos) {
        const std::size_t time = out.find(" at ", at);
        if (time == std::string::npos) {
            break;
        }
        flashes.push_back(std::strtod(out.c_str() + time + 4, nullptr));
        at = time;
    }
    ASSERT_EQ(flashes.size(), static_cast<std::size_t>(std::count(times.begin(), times.end(), ',') + 1)) << out;

    const auto blocks = heard.blocks();
    const std::vector<float> samples = heard.samples();
    expectContinuous(blocks);
    const double origin = blocks.front().hostTime;
    for (double flash : flashes) {
        // The first loud frame from a little before the flash on.
        const long from = std::max(0L, static_cast<long>((flash - 0.3 - origin) * kSoundRate));
        const std::vector<float> tail(samples.begin() + from * kSoundChannels, samples.end());
        const long onset = testing::firstFrameAbove(tail, 0.1F);
        ASSERT_GE(onset, 0);
        const double heardAt = origin + static_cast<double>(from + onset) / kSoundRate;
        std::printf("%s: flash at %.6f, tone stamped at %.6f: %+.1f ms\n",
                    kind == SoundKind::Microphone ? "microphone" : "desktop", flash, heardAt, (heardAt - flash) * 1e3);
        EXPECT_NEAR(heardAt, flash, 0.020);
    }
}

TEST(PulseCapture, TheStampedOnsetIsWhenTheToneWasPlayedIntoTheMicrophone) {
    expectOnsetAtTheBeacon(SoundKind::Microphone, env("ORVANE_TEST_VOICE"));
}

TEST(PulseCapture, TheStampedOnsetIsWhenTheToneWasPlayedOnTheSpeakers) {
    expectOnsetAtTheBeacon(SoundKind::Desktop, env("ORVANE_TEST_SPEAKERS"));
}

// ---------------------------------------------------------------- failures

// Unloads the module behind `device` while `kind` records it.
void expectEndsWhenUnloaded(SoundKind kind, const std::string& device, const std::string& sentence) {
    RecordingSink heard;
    auto source = openOrFail(kind);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(source->start(&heard).ok());
    ASSERT_TRUE(heard.waitForFrames(kSoundRate / 5, 3.0));
    const int module = testing::moduleOf(device);
    ASSERT_GE(module, 0) << device;
    ASSERT_EQ(std::system(("pactl unload-module " + std::to_string(module)).c_str()), 0);
    ASSERT_TRUE(heard.waitForEnd(3.0)) << "no end reported";
    const std::size_t count = heard.blocks().size();
    sleepFor(0.3);
    EXPECT_EQ(heard.blocks().size(), count) << "sound after the end";
    EXPECT_EQ(heard.endings(), 1);
    EXPECT_EQ(heard.endMessage(), sentence);
    source->stop();
    EXPECT_EQ(heard.endings(), 1) << "stop reported the end again";
}

TEST(PulseFailures, UnpluggedMicrophoneEndsOnce) {
    expectEndsWhenUnloaded(SoundKind::Microphone, env("ORVANE_TEST_MIC"), "The microphone was disconnected.");
}

TEST(PulseFailures, RemovedOutputEndsTheDesktopOnce) {
    expectEndsWhenUnloaded(SoundKind::Desktop, env("ORVANE_TEST_SPEAKERS"),
                           "The desktop sound stopped: its output device went away.");
}

TEST(PulseFailures, ServerKilledMidTake) {
    RecordingSink micHeard;
    RecordingSink desktopHeard;
    auto mic = openOrFail(SoundKind::Microphone);
    auto desktop = openOrFail(SoundKind::Desktop);
    auto unstarted = openOrFail(SoundKind::Microphone);
    ASSERT_NE(mic, nullptr);
    ASSERT_NE(desktop, nullptr);
    ASSERT_NE(unstarted, nullptr);
    ASSERT_TRUE(mic->start(&micHeard).ok());
    ASSERT_TRUE(desktop->start(&desktopHeard).ok());
    ASSERT_TRUE(micHeard.waitForFrames(kSoundRate / 5, 3.0));
    const int pid = std::atoi(env("ORVANE_TEST_PULSE_PID").c_str());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(micHeard.waitForEnd(5.0));
    ASSERT_TRUE(desktopHeard.waitForEnd(5.0));
    EXPECT_EQ(micHeard.endMessage(), "The sound server stopped; the microphone is no longer recorded.");
    EXPECT_EQ(desktopHeard.endMessage(), "The sound server stopped; the desktop sound is no longer recorded.");
    const double before = hostTime();
    mic->stop();
    desktop.reset(); // the destructor stops too
    EXPECT_LT(hostTime() - before, 1.0);
    EXPECT_EQ(micHeard.endings(), 1);
    EXPECT_EQ(desktopHeard.endings(), 1);
    expectContinuous(micHeard.blocks());

    // A source opened before the server died cannot start; it says so.
    RecordingSink never;
    const Result<void> late = unstarted->start(&never);
    ASSERT_FALSE(late.ok());
    EXPECT_NE(late.error().find("sound server"), std::string::npos) << late.error();
    unstarted.reset();
    EXPECT_TRUE(never.blocks().empty());
    EXPECT_EQ(never.endings(), 0);

    // Nothing answers now: opening fails with a sentence, and quickly.
    PulseSoundDevices devices;
    const double asked = hostTime();
    auto again = devices.open(SoundKind::Microphone, {});
    EXPECT_FALSE(again.ok());
    EXPECT_TRUE(devices.inputs().empty());
    EXPECT_FALSE(devices.error().empty());
    EXPECT_LT(hostTime() - asked, 8.0);
}

} // namespace
} // namespace orvane
