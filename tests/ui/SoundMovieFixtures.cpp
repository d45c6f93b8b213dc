#include "SoundMovieFixtures.h"

#include "tests/support/MovieFixtures.h"

#include <cmath>
#include <cstdio>

namespace orvane::test {

namespace {

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string toneSource(const ToneTrack& t, double seconds) {
    const std::string wave = "if(between(t," + number(t.toneStart) + "," + number(t.toneEnd) +
                             ")," + number(t.amplitude) + "*sin(2*PI*" + number(t.frequency) +
                             "*t),0)";
    return "-f lavfi -i \"aevalsrc='" + wave + "|" + wave +
           "':s=48000:c=stereo:d=" + number(seconds) + "\"";
}

std::string key(const ToneMovie& m) {
    std::string k = "tone-" + number(m.seconds);
    for (const ToneTrack& t : m.tracks) {
        k += std::string(t.kind == SoundKind::Microphone ? "-mic" : "-desk") + number(t.toneStart) +
             "-" + number(t.toneEnd) + "-" + number(t.amplitude) + "-" + number(t.frequency);
    }
    return k + ".mov";
}

} // namespace

std::string toneMovie(const ToneMovie& m) {
    return cachedFixture(key(m), [&](const std::string& out) {
        std::string args = "-f lavfi -i \"testsrc2=s=160x100:r=30:d=" + number(m.seconds) + "\"";
        for (const ToneTrack& t : m.tracks) {
            args += " " + toneSource(t, m.seconds);
        }
        args += " -map 0:v";
        for (std::size_t i = 0; i < m.tracks.size(); ++i) {
            args += " -map " + std::to_string(i + 1) + ":a";
        }
        args += " -c:v libx264 -g 15 -pix_fmt yuv420p -c:a aac -b:a 160k";
        for (std::size_t i = 0; i < m.tracks.size(); ++i) {
            args += " -metadata:s:a:" + std::to_string(i) + " handler_name=\"" +
                    std::string(soundTrackName(m.tracks[i].kind)) + "\"";
        }
        return runFfmpeg(args + " \"" + out + "\"");
    });
}

double rms(const float* samples, std::size_t frames) {
    if (frames == 0) {
        return 0;
    }
    double sum = 0;
    for (std::size_t i = 0; i < frames * kSoundChannels; ++i) {
        sum += static_cast<double>(samples[i]) * static_cast<double>(samples[i]);
    }
    return std::sqrt(sum / static_cast<double>(frames * kSoundChannels));
}

} // namespace orvane::test
