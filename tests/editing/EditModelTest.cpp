// Edit operations and undo on the session's edit model.
#include "editing/EditModel.h"

#include "TimelineFixtures.h"
#include "timeline/CursorTrack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>

using namespace orvane;

namespace {

ZoomEffect seg(double s, double e) {
    return test::segment(s, e);
}

// The whole visible edit state, for comparing after each step of an undo chain.
struct Visible {
    std::vector<Moment> moments;
    std::vector<ZoomEffect> zooms;
    double trimStart;
    double trimEnd;
    std::optional<int> selected;
    friend bool operator==(const Visible&, const Visible&) = default;
};

Visible visible(const EditModel& m) {
    return {m.moments(), m.zooms(), m.trimStart(), m.trimEnd(), m.selected()};
}

class EditModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        model.setDuration(10);
        model.setTrimEnd(10);
    }
    EditModel model;
};

} // namespace

TEST_F(EditModelTest, UndoOnEmptyStackChangesNothing) {
    model.setZooms({seg(1, 2)});
    model.setSelected(0);
    const Visible before = visible(model);
    model.undo();
    EXPECT_EQ(visible(model), before);
    EXPECT_EQ(model.selected(), 0);
}

TEST_F(EditModelTest, UndoKeepsTheLatestFiftySnapshots) {
    for (int i = 1; i <= 60; ++i) {
        model.setTrimStart(i);
        model.beginEdit();
    }
    ASSERT_EQ(model.undoStack().size(), 50u);
    EXPECT_EQ(model.undoStack().front().trimStart, 11);
    EXPECT_EQ(model.undoStack().back().trimStart, 60);
    for (int i = 60; i >= 11; --i) {
        model.undo();
        EXPECT_EQ(model.trimStart(), i);
    }
    EXPECT_TRUE(model.undoStack().empty());
    model.undo();
    EXPECT_EQ(model.trimStart(), 11);
}

TEST_F(EditModelTest, AddZoomFitsTheFreeGap) {
    model.setZooms({seg(3, 4.5), seg(5, 8)});
    model.addZoom(4.0, 5.5);
    ASSERT_EQ(model.zooms().size(), 3u);
    EXPECT_DOUBLE_EQ(model.zooms()[1].start, 4.5);
    EXPECT_DOUBLE_EQ(model.zooms()[1].end, 5);
    EXPECT_EQ(model.selected(), 1);
    EXPECT_EQ(model.undoStack().size(), 1u);
    EXPECT_EQ(model.zooms()[1].zoom, model.zoom());
    EXPECT_EQ(model.zooms()[1].smooth, model.smoothness());
    EXPECT_FALSE(model.zooms()[1].hasFocus());
}

TEST_F(EditModelTest, AddZoomRefusesGapsShorterThanThreeTenths) {
    model.setZooms({seg(3, 4.9), seg(5, 8)});
    model.setSelected(0);
    model.addZoom(4.0, 5.5);
    EXPECT_EQ(model.zooms().size(), 2u);
    EXPECT_TRUE(model.undoStack().empty());
    EXPECT_EQ(model.selected(), 0);
}

TEST_F(EditModelTest, AddZoomNearTheEndAndBeforeZero) {
    model.addZoom(9.9 - 0.25, 9.9 + 1.25);
    ASSERT_EQ(model.zooms().size(), 1u);
    EXPECT_DOUBLE_EQ(model.zooms()[0].start, 9.65);
    EXPECT_DOUBLE_EQ(model.zooms()[0].end, 10);
    model.addZoom(-0.5, 1);
    ASSERT_EQ(model.zooms().size(), 2u);
    EXPECT_EQ(model.zooms()[0].start, 0);
    EXPECT_EQ(model.selected(), 0); // the new one, found by id after sorting
}

