#include "ProjectFile.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>

namespace orvane {

namespace {

using json = nlohmann::json;

constexpr std::array<const char*, 5> kFormatNames{"original", "16:9", "1:1", "9:16", "4:5"};

const char* soundKindName(SoundKind kind) {
    return kind == SoundKind::Microphone ? "microphone" : "desktop";
}

// An object member of `parent`, made an object when it is missing or not one.
json& object(json& parent, const char* key) {
    json& v = parent[key];
    if (!v.is_object()) {
        v = json::object();
    }
    return v;
}

// Reads fields of one object, remembering the first problem.
class Reader {
public:
    explicit Reader(std::string& problem) : problem_(problem) {}

    void number(const json& o, const char* key, double& out, double lo, double hi) {
        if (!o.contains(key)) {
            return;
        }
        const json& v = o[key];
        if (!v.is_number() || !std::isfinite(v.get<double>()) || v.get<double>() < lo ||
            v.get<double>() > hi) {
            fail(std::string("\"") + key + "\" is not a number from " + short_(lo) + " to " +
                 short_(hi));
            return;
        }
        out = v.get<double>();
    }
    void integer(const json& o, const char* key, int& out, int lo, int hi) {
        double d = out;
        number(o, key, d, lo, hi);
        if (d != std::floor(d)) {
            fail(std::string("\"") + key + "\" is not a whole number");
            return;
        }
        out = static_cast<int>(d);
    }
    void boolean(const json& o, const char* key, bool& out) {
        if (!o.contains(key)) {
            return;
        }
        if (!o[key].is_boolean()) {
            fail(std::string("\"") + key + "\" is not true or false");
            return;
        }
        out = o[key].get<bool>();
    }
    void text(const json& o, const char* key, std::string& out) {
        if (!o.contains(key)) {
            return;
        }
        if (!o[key].is_string()) {
            fail(std::string("\"") + key + "\" is not a text");
            return;
        }
        out = o[key].get<std::string>();
    }
    // An object member, or null (a problem when present but not an object).
    const json* child(const json& o, const char* key) {
        if (!o.contains(key)) {
            return nullptr;
        }
        if (!o[key].is_object()) {
            fail(std::string("\"") + key + "\" is not an object");
            return nullptr;
        }
        return &o[key];
    }
    void fail(std::string why) {
        if (problem_.empty()) {
            problem_ = std::move(why);
        }
    }

private:
    static std::string short_(double v) {
        std::string s = std::to_string(v);
        s.erase(s.find_last_not_of('0') + 1);
        if (!s.empty() && s.back() == '.') {
            s.pop_back();
        }
        return s;
    }
    std::string& problem_;
};

constexpr double kMaxSeconds = 1e7;

} // namespace

const char* formatName(int formatIndex) {
    if (formatIndex < 0 || formatIndex >= static_cast<int>(kFormatNames.size())) {
        return kFormatNames[0];
    }
    return kFormatNames[static_cast<std::size_t>(formatIndex)];
}

int formatIndexOf(const std::string& name) {
    for (std::size_t i = 0; i < kFormatNames.size(); ++i) {
        if (name == kFormatNames[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool ProjectState::sameEdits(const ProjectState& o) const {
    return name == o.name && recordedAt == o.recordedAt && recording == o.recording &&
           movie == o.movie && clicks == o.clicks && track == o.track && duration == o.duration &&
           videoW == o.videoW && videoH == o.videoH && cursorInPicture == o.cursorInPicture &&
           soundTracks == o.soundTracks && zooms == o.zooms && trimStart == o.trimStart &&
           trimEnd == o.trimEnd && sections == o.sections && zoomMerge == o.zoomMerge && look == o.look;
}

std::string encodeProject(const ProjectState& s) {
    json root = json::object();
    if (!s.original.empty()) {
        json old = json::parse(s.original, nullptr, false);
        if (old.is_object()) {
            root = std::move(old);
        }
    }
    root["version"] = ProjectState::kVersion;
    root["name"] = s.name;

    json& take = object(root, "take");
    take["recordedAt"] = s.recordedAt;
    take["recording"] = s.recording;
    take["movie"] = s.movie;
    take["clicks"] = s.clicks;
    take["track"] = s.track;
    take["duration"] = s.duration;
    take["width"] = s.videoW;
    take["height"] = s.videoH;
    take["cursorInPicture"] = s.cursorInPicture;
    json tracks = json::array();
    for (SoundKind k : s.soundTracks) {
        tracks.push_back(soundKindName(k));
    }
    take["soundTracks"] = tracks;

    json zooms = json::array();
    for (const ZoomEffect& z : s.zooms) {
        json e = {{"id", z.id.toString()},
                  {"start", z.start},
                  {"end", z.end},
                  {"zoom", z.zoom},
                  {"smooth", z.smooth}};
        if (z.hasFocus()) {
            e["focus"] = {{"x", *z.fx}, {"y", *z.fy}};
        }
        zooms.push_back(std::move(e));
    }
    root["zooms"] = std::move(zooms);

    json& trim = object(root, "trim");
    trim["start"] = s.trimStart;
    trim["end"] = s.trimEnd;

    // Only a divided take writes its sections, so an undivided one's file
    // reads as before.
    if (!s.sections.empty()) {
        json list = json::array();
        for (const Section& c : s.sections) {
            list.push_back({{"start", c.start},
                            {"end", c.end},
                            {"cut", c.cut},
                            {"speed", c.speed},
                            {"muted", c.muted}});
        }
        root["sections"] = std::move(list);
    } else {
        root.erase("sections");
    }

    json& look = object(root, "look");
    look["format"] = formatName(s.look.formatIndex);
    look["background"] = s.look.background;
    look["padding"] = s.look.padding;
    look["corner-radius"] = s.look.cornerRadius;
    look["bg-blur"] = s.look.bgBlur;
    look["motion-blur"] = s.look.motionBlur;
    look["zoom"] = s.look.zoom;
    look["smoothness"] = s.look.smoothness;
    look["merge"] = s.zoomMerge;

    // Volumes as gains (1 = as recorded, up to 2), kept exactly as edited.
    json& sound = object(root, "sound");
    sound["microphoneVolume"] = s.look.sound.microphoneVolume;
    sound["desktopVolume"] = s.look.sound.desktopVolume;
    sound["microphoneMuted"] = s.look.sound.microphoneMuted;
    sound["desktopMuted"] = s.look.sound.desktopMuted;
    return root.dump(2) + "\n";
}

Result<ProjectState> decodeProject(const std::string& text) {
    using R = Result<ProjectState>;
    const json root = json::parse(text, nullptr, false);
    if (root.is_discarded()) {
        return R::failure(ErrorKind::Corrupt, "the project file is not valid JSON");
    }
    if (!root.is_object()) {
        return R::failure(ErrorKind::Corrupt, "the project file does not hold a JSON object");
    }
    if (!root.contains("version") || !root["version"].is_number_integer()) {
        return R::failure(ErrorKind::Corrupt, "the project file has no version");
    }
    const long long version = root["version"].get<long long>();
    if (version > ProjectState::kVersion) {
        return R::failure(ErrorKind::Unsupported,
                          "the project was saved by a newer Orvane (project version " +
                              std::to_string(version) + ")");
    }
    if (version < 1) {
        return R::failure(ErrorKind::Corrupt, "the project file's version is not valid");
    }

    ProjectState s;
    std::string problem;
    Reader read(problem);
    read.text(root, "name", s.name);
    if (const json* take = read.child(root, "take")) {
        read.text(*take, "recordedAt", s.recordedAt);
        read.boolean(*take, "recording", s.recording);
        read.text(*take, "movie", s.movie);
        read.text(*take, "clicks", s.clicks);
        read.text(*take, "track", s.track);
        read.number(*take, "duration", s.duration, 0, kMaxSeconds);
        read.integer(*take, "width", s.videoW, 0, 1 << 16);
        read.integer(*take, "height", s.videoH, 0, 1 << 16);
        read.boolean(*take, "cursorInPicture", s.cursorInPicture);
        if (take->contains("soundTracks")) {
            const json& tracks = (*take)["soundTracks"];
            if (!tracks.is_array()) {
                read.fail("\"soundTracks\" is not a list");
            } else {
                for (const json& t : tracks) {
                    if (t == "microphone") {
                        s.soundTracks.push_back(SoundKind::Microphone);
                    } else if (t == "desktop") {
                        s.soundTracks.push_back(SoundKind::Desktop);
                    } else {
                        read.fail("\"soundTracks\" names an unknown source");
                    }
                }
            }
        }
    }
    if (root.contains("zooms")) {
        const json& zooms = root["zooms"];
        if (!zooms.is_array()) {
            read.fail("\"zooms\" is not a list");
        } else {
            for (const json& e : zooms) {
                if (!e.is_object()) {
                    read.fail("a zoom segment is not an object");
                    break;
                }
                ZoomEffect z;
                std::string id;
                read.text(e, "id", id);
                if (auto parsed = Uuid::fromString(id)) {
                    z.id = *parsed;
                } else {
                    z.id = Uuid::random(); // a segment without a usable id gets a new one
                }
                read.number(e, "start", z.start, 0, kMaxSeconds);
                read.number(e, "end", z.end, 0, kMaxSeconds);
                read.number(e, "zoom", z.zoom, 1, 10);
                read.number(e, "smooth", z.smooth, 0, 1);
                if (const json* focus = read.child(e, "focus")) {
                    double fx = 0.5;
                    double fy = 0.5;
                    read.number(*focus, "x", fx, 0, 1);
                    read.number(*focus, "y", fy, 0, 1);
                    z.fx = fx;
                    z.fy = fy;
                }
                if (z.end < z.start) {
                    read.fail("a zoom segment ends before it starts");
                }
                s.zooms.push_back(z);
            }
        }
    }
    if (const json* trim = read.child(root, "trim")) {
        read.number(*trim, "start", s.trimStart, 0, kMaxSeconds);
        read.number(*trim, "end", s.trimEnd, 0, kMaxSeconds);
    }
    if (root.contains("sections")) {
        const json& list = root["sections"];
        if (!list.is_array()) {
            read.fail("\"sections\" is not a list");
        } else {
            for (const json& e : list) {
                if (!e.is_object()) {
                    read.fail("a section is not an object");
                    break;
                }
                Section c;
                read.number(e, "start", c.start, 0, kMaxSeconds);
                read.number(e, "end", c.end, 0, kMaxSeconds);
                read.boolean(e, "cut", c.cut);
                read.number(e, "speed", c.speed, sections::kMinSpeed, sections::kMaxSpeed);
                read.boolean(e, "muted", c.muted);
                if (c.end < c.start) {
                    read.fail("a section ends before it starts");
                }
                s.sections.push_back(c);
            }
        }
    }
    if (const json* look = read.child(root, "look")) {
        if (look->contains("format")) {
            std::string name;
            read.text(*look, "format", name);
            const int index = formatIndexOf(name);
            if (index < 0) {
                read.fail("\"format\" is not one of original, 16:9, 1:1, 9:16 and 4:5");
            } else {
                s.look.formatIndex = index;
            }
        }
        read.integer(*look, "background", s.look.background, 0, 31);
        read.number(*look, "padding", s.look.padding, 0, 0.45);
        read.number(*look, "corner-radius", s.look.cornerRadius, 0, 200);
        read.number(*look, "bg-blur", s.look.bgBlur, 0, 1);
        read.number(*look, "motion-blur", s.look.motionBlur, 0, 1);
        read.number(*look, "zoom", s.look.zoom, 1, 10);
        read.number(*look, "smoothness", s.look.smoothness, 0, 1);
        read.number(*look, "merge", s.zoomMerge, 0, 60);
    }
    if (const json* sound = read.child(root, "sound")) {
        read.number(*sound, "microphoneVolume", s.look.sound.microphoneVolume, 0,
                    SoundMix::kMaxVolume);
        read.number(*sound, "desktopVolume", s.look.sound.desktopVolume, 0, SoundMix::kMaxVolume);
        read.boolean(*sound, "microphoneMuted", s.look.sound.microphoneMuted);
        read.boolean(*sound, "desktopMuted", s.look.sound.desktopMuted);
    }
    if (!problem.empty()) {
        return R::failure(ErrorKind::Corrupt, "the project file is damaged: " + problem);
    }
    s.original = text;
    return s;
}

} // namespace orvane
