// The take journal's text: exact round trips, and what a crash can leave.
#include "timeline/TakeJournal.h"

#include "TimelineFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

using namespace orvane;
using orvane::test::clickAt;

namespace {

std::string journalOf(const std::vector<Moment>& clicks, const std::vector<CursorSample>& track) {
    std::string text = takejournal::headerLine() + takejournal::videoLine(1280, 720, true);
    for (const auto& c : clicks) {
        text += takejournal::clickLine(c);
    }
    for (const auto& s : track) {
        text += takejournal::sampleLine(s);
    }
    return text;
}

} // namespace

TEST(TakeJournal, ValuesComeBackBitForBit) {
    Moment a;
    a.t = 1.0 / 3.0;
    a.cx = 0.1 + 0.2; // not exactly representable in a short decimal
    a.cy = 1e-300;
    Moment b;
    b.t = 12345.678901234567;
    b.cx = -0.25; // clicks may lie outside the area when the area moved
    b.cy = 1.5;
    const std::vector<CursorSample> track = {{0.0, 0.5, 0.5, false},
                                             {1.0 / 60.0, 2.0 / 3.0, -1e-9, true}};
    const auto parsed = takejournal::parse(journalOf({a, b}, track));
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(parsed->width, 1280);
    EXPECT_EQ(parsed->height, 720);
    EXPECT_TRUE(parsed->cursorInPicture);
    ASSERT_EQ(parsed->clicks.size(), 2u);
    EXPECT_EQ(parsed->clicks[0], a); // hold as recorded, overrides absent
    EXPECT_EQ(parsed->clicks[1], b);
    EXPECT_EQ(parsed->track, track);
    EXPECT_FALSE(parsed->tailDropped);
}

TEST(TakeJournal, ACrashLeavesAReadablePrefix) {
    const std::string whole = journalOf({clickAt(0.5, 0.2, 0.3)}, {{0.1, 0.4, 0.4, false},
                                                                {0.2, 0.45, 0.4, true}});
    // Cut anywhere inside the last line: that line never counted.
    const std::string cut = whole.substr(0, whole.size() - 5);
    auto parsed = takejournal::parse(cut);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->clicks.size(), 1u);
    ASSERT_EQ(parsed->track.size(), 1u);
    EXPECT_EQ(parsed->track[0].t, 0.1);
    EXPECT_TRUE(parsed->tailDropped);

    // A tail of zeros (the size was synced, the data was not): dropped from
    // there on, what came before is kept.
    parsed = takejournal::parse(whole + std::string(64, '\0') + "\n" +
                                takejournal::sampleLine({0.3, 0.5, 0.5, false}));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->track.size(), 2u);
    EXPECT_TRUE(parsed->tailDropped);

    // Malformed records stop the reading the same way.
    for (const char* bad : {"c 1 2\n", "s 1 2 3 7\n", "c 1 nan 0\n", "s 1 2 3 1 9\n", "c  1 2 3\n",
                            "video 1 1 0\n", "x 1\n"}) {
        parsed = takejournal::parse(takejournal::headerLine() + bad +
                                    takejournal::clickLine(clickAt(1, 0.5, 0.5)));
        ASSERT_TRUE(parsed) << bad;
        EXPECT_TRUE(parsed->clicks.empty()) << bad;
        EXPECT_TRUE(parsed->tailDropped) << bad;
    }
}

TEST(TakeJournal, OnlyAJournalIsReadAsOne) {
    for (const std::string& text : {std::string(), std::string("orvane-take-journal 2\n"),
                                   std::string("orvane-take-journal 1"), std::string("{\"moments\":[]}\n")}) {
        const auto parsed = takejournal::parse(text);
        ASSERT_FALSE(parsed) << text;
        EXPECT_EQ(parsed.errorKind(), ErrorKind::Corrupt);
    }
    const auto missing = takejournal::read("/nonexistent/orvane-take.journal");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.errorKind(), ErrorKind::NotFound);
    EXPECT_NE(missing.error().find("/nonexistent/orvane-take.journal"), std::string::npos);

    const std::string path = testing::TempDir() + "journal-read-test";
    std::ofstream(path) << journalOf({clickAt(2, 0.5, 0.5)}, {});
    const auto read = takejournal::read(path);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->clicks.size(), 1u);
    std::remove(path.c_str());
}