TEST_F(EditModelTest, AddZoomInsideAnExistingSegmentStartsAtItsEnd) {
    model.setZooms({seg(2, 6)});
    model.addZoom(3, 7.5);
    ASSERT_EQ(model.zooms().size(), 2u);
    EXPECT_EQ(model.zooms()[1].start, 6);
    EXPECT_EQ(model.zooms()[1].end, 7.5);
}

TEST_F(EditModelTest, MoveKeepsLengthInsideTheTake) {
    model.setZooms({seg(3, 5)});
    model.moveZoom(0, -1);
    EXPECT_EQ(model.zooms()[0].start, 0);
    EXPECT_EQ(model.zooms()[0].end, 2);
    model.moveZoom(0, 9.5);
    EXPECT_EQ(model.zooms()[0].start, 8);
    EXPECT_EQ(model.zooms()[0].end, 10);
    EXPECT_TRUE(model.undoStack().empty()); // callers record the step
}

TEST_F(EditModelTest, EdgesNeverMakeASegmentShorterThanTwoTenths) {
    model.setZooms({seg(2, 4)});
    model.setZoomEdge(0, true, 5);
    EXPECT_DOUBLE_EQ(model.zooms()[0].start, 3.8);
    model.setZooms({seg(2, 4)});
    model.setZoomEdge(0, false, 50);
    EXPECT_EQ(model.zooms()[0].end, 10);
    model.setZoomEdge(0, false, 0);
    EXPECT_DOUBLE_EQ(model.zooms()[0].end, 2.2);
    model.setZoomEdge(0, true, -3);
    EXPECT_EQ(model.zooms()[0].start, 0);
}

TEST_F(EditModelTest, LevelSmoothAndFocus) {
    model.setZooms({seg(2, 4)});
    model.setZoomLevel(0, 2.7);
    model.setZoomSmooth(0, 0.01);
    EXPECT_EQ(model.zooms()[0].zoom, 2.7);
    EXPECT_EQ(model.zooms()[0].smooth, 0.01);
    model.setZoomFocus(0, NormPoint{1.3, -0.2});
    EXPECT_EQ(model.zooms()[0].fx, 1.0);
    EXPECT_EQ(model.zooms()[0].fy, 0.0);
    model.setZoomFocus(0, std::nullopt);
    EXPECT_FALSE(model.zooms()[0].fx.has_value());
    EXPECT_FALSE(model.zooms()[0].fy.has_value());
    EXPECT_TRUE(model.undoStack().empty());
}

TEST_F(EditModelTest, IndexOutOfRangeChangesNothingAndRecordsNothing) {
    model.setZooms({seg(2, 4)});
    model.setSelected(0);
    const Visible before = visible(model);
    const int builds = (model.timeline(), model.timelineBuildCount());
    for (int bad : {-1, 1, 99}) {
        model.deleteZoom(bad);
        model.moveZoom(bad, 1);
        model.setZoomEdge(bad, true, 1);
        model.setZoomEdge(bad, false, 1);
        model.setZoomLevel(bad, 3);
        model.setZoomSmooth(bad, 0);
        model.setZoomFocus(bad, NormPoint{0.1, 0.1});
    }
    EXPECT_EQ(visible(model), before);
    EXPECT_TRUE(model.undoStack().empty());
    model.timeline();
    EXPECT_EQ(model.timelineBuildCount(), builds);
}

