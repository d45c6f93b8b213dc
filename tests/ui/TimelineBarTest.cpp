// The timeline bar: its geometry as pure functions, and its gestures driven by
// real mouse events, wired to an edit model the way the main window wires it.
#include "editing/EditModel.h"
#include "ui/TimelineBar.h"

#include <QApplication>
#include <QMouseEvent>
#include <QEventLoop>
#include <QPaintEvent>
#include <QTimer>
#include <QImage>

#include "TimelineFixtures.h"

#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::TimelineGeometry;

namespace {

ZoomEffect seg(double s, double e) {
    return test::segment(s, e);
}

// 1000 points for 100 s: 10 points per second. A segment [s, e] has its pill
// from 10s + 1 to 10e - 1.
constexpr double kW = 1000;
constexpr double kD = 100;

// A bar in a 1000-point-wide widget, wired to an EditModel as the window does.
class BarHarness {
public:
    BarHarness() {
        model.setDuration(kD);
        model.setTrimEnd(kD);
        bar.resize(static_cast<int>(kW), static_cast<int>(kBarHeight));
        bar.onSeek = [this](double t) { seeks.push_back(t); };
        bar.onSelect = [this](int i) {
            model.setSelected(i);
            model.setVideoSelected(false);
            seeks.push_back(model.zooms()[static_cast<std::size_t>(i)].start);
        };
        bar.onSelectVideo = [this] {
            model.setVideoSelected(true);
            model.setSelected(std::nullopt);
        };
        bar.onTrim = [this](double a, double b) {
            model.setTrimStart(a);
            model.setTrimEnd(b);
            sync();
        };
        bar.onBandTrim = [this](int i, bool s, double t) {
            model.setZoomEdge(i, s, t);
            sync();
        };
        bar.onBandMove = [this](int i, double t) {
            model.moveZoom(i, t);
            sync();
        };
        bar.onAddZoom = [this](double t) {
            model.addZoom(t - 0.25, t + 1.25);
            sync();
        };
        bar.onEditBegin = [this] { model.beginEdit(); };
        bar.onSelectSection = [this](int i) {
            model.setSelectedSection(i);
            sync();
        };
        bar.onSectionBoundary = [this](int i, double t) {
            model.moveSectionBoundary(i, t);
            sync();
        };
        sync();
    }
    void setZooms(std::vector<ZoomEffect> z) {
        model.setZooms(std::move(z));
        sync();
    }
    void sync() {
        TimelineBar::Inputs in;
        in.duration = std::max(model.duration(), 0.001);
        in.zooms = model.zooms();
        in.selected = model.selected();
        in.trimStart = model.trimStart();
        in.trimEnd = model.trimEnd();
        in.videoSelected = model.videoSelected();
        in.sections = model.sections();
        in.selectedSection = model.selectedSection();
        bar.setInputs(in);
    }
    void send(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, pos, bar.mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&bar, &e);
    }
    // Press at `from`, move through each x in `path` (same y), release at the last.
    void drag(QPointF from, std::vector<double> path) {
        send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        QPointF at = from;
        for (double x : path) {
            at = QPointF(x, from.y());
            send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        }
        send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }
    static double zoomY() { return kVideoHeight + kTrackGap + kZoomHeight / 2; }
    static double videoY() { return kVideoHeight / 2; }

    EditModel model;
    TimelineBar bar;
    std::vector<double> seeks;
};

} // namespace

