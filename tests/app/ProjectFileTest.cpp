// The project file: every field read back as written, unknown fields kept,
// and damaged or newer files refused with a reason.
#include "app/ProjectFile.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

using namespace orvane;

namespace {

ProjectState everyField() {
    ProjectState s;
    s.name = "Demo “take” ✓";
    s.recordedAt = "2026-12-09T14:05:12";
    s.recording = false;
    s.duration = 12.4321;
    s.videoW = 1920;
    s.videoH = 1200;
    s.cursorInPicture = true;
    s.soundTracks = {SoundKind::Microphone, SoundKind::Desktop};
    ZoomEffect a;
    a.id = Uuid::random();
    a.start = 0.1 + 0.2; // not exactly representable: read back bit for bit
    a.end = 2.75;
    a.zoom = 2.25;
    a.smooth = 0.35;
    ZoomEffect b;
    b.id = Uuid::random();
    b.start = 5;
    b.end = 7.5;
    b.fx = 0.125;
    b.fy = 0.8;
    s.zooms = {a, b};
    s.trimStart = 0.7;
    s.trimEnd = 11.9;
    Section kept;
    kept.end = 3.3;
    Section cut;
    cut.start = 3.3;
    cut.end = 6.1;
    cut.cut = true;
    Section fast;
    fast.start = 6.1;
    fast.end = 12.4321;
    fast.speed = 1.0 / 3 + 1; // read back bit for bit
    fast.muted = true;
    s.sections = {kept, cut, fast};
    s.zoomMerge = 1.25;
    s.look.formatIndex = 3;
    s.look.background = 17;
    s.look.padding = 0.31;
    s.look.cornerRadius = 24.5;
    s.look.bgBlur = 0.4;
    s.look.motionBlur = 0.6;
    s.look.zoom = 3.1;
    s.look.smoothness = 0.15;
    s.look.sound.microphoneVolume = 0.7;
    s.look.sound.desktopVolume = 1.85;
    s.look.sound.microphoneMuted = true;
    return s;
}

} // namespace