TEST_F(EditModelTest, UndoChainRestoresEveryVisibleStep) {
    Moment click;
    click.t = 2;
    click.cx = 0.3;
    click.cy = 0.6;
    model.setMoments({click});
    std::vector<Visible> states{visible(model)};

    model.regenerateZooms(); // one segment [1.5, 3.45]
    ASSERT_EQ(model.zooms().size(), 1u);
    states.push_back(visible(model));

    model.addZoom(5, 6.5);
    EXPECT_EQ(model.selected(), 1);
    states.push_back(visible(model));

    model.beginEdit(); // a drag: several moves, one step
    model.moveZoom(1, 6);
    model.moveZoom(1, 7);
    model.setTrimStart(0.5);
    states.push_back(visible(model));

    model.beginEdit();
    model.setZoomFocus(0, NormPoint{0.2, 0.8});
    states.push_back(visible(model));

    model.deleteZoom(0);
    EXPECT_EQ(model.zooms().size(), 1u);
    EXPECT_FALSE(model.selected().has_value());

    ASSERT_EQ(model.undoStack().size(), 5u);
    for (int i = static_cast<int>(states.size()) - 1; i >= 0; --i) {
        model.undo();
        Visible expected = states[static_cast<std::size_t>(i)];
        expected.selected = std::nullopt; // undo clears the selection
        EXPECT_EQ(visible(model), expected) << "after undoing to state " << i;
    }
    EXPECT_TRUE(model.undoStack().empty());
}

TEST_F(EditModelTest, RegenerateRecordsAStepAndClearsSelection) {
    model.setZooms({seg(1, 2)});
    model.setSelected(0);
    model.regenerateZooms();
    EXPECT_TRUE(model.zooms().empty()); // no clicks
    EXPECT_FALSE(model.selected().has_value());
    ASSERT_EQ(model.undoStack().size(), 1u);
    EXPECT_EQ(model.undoStack()[0].zooms.size(), 1u);
}

TEST_F(EditModelTest, TimelineCacheIsDiscardedByExactlySixProperties) {
    model.timeline();
    int builds = model.timelineBuildCount();
    // Reading again does not rebuild.
    model.timeline();
    EXPECT_EQ(model.timelineBuildCount(), builds);

    // Other properties leave the cache alone.
    model.setTrimStart(1);
    model.setTrimEnd(5);
    model.setSelected(0);
    model.setVideoSelected(true);
    model.beginEdit();
    model.timeline();
    EXPECT_EQ(model.timelineBuildCount(), builds);

    // Each of the six discards it, even when assigned its own value.
    const std::vector<std::function<void()>> assignments{
        [&] { model.setMoments(model.moments()); },
        [&] { model.setZooms(model.zooms()); },
        [&] { model.setDuration(model.duration()); },
        [&] { model.setZoom(model.zoom()); },
        [&] { model.setSmoothness(model.smoothness()); },
        [&] { model.setZoomMerge(model.zoomMerge()); },
    };
    for (const auto& assign : assignments) {
        assign();
        model.timeline();
        EXPECT_EQ(model.timelineBuildCount(), ++builds);
    }
}

TEST_F(EditModelTest, TimelineReflectsTheEditState) {
    // Before any recording: two wide anchors, full frame everywhere.
    EditModel fresh;
    ASSERT_EQ(fresh.timeline().anchors.size(), 2u);
    EXPECT_EQ(fresh.timeline().state(3), (CamState{0.5, 0.5, 1}));
    EXPECT_EQ(fresh.timeline().zoom, 1.5);

    model.setZooms({seg(2, 6)});
    model.setZoom(2.0);
    const Timeline& tl = model.timeline();
    EXPECT_EQ(tl.anchors.size(), 6u);
    EXPECT_EQ(tl.zoom, 2.0);
    EXPECT_EQ(tl.duration, 10);
}

