// The clicks sidecar, the cursor-track CSV and the JSON reader under them.
#include "timeline/ClicksFile.h"
#include "timeline/Json.h"
#include "timeline/TrackCsv.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orvane;

namespace {
Moment click(double t, double x, double y) {
    Moment m;
    m.t = t;
    m.cx = x;
    m.cy = y;
    return m;
}
} // namespace

TEST(ClicksFile, EncodesTheExactBytes) {
    EXPECT_EQ(ClicksFile::encode({}).value(), R"({"duration":0,"moments":[]})");
    EXPECT_EQ(ClicksFile::encode({click(1.5, 0.25, 0.5), click(4.25, 0.75, 0.125)}).value(),
              R"({"duration":4.25,"moments":[{"t":1.5,"x":0.25,"y":0.5},{"t":4.25,"x":0.75,"y":0.125}]})");
    // Round-trip precision: the shortest text that reads back exactly.
    const auto text = ClicksFile::encode({click(0.1 + 0.2, 1.0 / 3, 2.0 / 3)}).value();
    const auto back = ClicksFile::parse(text);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back->moments[0].t, 0.1 + 0.2);
    EXPECT_EQ(back->moments[0].cx, 1.0 / 3);
    EXPECT_EQ(back->moments[0].hold, 0.9);
    // Duration is the last click's time, in list order.
    EXPECT_EQ(ClicksFile::parse(ClicksFile::encode({click(3, 0, 0), click(2, 0, 0)}).value())
                  ->duration,
              2);
}

TEST(ClicksFile, RefusesValuesJsonCannotHold) {
    EXPECT_FALSE(ClicksFile::encode({click(NAN, 0, 0)}).has_value());
    EXPECT_FALSE(ClicksFile::encode({click(1, INFINITY, 0)}).has_value());
}

TEST(ClicksFile, ParsesToleratingWhitespaceAndExtraMembers) {
    const auto f = ClicksFile::parse(
        " {\n \"moments\" : [ {\"y\":0.5,\"x\":0.25,\"t\":1e0, \"extra\":[null,true]} ],"
        " \"duration\": 1 }\n");
    ASSERT_TRUE(f.ok()) << f.error();
    EXPECT_EQ(f->duration, 1);
    ASSERT_EQ(f->moments.size(), 1u);
    EXPECT_EQ(f->moments[0].cx, 0.25);
}

TEST(ClicksFile, BadInputNamesTheProblem) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "end of file"},
        {"[]", "object"},
        {R"({"moments":[]})", "duration"},
        {R"({"duration":"1","moments":[]})", "duration"},
        {R"({"duration":1})", "moments"},
        {R"({"duration":1,"moments":{}})", "array"},
        {R"({"duration":1,"moments":[{"t":1,"x":2}]})", "\"y\""},
        {R"({"duration":1,"moments":[3]})", "moment 0"},
        {R"({"duration":1,"moments":[]} x)", "after"},
        {R"({"duration":1e999,"moments":[]})", "range"},
        {R"({"duration":01,"moments":[]})", "number"},
        {R"({"duration":NaN,"moments":[]})", "invalid"},
        {"{\"duration\":1,\"moments\":[", "end of file"},
        {"{\"a\":\"unterminated", "unterminated"},
    };
    for (const auto& [text, fragment] : cases) {
        const auto r = ClicksFile::parse(text);
        ASSERT_FALSE(r.ok()) << text;
        EXPECT_NE(r.error().find(fragment), std::string::npos) << text << " -> " << r.error();
    }
}

TEST(Json, DeepNestingIsRefusedNotACrash) {
    const std::string deep(100000, '[');
    const auto r = JsonValue::parse(deep);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().find("deeply"), std::string::npos);
}

TEST(Json, StringsAndEscapes) {
    const auto r = JsonValue::parse(R"({"s":"a\"b\\c\u00e9\n"})");
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(r->member("s")->string(), "a\"b\\c\xC3\xA9\n");
    EXPECT_EQ(r->member("missing"), nullptr);
    EXPECT_FALSE(JsonValue::parse("\"a\\x\"").ok());
    EXPECT_FALSE(JsonValue::parse("\"a\\u12\"").ok());
}

TEST(TrackCsv, RoundTrip) {
    const std::vector<CursorSample> track{{0, 0.5, 0.25, false}, {1.0 / 60, -0.1, 1.2, true}};
    const std::string text = TrackCsv::encode(track);
    EXPECT_EQ(text.substr(0, 14), "t,x,y,pointer\n");
    const auto back = TrackCsv::parse(text);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back.value(), track);
    // CRLF line ends and blank lines are fine.
    const auto crlf = TrackCsv::parse("t,x,y,pointer\r\n0,0.1,0.2,1\r\n\r\n1,0.3,0.4,0\r\n");
    ASSERT_TRUE(crlf.ok()) << crlf.error();
    EXPECT_EQ(crlf->size(), 2u);
}

TEST(TrackCsv, BadInputNamesTheLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "empty"},
        {"time,x,y\n", "line 1"},
        {"t,x,y,pointer\n0,1,2\n", "line 2: expected four"},
        {"t,x,y,pointer\n0,1,2,1,5\n", "more than four"},
        {"t,x,y,pointer\n0,a,2,1\n", "finite numbers"},
        {"t,x,y,pointer\n0,1,2,yes\n", "pointer must be 0 or 1"},
        {"t,x,y,pointer\n1,0,0,0\n0.5,0,0,0\n", "line 3: time goes backwards"},
        {"t,x,y,pointer\ninf,0,0,0\n", "finite"},
    };
    for (const auto& [text, fragment] : cases) {
        const auto r = TrackCsv::parse(text);
        ASSERT_FALSE(r.ok()) << text;
        EXPECT_NE(r.error().find(fragment), std::string::npos) << text << " -> " << r.error();
    }
}