TEST(TimelineGeometry, HitTestModesAndTolerance) {
    // [10, 14.2]: pill from 101 to 141, 40 points wide.
    const std::vector<ZoomEffect> wide{seg(10, 14.2)};
    EXPECT_EQ(zoomHit(106, kW, wide, kD), (ZoomHit{0, DragMode::start}));
    EXPECT_EQ(zoomHit(121, kW, wide, kD), (ZoomHit{0, DragMode::move}));
    EXPECT_EQ(zoomHit(136, kW, wide, kD), (ZoomHit{0, DragMode::end}));
    EXPECT_EQ(zoomHit(153, kW, wide, kD), (ZoomHit{0, DragMode::end}));
    // [10, 13.2]: 30 points wide, can only be moved.
    const std::vector<ZoomEffect> narrow{seg(10, 13.2)};
    EXPECT_EQ(zoomHit(106, kW, narrow, kD), (ZoomHit{0, DragMode::move}));
    // Tolerance: 10 points left of the pill hits, 13 points does not.
    EXPECT_TRUE(zoomHit(91, kW, narrow, kD).has_value());
    EXPECT_FALSE(zoomHit(88, kW, narrow, kD).has_value());
    EXPECT_FALSE(zoomHit(106, kW, narrow, 0).has_value());
    // Overlapping pills: the earlier in the list wins.
    const std::vector<ZoomEffect> overlap{seg(20, 30), seg(10, 25)};
    EXPECT_EQ(zoomHit(220, kW, overlap, kD)->index, 0);
    EXPECT_EQ(zoomHit(150, kW, overlap, kD)->index, 1);
}

TEST(TimelineGeometry, AddButtonFollowsTheFreeGaps) {
    // No segments: anywhere from 0 to w - 34.
    EXPECT_EQ(addPillLeft(-50, kW, {}, kD), 0);
    EXPECT_EQ(addPillLeft(500, kW, {}, kD), 483);
    EXPECT_EQ(addPillLeft(5000, kW, {}, kD), kW - 34);
    EXPECT_FALSE(addPillLeft(10, 0, {}, kD).has_value());
    EXPECT_FALSE(addPillLeft(10, kW, {}, 0).has_value());
    // Segments [10, 20] and [30, 40]: gaps [0, 64], [202, 264], [402, 966].
    const std::vector<ZoomEffect> z{seg(30, 40), seg(10, 20)};
    EXPECT_EQ(addPillLeft(150, kW, z, kD), 64);   // inside a pill: nearest gap edge
    EXPECT_EQ(addPillLeft(240, kW, z, kD), 223);  // centred on the mouse
    EXPECT_EQ(addPillLeft(330, kW, z, kD), 264);
    // Equal distance: the earlier gap wins. Gaps [0,64] and [202,...]: x = 133 is 69 from both.
    EXPECT_EQ(addPillLeft(150, kW, z, kD), 64);
    EXPECT_EQ(addPillLeft(133 + 17, kW, z, kD), 64);
    // Too little room anywhere.
    EXPECT_FALSE(addPillLeft(50, 60, {seg(20, 80)}, kD).has_value());
}

TEST(TimelineGeometry, NeighboursAndDragTargets) {
    const std::vector<ZoomEffect> z{seg(10, 20), seg(30, 40), seg(5, 12)};
    EXPECT_EQ(leftEnd(1, z), 20);   // max end of those starting before 30
    EXPECT_EQ(rightStart(2, z), 10);
    EXPECT_FALSE(leftEnd(2, z).has_value());
    EXPECT_FALSE(rightStart(1, z).has_value());
    EXPECT_FALSE(leftEnd(5, z).has_value());
    // A move into the right neighbour stops 2 points (0.2 s here) before it.
    EXPECT_DOUBLE_EQ(zoomDragTarget(DragMode::move, 10, 20, 500, kW, kD, 12.0, 30.0), 19.8);
    EXPECT_DOUBLE_EQ(zoomDragTarget(DragMode::move, 10, 20, -500, kW, kD, 5.0, 30.0), 5.2);
    EXPECT_DOUBLE_EQ(zoomDragTarget(DragMode::start, 10, 20, -100, kW, kD, 8.0, {}), 8.2);
    EXPECT_DOUBLE_EQ(zoomDragTarget(DragMode::end, 10, 20, 200, kW, kD, {}, 25.0), 24.8);
    EXPECT_DOUBLE_EQ(zoomDragTarget(DragMode::end, 10, 20, 20, kW, kD, {}, {}), 22);
}

TEST(TimelineGeometry, TrimDragsKeepThreeTenths) {
    EXPECT_DOUBLE_EQ(leftTrimDrag(0, 900, kW, kD, 50), 49.7);
    EXPECT_DOUBLE_EQ(leftTrimDrag(10, -500, kW, kD, 50), 0);
    EXPECT_DOUBLE_EQ(rightTrimDrag(50, -900, kW, kD, 20), 20.3);
    EXPECT_DOUBLE_EQ(rightTrimDrag(50, 900, kW, kD, 20), 100);
}