namespace {

// A cursor that wanders over the area at 60 Hz, with the pointing hand now and then.
std::vector<CursorSample> wanderingTrack(double seconds) {
    std::vector<CursorSample> track;
    for (int i = 0; i < static_cast<int>(seconds * 60); ++i) {
        const double t = i / 60.0;
        track.push_back({t, 0.5 + 0.45 * std::sin(t * 1.7), 0.5 + 0.4 * std::cos(t * 0.9),
                         (i / 40) % 3 == 0});
    }
    return track;
}

// The timeline as it was built on every read before the smoothed track was kept:
// keyframes and smoothing from scratch.
Timeline builtFromScratch(const EditModel& m) {
    Timeline tl;
    tl.build(m.zooms(), m.moments(), m.duration(), m.zoom());
    tl.track = smoothedTrack(m.cursorTrack());
    tl.cursorInPicture = m.cursorInPicture();
    return tl;
}

void expectSameTimeline(const Timeline& got, const Timeline& want, const std::string& step) {
    EXPECT_EQ(got.anchors, want.anchors) << step;
    EXPECT_EQ(got.clicks, want.clicks) << step;
    EXPECT_EQ(got.track.samples(), want.track.samples()) << step;
    EXPECT_EQ(got.duration, want.duration) << step;
    EXPECT_EQ(got.zoom, want.zoom) << step;
    // And what the camera and cursor make of them, every 1/30 s.
    for (double t = -0.5; t < want.duration + 0.5; t += 1.0 / 30) {
        ASSERT_EQ(got.state(t), want.state(t)) << step << " at " << t;
        ASSERT_EQ(got.cursor(t, 0.8), want.cursor(t, 0.8)) << step << " at " << t;
        ASSERT_EQ(got.isPointer(t), want.isPointer(t)) << step << " at " << t;
    }
}

} // namespace

TEST_F(EditModelTest, EditsReuseTheSmoothedTrackAndBuildTheSameTimeline) {
    model.setCursorTrack(wanderingTrack(10));
    Moment c1;
    c1.t = 2;
    c1.cx = 0.2;
    c1.cy = 0.7;
    Moment c2 = c1;
    c2.t = 6.5;
    c2.cx = 0.8;
    model.setMoments({c1, c2});
    model.regenerateZooms();
    ASSERT_EQ(model.zooms().size(), 2u);

    const Timeline first = model.timeline();
    expectSameTimeline(first, builtFromScratch(model), "first build");
    EXPECT_EQ(model.trackSmoothingCount(), 1);

    // A drag of a segment, an edge drag, a focus lock, a new segment and undo:
    // each rebuilds the keyframes, none smooths the track again.
    const std::vector<std::pair<std::string, std::function<void()>>> edits{
        {"move", [&] { model.moveZoom(0, 1.25); }},
        {"move again", [&] { model.moveZoom(0, 0.75); }},
        {"edge", [&] { model.setZoomEdge(1, false, 8.5); }},
        {"focus", [&] { model.setZoomFocus(1, NormPoint{0.9, 0.1}); }},
        {"level", [&] { model.setZoomLevel(0, 2.4); }},
        {"add", [&] { model.addZoom(9.0, 10.0); }},
        {"delete", [&] { model.deleteZoom(0); }},
        {"undo", [&] { model.undo(); }},
        {"focus off", [&] { model.setZoomFocus(1, std::nullopt); }},
    };
    int builds = model.timelineBuildCount();
    const std::size_t segments = model.zooms().size();
    for (const auto& [name, edit] : edits) {
        const std::vector<ZoomEffect> before = model.zooms();
        edit();
        ASSERT_NE(model.zooms(), before) << name << " changed nothing: the step tests nothing";
        const Timeline& tl = model.timeline();
        EXPECT_EQ(model.timelineBuildCount(), ++builds) << name;
        expectSameTimeline(tl, builtFromScratch(model), name);
        // The very samples of the first build: kept, not smoothed or copied again.
        EXPECT_TRUE(tl.track.sharesWith(first.track)) << name;
    }
    EXPECT_EQ(model.zooms().size(), segments + 1); // one added, one deleted and restored
    EXPECT_EQ(model.trackSmoothingCount(), 1);
}