TEST(ProjectFile, EveryFieldRoundTripsExactly) {
    const ProjectState s = everyField();
    const std::string text = encodeProject(s);
    auto back = decodeProject(text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_TRUE(back->sameEdits(s));
    EXPECT_EQ(back->zooms, s.zooms);
    EXPECT_EQ(back->look, s.look);
    EXPECT_EQ(back->soundTracks, s.soundTracks);
    EXPECT_EQ(back->sections, s.sections);
    // Written again, the same text.
    EXPECT_EQ(encodeProject(back.value()), text);
    // The look carries orvane-render's option names and units.
    const auto json = nlohmann::json::parse(text);
    EXPECT_EQ(json["version"], ProjectState::kVersion);
    EXPECT_EQ(json["look"]["format"], "9:16");
    EXPECT_DOUBLE_EQ(json["look"]["padding"].get<double>(), 0.31);
    EXPECT_DOUBLE_EQ(json["look"]["corner-radius"].get<double>(), 24.5);
    EXPECT_DOUBLE_EQ(json["look"]["merge"].get<double>(), 1.25);
    EXPECT_EQ(json["zooms"][1]["focus"]["x"], 0.125);
    EXPECT_FALSE(json["zooms"][0].contains("focus"));
    EXPECT_EQ(json["sections"][1]["cut"], true);
    // An undivided take writes no sections, as files did before them.
    ProjectState undivided = s;
    undivided.sections.clear();
    EXPECT_FALSE(nlohmann::json::parse(encodeProject(undivided)).contains("sections"));
    undivided.original = text;
    EXPECT_FALSE(nlohmann::json::parse(encodeProject(undivided)).contains("sections"))
        << "restoring the whole take drops the old list";
}

TEST(ProjectFile, FieldsItDoesNotKnowAreKeptWhenRewritten) {
    nlohmann::json j = nlohmann::json::parse(encodeProject(everyField()));
    j["webcam"] = {{"shape", "circle"}, {"size", 0.2}};
    j["look"]["cursorScale"] = 2.5;
    j["take"]["camera"] = "front";
    auto read = decodeProject(j.dump());
    ASSERT_TRUE(read) << read.error();
    ProjectState edited = read.value();
    edited.look.padding = 0.2;
    edited.zooms.pop_back();
    const auto rewritten = nlohmann::json::parse(encodeProject(edited));
    EXPECT_EQ(rewritten["webcam"]["shape"], "circle");
    EXPECT_EQ(rewritten["look"]["cursorScale"], 2.5);
    EXPECT_EQ(rewritten["take"]["camera"], "front");
    EXPECT_EQ(rewritten["look"]["padding"], 0.2);
    EXPECT_EQ(rewritten["zooms"].size(), 1u);
}

TEST(ProjectFile, DamagedNewerAndWrongFilesAreRefusedWithAReason) {
    struct Case {
        std::string text;
        ErrorKind kind;
        std::string says;
    };
    const Case cases[] = {
        {"", ErrorKind::Corrupt, "not valid JSON"},
        {"{\"version\":1,\"zooms\":[", ErrorKind::Corrupt, "not valid JSON"},
        {"[1,2]", ErrorKind::Corrupt, "does not hold a JSON object"},
        {"{\"name\":\"x\"}", ErrorKind::Corrupt, "no version"},
        {"{\"version\":99}", ErrorKind::Unsupported, "newer Orvane (project version 99)"},
        {"{\"version\":0}", ErrorKind::Corrupt, "version is not valid"},
        {"{\"version\":1,\"look\":{\"padding\":0.9}}", ErrorKind::Corrupt, "\"padding\""},
        {"{\"version\":1,\"look\":{\"format\":\"2:1\"}}", ErrorKind::Corrupt, "\"format\""},
        {"{\"version\":1,\"look\":{\"background\":2.5}}", ErrorKind::Corrupt, "whole number"},
        {"{\"version\":1,\"zooms\":{}}", ErrorKind::Corrupt, "\"zooms\" is not a list"},
        {"{\"version\":1,\"zooms\":[{\"start\":3,\"end\":1}]}", ErrorKind::Corrupt,
         "ends before it starts"},
        {"{\"version\":1,\"take\":{\"duration\":\"long\"}}", ErrorKind::Corrupt, "\"duration\""},
        {"{\"version\":1,\"trim\":7}", ErrorKind::Corrupt, "\"trim\" is not an object"},
        {"{\"version\":1,\"sound\":{\"microphoneMuted\":1}}", ErrorKind::Corrupt,
         "true or false"},
        {"{\"version\":1,\"take\":{\"soundTracks\":[\"radio\"]}}", ErrorKind::Corrupt,
         "unknown source"},
        {"{\"version\":1,\"sections\":3}", ErrorKind::Corrupt, "\"sections\" is not a list"},
        {"{\"version\":1,\"sections\":[{\"start\":0,\"end\":2,\"speed\":40}]}",
         ErrorKind::Corrupt, "\"speed\""},
        {"{\"version\":1,\"sections\":[{\"start\":3,\"end\":1}]}", ErrorKind::Corrupt,
         "a section ends before it starts"},
        {"{\"version\":1,\"sections\":[7]}", ErrorKind::Corrupt, "a section is not an object"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto r = decodeProject(c.text);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.errorValue().kind, c.kind);
        EXPECT_NE(r.error().find(c.says), std::string::npos) << r.error();
    }
}

TEST(ProjectFile, MissingFieldsKeepTheirDefaultsAndBadIdsGetNewOnes) {
    auto r = decodeProject(R"({"version":1,"zooms":[{"id":"nope","start":1,"end":2}]})");
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(r->look, Look{});
    EXPECT_EQ(r->zoomMerge, 3.5);
    ASSERT_EQ(r->zooms.size(), 1u);
    EXPECT_FALSE(r->zooms[0].id.isNil());
    EXPECT_EQ(r->zooms[0].zoom, 1.5);
    EXPECT_EQ(formatIndexOf("4:5"), 4);
    EXPECT_EQ(formatIndexOf("5:4"), -1);
    EXPECT_STREQ(formatName(42), "original");
}