TEST(TimelineGeometry, DurationLabel) {
    EXPECT_EQ(durationLabel(75.4), "1:15");
    EXPECT_EQ(durationLabel(59.5), "1:00");
    EXPECT_EQ(durationLabel(0.4), "0:00");
    EXPECT_EQ(durationLabel(-3), "0:00");
    EXPECT_EQ(durationLabel(3600), "60:00");
    EXPECT_EQ(durationLabel(NAN), "0:00");
}

TEST(TimelineBarGestures, PressOnPillEdgeDragsTheStartEdge) {
    BarHarness h;
    h.setZooms({seg(10, 14.2)});
    h.drag({106, BarHarness::zoomY()}, {100, 96});
    EXPECT_EQ(h.model.selected(), 0);
    EXPECT_DOUBLE_EQ(h.model.zooms()[0].start, 9);
    EXPECT_DOUBLE_EQ(h.model.zooms()[0].end, 14.2);
    EXPECT_EQ(h.model.undoStack().size(), 1u); // one drag, one step
}

TEST(TimelineBarGestures, NarrowPillMoves) {
    BarHarness h;
    h.setZooms({seg(10, 13.2)});
    h.drag({106, BarHarness::zoomY()}, {120, 156});
    EXPECT_DOUBLE_EQ(h.model.zooms()[0].start, 15);
    EXPECT_DOUBLE_EQ(h.model.zooms()[0].end, 18.2);
    EXPECT_EQ(h.model.undoStack().size(), 1u);
}

TEST(TimelineBarGestures, SmallDragChangesNothingButAClickSelects) {
    BarHarness h;
    h.setZooms({seg(10, 20), seg(40, 50)});
    h.drag({450, BarHarness::zoomY()}, {451, 452});
    EXPECT_DOUBLE_EQ(h.model.zooms()[1].start, 40);
    EXPECT_TRUE(h.model.undoStack().empty());
    EXPECT_EQ(h.model.selected(), 1);
    ASSERT_EQ(h.seeks.size(), 1u);
    EXPECT_EQ(h.seeks[0], 40);
}

TEST(TimelineBarGestures, ClickOnEmptyTrackAddsUnderTheButton) {
    BarHarness h;
    h.setZooms({seg(10, 20)});
    h.drag({600, BarHarness::zoomY()}, {});
    ASSERT_EQ(h.model.zooms().size(), 2u);
    // The button's centre is under the mouse: t = 60, segment [59.75, 61.25].
    EXPECT_DOUBLE_EQ(h.model.zooms()[1].start, 59.75);
    EXPECT_DOUBLE_EQ(h.model.zooms()[1].end, 61.25);
    EXPECT_EQ(h.model.selected(), 1);
    EXPECT_EQ(h.model.undoStack().size(), 1u);
}

TEST(TimelineBarGestures, ClickWithoutRoomAddsNothing) {
    BarHarness h;
    // Pills cover everything but gaps narrower than 34 points.
    h.setZooms({seg(0, 30), seg(32, 64), seg(66, 98)});
    h.drag({990, BarHarness::zoomY()}, {});
    EXPECT_EQ(h.model.zooms().size(), 3u);
    EXPECT_TRUE(h.model.undoStack().empty());
}

TEST(TimelineBarGestures, DraggingIntoTheNeighbourStopsTwoPointsBefore) {
    BarHarness h;
    h.setZooms({seg(10, 20), seg(30, 40)});
    h.drag({150, BarHarness::zoomY()}, {200, 300, 500});
    EXPECT_DOUBLE_EQ(h.model.zooms()[0].end, 29.8);
    EXPECT_DOUBLE_EQ(h.model.zooms()[0].start, 19.8);
    EXPECT_EQ(h.model.undoStack().size(), 1u);
}

TEST(TimelineBarGestures, LeftTrimHandleStopsBeforeTheRight) {
    BarHarness h;
    h.model.setTrimEnd(50);
    h.sync();
    // The left handle sits at x 6 to 11.
    h.drag({8, BarHarness::videoY()}, {300, 900});
    EXPECT_DOUBLE_EQ(h.model.trimStart(), 49.7);
    EXPECT_EQ(h.model.trimEnd(), 50);
    EXPECT_EQ(h.model.undoStack().size(), 1u);
    h.model.undo();
    EXPECT_EQ(h.model.trimStart(), 0);
}