TEST_F(EditModelTest, ANewTrackIsSmoothedOnceMore) {
    model.setCursorTrack(wanderingTrack(2));
    model.setZooms({seg(0.5, 1.5)});
    const SharedTrack old = model.timeline().track;
    EXPECT_EQ(model.trackSmoothingCount(), 1);

    // A different take: the old smoothed samples must not survive.
    std::vector<CursorSample> still(90, CursorSample{0, 0.25, 0.75, false});
    for (std::size_t i = 0; i < still.size(); ++i) {
        still[i].t = static_cast<double>(i) / 60;
    }
    model.setCursorTrack(still);
    const Timeline& tl = model.timeline();
    EXPECT_EQ(model.trackSmoothingCount(), 2);
    EXPECT_FALSE(tl.track.sharesWith(old));
    EXPECT_EQ(tl.cursor(0.7, 0.8), (NormPoint{0.25, 0.75}));
    expectSameTimeline(tl, builtFromScratch(model), "new take");

    // Empty track: the synthetic cursor takes over.
    model.setCursorTrack({});
    EXPECT_TRUE(model.timeline().track.empty());
    EXPECT_EQ(model.trackSmoothingCount(), 3);
}

// The sound mix is part of the edit state: a drag of a volume slider is one
// undo step whatever the number of values it passes, a mute is one more, and
// undo walks back through them together with the other edits.
TEST_F(EditModelTest, SoundMixChangesUndoOneStepPerDrag) {
    int changes = 0;
    QObject::connect(&model, &EditModel::soundMixChanged, [&] { ++changes; });
    EXPECT_EQ(model.soundMix(), SoundMix{}); // 100 %, unmuted

    model.beginEdit(); // a drag of the microphone's slider
    for (double v : {1.1, 1.4, 1.75}) {
        SoundMix m = model.soundMix();
        m.microphoneVolume = v;
        model.setSoundMix(m);
    }
    EXPECT_EQ(changes, 3);
    const SoundMix dragged = model.soundMix();
    EXPECT_DOUBLE_EQ(dragged.microphoneVolume, 1.75);

    model.beginEdit(); // the desktop's mute switch
    SoundMix muted = model.soundMix();
    muted.desktopMuted = true;
    model.setSoundMix(muted);
    model.setSoundMix(muted); // the same value again: no signal
    EXPECT_EQ(changes, 4);

    model.addZoom(2, 4); // a segment edit keeps the mix
    EXPECT_EQ(model.soundMix(), muted);
    // The mix does not shape the zoom timeline: it is not rebuilt for it.
    model.timeline();
    const int builds = model.timelineBuildCount();
    SoundMix quieter = muted;
    quieter.desktopVolume = 0.5;
    model.setSoundMix(quieter);
    model.timeline();
    EXPECT_EQ(model.timelineBuildCount(), builds);

    ASSERT_EQ(model.undoStack().size(), 3u);
    model.undo(); // the segment (and the volume set without a step of its own)
    EXPECT_TRUE(model.zooms().empty());
    EXPECT_EQ(model.soundMix(), muted);
    model.undo(); // the mute
    EXPECT_EQ(model.soundMix(), dragged);
    model.undo(); // the whole drag at once
    EXPECT_EQ(model.soundMix(), SoundMix{});
    EXPECT_TRUE(model.undoStack().empty());
}

// --- Sections and redo ---------------------------------------------------------

