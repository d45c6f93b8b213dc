// The clicks sidecar, the cursor-track CSV and the text checks under them.
#include "timeline/ClicksFile.h"
#include "timeline/TextFile.h"
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

TEST(ClicksFile, DeepNestingIsReadNotACrash) {
    // The reader keeps no tree and no recursion: a hundred thousand levels in
    // a member nobody reads cost a few bytes each.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const auto ok = ClicksFile::parse(R"({"duration":1,"junk":)" + deep +
                                      R"(,"moments":[{"t":1,"x":0.5,"y":0.5}]})");
    ASSERT_TRUE(ok.ok()) << ok.error();
    EXPECT_EQ(ok->moments.size(), 1u);
    const auto cut = ClicksFile::parse(R"({"duration":1,"moments":)" + std::string(100000, '['));
    ASSERT_FALSE(cut.ok());
    EXPECT_NE(cut.error().find("end of file"), std::string::npos) << cut.error();
}

TEST(ClicksFile, StringsAndEscapesInOtherMembers) {
    const auto ok = ClicksFile::parse(
        R"({"note":"a\"b\\c\u00e9\n","duration":2,"moments":[{"t":2,"x":0,"y":1,"who":"\u00e9"}]})");
    ASSERT_TRUE(ok.ok()) << ok.error();
    EXPECT_EQ(ok->duration, 2);
    ASSERT_EQ(ok->moments.size(), 1u);
    EXPECT_EQ(ok->moments[0].cy, 1);
    const std::pair<const char*, const char*> bad[] = {
        {R"({"a":"\x","duration":1,"moments":[]})", "backslash"},
        {R"({"a":"\u12","duration":1,"moments":[]})", "hex digits"},
        {"{\"a\":\"\x01\",\"duration\":1,\"moments\":[]}", "control character"},
    };
    for (const auto& [text, fragment] : bad) {
        const auto r = ClicksFile::parse(text);
        ASSERT_FALSE(r.ok()) << text;
        EXPECT_NE(r.error().find(fragment), std::string::npos) << text << " -> " << r.error();
        EXPECT_EQ(r.error().rfind("not valid JSON at line 1, column ", 0), 0u) << r.error();
    }
}

TEST(ClicksFile, SyntaxErrorsSayWhereTheyAre) {
    // The second comma, on the third line.
    const auto r = ClicksFile::parse("{\n  \"duration\": 1,\n  \"moments\": [1,,2]\n}\n");
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().find("line 3, column 17"), std::string::npos) << r.error();
    // A broken token of any length gives a message of a few lines at most.
    const auto huge = ClicksFile::parse("{\"a\":\"" + std::string(1 << 20, 'q'));
    ASSERT_FALSE(huge.ok());
    EXPECT_NE(huge.error().find("unterminated"), std::string::npos) << huge.error().substr(0, 200);
    EXPECT_LT(huge.error().size(), 300u);
    // The first bad moment is named, by index and field; later ones do not
    // hide it, and a moment after it does not count as read.
    const auto second = ClicksFile::parse(
        R"({"duration":1,"moments":[{"t":1,"x":0,"y":0},{"t":1,"x":"0","y":0},[]]})");
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error(), "moment 1 has no numeric \"x\"");
}

TEST(ClicksFile, ByteOrderMarks) {
    const std::string doc = R"({"duration":1,"moments":[{"t":1,"x":0.25,"y":0.5}]})";
    const auto withBom = ClicksFile::parse("\xEF\xBB\xBF" + doc);
    ASSERT_TRUE(withBom.ok()) << withBom.error();
    ASSERT_EQ(withBom->moments.size(), 1u);
    EXPECT_EQ(withBom->moments[0].cx, 0.25);
    // The same document as UTF-16, little and big endian, with and without a mark.
    std::string le = "\xFF\xFE";
    std::string be = "\xFE\xFF";
    std::string bare;
    for (char c : doc) {
        le += c;
        le += '\0';
        be += '\0';
        be += c;
        bare += c;
        bare += '\0';
    }
    for (const std::string& utf16 : {le, be, bare}) {
        const auto r = ClicksFile::parse(utf16);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.errorKind(), ErrorKind::Unsupported);
        EXPECT_NE(r.error().find("UTF-16"), std::string::npos) << r.error();
        EXPECT_NE(r.error().find("must be UTF-8"), std::string::npos) << r.error();
    }
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

TEST(TrackCsv, ByteOrderMarks) {
    const auto withBom = TrackCsv::parse("\xEF\xBB\xBFt,x,y,pointer\n0,0.1,0.2,1\n");
    ASSERT_TRUE(withBom.ok()) << withBom.error();
    ASSERT_EQ(withBom->size(), 1u);
    EXPECT_EQ(withBom.value()[0].y, 0.2);
    const std::string header = "t,x,y,pointer\n";
    std::string le = "\xFF\xFE";
    for (char c : header) {
        le += c;
        le += '\0';
    }
    for (const std::string& utf16 : {le, std::string("t\0,\0x\0", 7)}) {
        const auto r = TrackCsv::parse(utf16);
        ASSERT_FALSE(r.ok());
        EXPECT_NE(r.error().find("UTF-16"), std::string::npos) << r.error();
    }
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