TEST(TimelineBarGestures, VideoTrackSeeksAndSelects) {
    BarHarness h;
    h.drag({250, BarHarness::videoY()}, {});
    EXPECT_TRUE(h.model.videoSelected());
    ASSERT_EQ(h.seeks.size(), 1u);
    EXPECT_DOUBLE_EQ(h.seeks[0], 25);
    h.model.setVideoSelected(false);
    h.seeks.clear();
    h.drag({250, BarHarness::videoY()}, {260, 400});
    EXPECT_FALSE(h.model.videoSelected()); // a scrub does not select
    EXPECT_DOUBLE_EQ(h.seeks.back(), 40);
    EXPECT_TRUE(h.model.undoStack().empty());
}

TEST(TimelineBarGestures, AddButtonFollowsTheMouseAndHidesDuringDrags) {
    BarHarness h;
    EXPECT_FALSE(h.bar.addButtonLeft().has_value());
    h.send(QEvent::MouseMove, {10, BarHarness::zoomY()}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(h.bar.addButtonLeft(), 0);
    h.send(QEvent::MouseMove, {990, BarHarness::zoomY()}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(h.bar.addButtonLeft(), kW - 34);
    h.send(QEvent::MouseMove, {500, BarHarness::videoY()}, Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(h.bar.addButtonLeft().has_value());
}

TEST(TimelineBarGestures, PressBesideATrimHandleSeeksAndSelects) {
    BarHarness h;
    h.model.setTrimStart(20);
    h.model.setTrimEnd(60);
    h.sync();
    // The left handle covers x 206 to 211, the right one 589 to 594.
    for (double x : {203.0, 213.0, 586.0, 597.0}) {
        h.seeks.clear();
        h.model.setVideoSelected(false);
        h.drag({x, BarHarness::videoY()}, {});
        ASSERT_EQ(h.seeks.size(), 1u) << "at " << x;
        EXPECT_DOUBLE_EQ(h.seeks[0], x / 10) << "at " << x;
        EXPECT_TRUE(h.model.videoSelected()) << "at " << x;
    }
    // Dragging from beside a handle scrubs; the trim stays where it was.
    h.drag({203, BarHarness::videoY()}, {250, 300});
    EXPECT_EQ(h.model.trimStart(), 20);
    EXPECT_EQ(h.model.trimEnd(), 60);
    EXPECT_DOUBLE_EQ(h.seeks.back(), 30);
    EXPECT_TRUE(h.model.undoStack().empty());
    // The handle itself still trims, as one undo step.
    h.drag({208, BarHarness::videoY()}, {228});
    EXPECT_DOUBLE_EQ(h.model.trimStart(), 22);
    EXPECT_EQ(h.model.undoStack().size(), 1u);
}

TEST(TimelineBarGestures, ADragThatMovesNothingRecordsNoUndoStep) {
    BarHarness h;
    // A press on a handle and a release where it began.
    h.drag({8, BarHarness::videoY()}, {});
    // The left handle pushed left at the start of the take, and the right one
    // pushed right at its end: the trim cannot change.
    h.drag({8, BarHarness::videoY()}, {4, 0, -40});
    h.drag({992, BarHarness::videoY()}, {996, 1000, 1040});
    EXPECT_EQ(h.model.trimStart(), 0);
    EXPECT_EQ(h.model.trimEnd(), kD);
    EXPECT_TRUE(h.model.undoStack().empty());

    // A segment at the very start pushed left, and one held against its
    // neighbour: nothing moves, nothing to undo.
    h.setZooms({seg(0, 10), seg(10.5, 20)});
    h.drag({50, BarHarness::zoomY()}, {40, 10});
    EXPECT_EQ(h.model.zooms()[0].start, 0);
    EXPECT_TRUE(h.model.undoStack().empty());
    h.drag({150, BarHarness::zoomY()}, {140, 120}); // up against the first: it moves there
    const double against = h.model.zooms()[1].start;
    EXPECT_DOUBLE_EQ(against, 10.2); // two points after the neighbour
    EXPECT_EQ(h.model.undoStack().size(), 1u);
    h.model.clearUndo();
    h.drag({150, BarHarness::zoomY()}, {140, 100});
    EXPECT_EQ(h.model.zooms()[1].start, against);
    EXPECT_TRUE(h.model.undoStack().empty());
    // Once it does move, the drag is one undo step.
    h.drag({150, BarHarness::zoomY()}, {160, 200});
    EXPECT_EQ(h.model.undoStack().size(), 1u);
}

// Counts the paint events a widget receives and the area they cover.
class PaintCounter : public QObject {
public:
    int paints = 0;
    QRegion area;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++paints;
            area += static_cast<QPaintEvent*>(e)->region();
        }
        return false;
    }
    void reset() {
        paints = 0;
        area = {};
    }
};

// Runs the event loop for a tenth of a second, so that the window's first
// exposures are all delivered.
void settle() {
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST(TimelineBarRepaints, UnchangedInputsRepaintNothingAndAPlayheadMoveRepaintsItsStrips) {
    TimelineBar bar;
    bar.resize(1000, static_cast<int>(kBarHeight));
    PaintCounter counter;
    bar.installEventFilter(&counter);
    TimelineBar::Inputs in;
    in.duration = 100;
    in.zooms = {seg(10, 20)};
    in.current = 30;
    in.trimEnd = 100;
    bar.setInputs(in);
    bar.show();
    settle();
    ASSERT_GE(counter.paints, 1);

    // A paused window pushes the same inputs at its time signal's rate.
    counter.reset();
    for (int i = 0; i < 120; ++i) {
        bar.setInputs(in);
        QApplication::processEvents();
    }
    EXPECT_EQ(counter.paints, 0);

    // The playhead moves from x 300 to x 400: only the two strips are drawn.
    in.current = 40;
    bar.setInputs(in);
    QApplication::processEvents();
    EXPECT_GE(counter.paints, 1);
    EXPECT_TRUE(counter.area.contains(QRect(295, 0, 10, 80)));
    EXPECT_TRUE(counter.area.contains(QRect(395, 0, 10, 80)));
    EXPECT_FALSE(counter.area.contains(QPoint(350, 40)));
    long covered = 0;
    for (const QRect& r : counter.area) {
        covered += long(r.width()) * r.height();
    }
    EXPECT_LT(covered, 1000 * 86 / 10);

    // An edit repaints the whole bar, once.
    counter.reset();
    in.zooms = {seg(10, 25)};
    bar.setInputs(in);
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);
    EXPECT_EQ(counter.area, QRegion(bar.rect()));
}

namespace {

// Pixels in column x of the sound strip that stand out from the strip's
// background (the waveform's own colour), counted over the strip's height.
// The strip's first row is never drawn on: the waveform keeps 2 points clear.
int wavePixels(const QImage& img, const QRectF& strip, int x) {
    const QRgb background = img.pixel(x, static_cast<int>(strip.top()) + 1);
    int lit = 0;
    for (int y = static_cast<int>(strip.top()) + 1; y < static_cast<int>(strip.bottom()) - 1; ++y) {
        const QRgb c = img.pixel(x, y);
        if (std::abs(qRed(c) - qRed(background)) + std::abs(qGreen(c) - qGreen(background)) +
                std::abs(qBlue(c) - qBlue(background)) > 60) {
            ++lit;
        }
    }
    return lit;
}

} // namespace

TEST(TimelineBarWaveform, StripShowsTheSoundWhereItIsAndOnlyWithSound) {
    BarHarness h;
    h.bar.show();
    // Without sound: no strip, the bar keeps its height and draws the zoom
    // track right under the video track.
    EXPECT_FALSE(h.bar.hasWaveform());
    EXPECT_EQ(h.bar.height(), static_cast<int>(kBarHeight));
    EXPECT_TRUE(h.bar.waveRect().isEmpty());
    const QImage silent = h.bar.grab().toImage();

    // 100 s of sound in 10 ms buckets: loud from 20 to 30 s, a single loud
    // bucket at 70 s, quiet (a tenth) from 50 to 60 s, silent elsewhere.
    std::vector<float> peaks(10000, 0.0f);
    std::fill(peaks.begin() + 2000, peaks.begin() + 3000, 0.9f);
    std::fill(peaks.begin() + 5000, peaks.begin() + 6000, 0.1f);
    peaks[7000] = 1.0f;
    h.bar.setWaveform(peaks, 0.01);
    QApplication::processEvents();
    ASSERT_TRUE(h.bar.hasWaveform());
    EXPECT_EQ(h.bar.height(), static_cast<int>(kBarHeightWithSound));
    const QRectF strip = h.bar.waveRect();
    EXPECT_EQ(strip, QRectF(0, kVideoHeight + kTrackGap, kW, kWaveHeight));
    const QImage img = h.bar.grab().toImage();
    ASSERT_EQ(img.height(), static_cast<int>(kBarHeightWithSound));

    // Loud: most of the strip's height; quiet: a little; silent: nothing.
    for (int x : {205, 250, 295}) {
        EXPECT_GE(wavePixels(img, strip, x), static_cast<int>(0.8 * (kWaveHeight - 4))) << x;
    }
    for (int x : {550, 580}) {
        EXPECT_GE(wavePixels(img, strip, x), 1) << x;
        EXPECT_LE(wavePixels(img, strip, x), 4) << x;
    }
    for (int x : {100, 190, 310, 450, 650, 690, 710, 900}) {
        EXPECT_EQ(wavePixels(img, strip, x), 0) << x;
    }
    // One 10 ms bucket in a column of 100 ms still shows at full height.
    EXPECT_GE(wavePixels(img, strip, 700), static_cast<int>(0.8 * (kWaveHeight - 4)));

    // The video track above is drawn as without sound.
    EXPECT_EQ(img.copy(0, 0, static_cast<int>(kW), static_cast<int>(kVideoHeight)),
              silent.copy(0, 0, static_cast<int>(kW), static_cast<int>(kVideoHeight)));

    // A take without sound again: the strip and the extra height go.
    h.bar.setWaveform({}, 0.01);
    EXPECT_FALSE(h.bar.hasWaveform());
    EXPECT_EQ(h.bar.height(), static_cast<int>(kBarHeight));
    EXPECT_EQ(h.bar.grab().toImage(), silent);
}

TEST(TimelineBarWaveform, TheZoomTrackMovesDownAndTheStripSeeks) {
    BarHarness h;
    h.bar.resize(static_cast<int>(kW), static_cast<int>(kBarHeightWithSound));
    h.setZooms({seg(10, 20)});
    h.bar.setWaveform(std::vector<float>(10000, 0.5f), 0.01);
    const double stripY = kVideoHeight + kTrackGap + kWaveHeight / 2;
    const double zoomY = kVideoHeight + kTrackGap + kWaveHeight + kTrackGap + kZoomHeight / 2;

    // A press on the strip seeks like one on the video track.
    h.send(QEvent::MouseButtonPress, QPointF(400, stripY), Qt::LeftButton, Qt::LeftButton);
    h.send(QEvent::MouseButtonRelease, QPointF(400, stripY), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(h.seeks.size(), 1u);
    EXPECT_DOUBLE_EQ(h.seeks[0], 40.0);
    EXPECT_TRUE(h.model.videoSelected());

    // The zoom track now sits under the strip: a press there selects the pill.
    h.seeks.clear();
    h.send(QEvent::MouseButtonPress, QPointF(150, zoomY), Qt::LeftButton, Qt::LeftButton);
    h.send(QEvent::MouseButtonRelease, QPointF(150, zoomY), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(h.model.selected(), std::optional<int>(0));
    EXPECT_FALSE(h.model.videoSelected());
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

TEST(TimelineBarSections, ACutIsANarrowGapThatStaysClickableAndABoundaryDragIsOneStep) {
    BarHarness h;
    h.model.splitAt(30);
    h.model.splitAt(60);
    h.model.setSectionCut(1, true);
    h.model.clearUndo();
    h.sync();
    const BarScale& scale = h.bar.scale();
    ASSERT_FALSE(scale.identity());
    const auto x = [&](double t) { return scale.toBar(t) / scale.barDuration() * kW; };
    // The 30 s cut is a 10-point gap; the kept 70 s share the rest.
    EXPECT_NEAR(x(60) - x(30), BarScale::kGap, 1e-9);
    EXPECT_NEAR(x(30), 30 * (kW - BarScale::kGap) / 70, 1e-9);
    EXPECT_NEAR(x(100), kW, 1e-9);
    for (double t : {0.0, 12.5, 30.0, 45.0, 60.0, 99.0}) {
        EXPECT_NEAR(scale.toTake(scale.toBar(t)), t, 1e-9);
    }

    // A click in the gap picks the cut part (to restore it) and seeks into it.
    h.drag({x(45), BarHarness::videoY()}, {});
    EXPECT_EQ(h.model.selectedSection(), 1);
    EXPECT_TRUE(h.model.videoSelected());
    ASSERT_FALSE(h.seeks.empty());
    EXPECT_NEAR(h.seeks.back(), 45, 1e-6);
    h.drag({x(80), BarHarness::videoY()}, {});
    EXPECT_EQ(h.model.selectedSection(), 2);
    EXPECT_NEAR(h.seeks.back(), 80, 1e-6) << "the seek is in take time";

    // A zoom after the cut is drawn and dragged on the same scale.
    h.setZooms({seg(70, 75)});
    h.drag({x(72), BarHarness::zoomY()}, {x(72) + 20, x(72) + 40});
    EXPECT_NEAR(h.model.zooms()[0].start, 70 + 40 * 70 / (kW - BarScale::kGap), 0.05);

    // The boundary at the end of the take's first part drags from 30 s to 20 s
    // in one undo step.
    h.model.clearUndo();
    h.drag({x(30) - 1, BarHarness::videoY()}, {x(28), x(24), x(20)});
    EXPECT_NEAR(h.model.sections()[1].start, 20, 0.05);
    EXPECT_EQ(h.model.undoStack().size(), 1U);
    h.model.undo();
    h.sync();
    EXPECT_DOUBLE_EQ(h.model.sections()[1].start, 30);
    // Pressed on a boundary without moving: nothing changes.
    h.drag({h.bar.scale().toBar(60) / h.bar.scale().barDuration() * kW, BarHarness::videoY()},
           {h.bar.scale().toBar(60) / h.bar.scale().barDuration() * kW + 1});
    EXPECT_DOUBLE_EQ(h.model.sections()[2].start, 60);
    EXPECT_TRUE(h.model.undoStack().empty());

    // The gap is hatched over a dimmed ground: darker than a kept part.
    QImage shot(h.bar.size(), QImage::Format_ARGB32_Premultiplied);
    shot.fill(Qt::black);
    h.bar.render(&shot);
    const auto grey = [&](int x0, int width) {
        int sum = 0;
        for (int px = x0; px < x0 + width; ++px) {
            for (int y = 26; y < 34; ++y) {
                sum += qGray(shot.pixel(px, y));
            }
        }
        return sum / (8.0 * width);
    };
    const int gap = static_cast<int>(std::ceil(h.bar.scale().toBar(30) / h.bar.scale().barDuration() * kW));
    EXPECT_LT(grey(gap + 1, 8), grey(200, 8) - 10) << "cut: dimmed";

    // A 2x part is drawn half as wide: the bar runs on output time.
    h.model.setSectionCut(1, false);
    h.model.beginEdit();
    h.model.setSectionSpeed(2, 2);
    h.sync();
    const BarScale& sped = h.bar.scale();
    ASSERT_FALSE(sped.identity());
    EXPECT_DOUBLE_EQ(sped.barDuration(), 30 + 30 + 20);
    EXPECT_DOUBLE_EQ(sped.toBar(80), 60 + 10);
    EXPECT_DOUBLE_EQ(sped.toTake(70), 80);
    h.drag({875, BarHarness::videoY()}, {});
    EXPECT_NEAR(h.seeks.back(), 80, 1e-6) << "x = 875 is 70 of 80 s of output, 80 s of the take";

    // Without room for the gaps the bar keeps take time.
    EXPECT_TRUE(BarScale({test::section(0, 30), test::section(30, 60, 1, true),
                          test::section(60, 100)},
                         kD, 12)
                    .identity());
    EXPECT_TRUE(BarScale({}, kD, kW).identity());
}