TEST_F(EditModelTest, EachSectionOperationIsOneStepThatUndoesAndRedoes) {
    model.setZooms({seg(1, 3), seg(6, 8)});
    model.clearUndo();
    std::vector<std::vector<Section>> states{model.sections()};
    const auto step = [&](const char* what, const std::function<void()>& op) {
        const std::size_t before = model.undoStack().size();
        op();
        EXPECT_EQ(model.undoStack().size(), before + 1) << what;
        states.push_back(model.sections());
    };
    step("split", [&] { model.splitAt(4); });
    ASSERT_EQ(model.sections().size(), 2U);
    EXPECT_EQ(model.selectedSection(), 1) << "the second half is selected";
    EXPECT_FALSE(model.selected());
    step("split again", [&] { model.splitAt(7); });
    step("cut", [&] { model.setSectionCut(1, true); });
    EXPECT_DOUBLE_EQ(model.timeMap().outputTime(10), 7);
    step("speed", [&] {
        model.beginEdit();
        model.setSectionSpeed(2, 4);
    });
    EXPECT_DOUBLE_EQ(model.timeMap().outputTime(10), 4 + 0.75);
    step("mute", [&] { model.setSectionMuted(2, true); });
    step("boundary", [&] {
        model.beginEdit();
        model.moveSectionBoundary(2, 8);
    });
    EXPECT_EQ(model.sections()[1].end, 8);
    step("restore", [&] { model.setSectionCut(1, false); });

    // The zoom inside the cut part is not in the timeline; restored, it is.
    model.undo();
    ASSERT_EQ(model.sections()[1].cut, true);
    const auto& anchors = model.timeline().anchors;
    EXPECT_TRUE(std::none_of(anchors.begin(), anchors.end(),
                             [](const Anchor& a) { return a.t > 4 && a.t < 8; }))
        << "the camera never heads for a zoom that is cut out";
    model.redo();
    EXPECT_EQ(model.sections(), states.back());

    // Undo walks back through every state, redo forward again.
    for (std::size_t i = states.size() - 1; i-- > 0;) {
        model.undo();
        EXPECT_EQ(model.sections(), states[i]) << "undone to state " << i;
    }
    EXPECT_TRUE(model.sections().empty()) << "back to the undivided take";
    for (std::size_t i = 1; i < states.size(); ++i) {
        model.redo();
        EXPECT_EQ(model.sections(), states[i]) << "redone to state " << i;
    }
    model.redo(); // nothing left to redo
    EXPECT_EQ(model.sections(), states.back());
}

TEST_F(EditModelTest, RedoCoversEveryEditAndANewEditForgetsIt) {
    model.addZoom(1, 3);
    model.beginEdit();
    model.setTrimStart(0.5);
    model.undo();
    model.undo();
    EXPECT_TRUE(model.zooms().empty());
    ASSERT_EQ(model.redoStack().size(), 2U);
    model.redo();
    EXPECT_EQ(model.zooms().size(), 1U);
    EXPECT_EQ(model.trimStart(), 0);
    model.redo();
    EXPECT_EQ(model.trimStart(), 0.5);
    model.undo();
    model.deleteZoom(0); // a new edit: what was undone cannot come back
    EXPECT_TRUE(model.redoStack().empty());
    model.redo();
    EXPECT_EQ(model.trimStart(), 0);
    EXPECT_TRUE(model.zooms().empty());
}

TEST_F(EditModelTest, SectionOperationsThatChangeNothingRecordNothing) {
    model.splitAt(0);
    model.splitAt(10);
    model.splitAt(0.01);
    model.splitAt(NAN);
    model.setSectionSpeed(5, 2);
    model.setSectionMuted(-1, true);
    EXPECT_TRUE(model.undoStack().empty());
    EXPECT_TRUE(model.sections().empty());
    model.splitAt(5);
    model.setSectionCut(0, false); // already kept
    EXPECT_EQ(model.undoStack().size(), 1U);
    model.setSectionSpeed(0, 99);
    EXPECT_EQ(model.sections()[0].speed, sections::kMaxSpeed);
    model.setSelected(0);
    EXPECT_FALSE(model.selectedSection()) << "a zoom and a section are never both selected";
    model.setSelectedSection(7);
    EXPECT_FALSE(model.selectedSection());
}

TEST_F(EditModelTest, TheUndividedTakeIsSectionZero) {
    model.setSelectedSection(0);
    EXPECT_EQ(model.selectedSection(), 0);
    model.beginEdit();
    model.setSectionSpeed(0, 2);
    ASSERT_EQ(model.sections().size(), 1U);
    EXPECT_DOUBLE_EQ(model.timeMap().outputTime(10), 5);
    EXPECT_EQ(model.selectedSection(), 0) << "still selected";
    model.undo();
    EXPECT_TRUE(model.sections().empty());
}
