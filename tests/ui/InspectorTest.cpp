// The inspector rail and its value texts, the transport rules and the
// shortcuts list, against a Recorder on test doubles of the platform.
#include "FakeBackend.h"

#include "app/Recorder.h"
#include "ui/AudioSection.h"
#include "ui/CompositionPanel.h"
#include "ui/InspectorRail.h"
#include "ui/InspectorTexts.h"
#include "ui/SectionPanel.h"
#include "ui/SegmentPanel.h"
#include "ui/ShortcutsSheet.h"
#include "ui/SliderRow.h"
#include "ui/Theme.h"
#include "ui/ToggleSwitch.h"
#include "ui/TransportRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "TimelineFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <utility>

using namespace orvane;

namespace {

ZoomEffect seg(double s, double e) {
    return test::segment(s, e);
}

class InspectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        rec.setDuration(20);
        rec.setTrimEnd(20);
        rec.setZooms({seg(2, 2.3), seg(5, 8)});
    }
    test::FakeBackend backend;
    Recorder rec{backend, backend};
};

// Moves a slider to the step nearest `value` on a row spanning [lo, hi].
void moveTo(SliderRow* row, double lo, double hi, double value) {
    QSlider* s = row->slider();
    s->setValue(static_cast<int>(std::lround((value - lo) / (hi - lo) * s->maximum())));
}

} // namespace

TEST(InspectorTexts, ValueTexts) {
    EXPECT_EQ(InspectorTexts::duration(0.5), QStringLiteral("0.5s"));
    EXPECT_EQ(InspectorTexts::transition(0.01), QStringLiteral("snap"));
    EXPECT_EQ(InspectorTexts::transition(0.02), QStringLiteral("2%"));
    EXPECT_EQ(InspectorTexts::transition(0.379), QStringLiteral("37%")); // truncated
    EXPECT_EQ(InspectorTexts::roundedPercent(0.22), QStringLiteral("22%"));
    EXPECT_EQ(InspectorTexts::roundedPercent(0.005), QStringLiteral("1%")); // rounded
    EXPECT_EQ(InspectorTexts::corners(14), QStringLiteral("14"));
    EXPECT_EQ(InspectorTexts::corners(13.6), QStringLiteral("14"));
    EXPECT_EQ(InspectorTexts::zoomLevel(2.14), QStringLiteral("2.1×"));
    EXPECT_EQ(InspectorTexts::focus(0.999), QStringLiteral("99%"));
}

TEST(TransportRules, TimesAndLimits) {
    using namespace TransportRules;
    EXPECT_EQ(mmss(59.5), QStringLiteral("1:00"));
    EXPECT_EQ(mmss(-3), QStringLiteral("0:00"));
    EXPECT_EQ(mmss(NAN), QStringLiteral("0:00"));
    EXPECT_EQ(mmss(INFINITY), QStringLiteral("0:00"));
    EXPECT_EQ(mmss(75), QStringLiteral("1:15"));
    EXPECT_EQ(mmss(3600), QStringLiteral("60:00"));
    // Skips clamp to the trim range, or to the duration without one.
    EXPECT_EQ(seekByTarget(3, -5, 1, 8, 10), 1);
    EXPECT_EQ(seekByTarget(6, 5, 1, 8, 10), 8);
    EXPECT_EQ(seekByTarget(6, 5, 0, 0, 10), 10);
    // Play restarts at or after trimEnd - 0.05, or before trimStart.
    EXPECT_TRUE(playRestartsFromTrimStart(7.95, 1, 8));
    EXPECT_FALSE(playRestartsFromTrimStart(7.94, 1, 8));
    EXPECT_TRUE(playRestartsFromTrimStart(0.5, 1, 8));
    // The periodic check wraps at trimEnd - 0.03 while playing.
    EXPECT_TRUE(wrapsAtTrimEnd(true, 7.97, 1, 8));
    EXPECT_FALSE(wrapsAtTrimEnd(true, 7.96, 1, 8));
    EXPECT_FALSE(wrapsAtTrimEnd(false, 7.99, 1, 8));
    EXPECT_FALSE(wrapsAtTrimEnd(true, 7.99, 8, 8));
}

TEST(ShortcutsSheet, ListsTheSevenShortcutsInOrderThenTheSectionOnes) {
    const auto items = ShortcutsSheet::windowItems();
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items[7].first, QStringLiteral("S"));
    EXPECT_EQ(items[9].first, QStringLiteral("Ctrl Shift Z"));
    EXPECT_EQ(items[0].first, QStringLiteral("Space"));
    EXPECT_EQ(items[1].second, QStringLiteral("Add zoom at the playhead"));
    EXPECT_EQ(items[3].first, QStringLiteral("← / →"));
    EXPECT_EQ(items[5].first, QStringLiteral("Ctrl Z"));
    EXPECT_EQ(items[6].first, QStringLiteral("Ctrl E"));
    EXPECT_EQ(items[6].second, QStringLiteral("Export the video"));
    ShortcutsSheet sheet(items);
    EXPECT_EQ(sheet.width(), 420);
}

TEST_F(InspectorTest, HeaderFollowsTheSelection) {
    InspectorRail rail(rec);
    EXPECT_EQ(rail.width(), 340);
    EXPECT_EQ(rail.headerTitle(), QStringLiteral("Composition"));
    rec.setSelected(1);
    EXPECT_EQ(rail.headerTitle(), QStringLiteral("Zoom"));
    EXPECT_EQ(rail.currentPanel(), rail.segmentPanel());
    rec.setSelected(std::nullopt);
    rec.setVideoSelected(true);
    EXPECT_EQ(rail.headerTitle(), QStringLiteral("Video"));
    rec.setSelected(7); // stale: not a valid zoom
    EXPECT_EQ(rail.headerTitle(), QStringLiteral("Video"));
    // The window wires the deselect button to the Escape action.
    QObject::connect(&rail, &InspectorRail::deselectClicked, [&] {
        rec.setSelected(std::nullopt);
        rec.setVideoSelected(false);
    });
    rail.deselectButton()->click();
    EXPECT_EQ(rail.headerTitle(), QStringLiteral("Composition"));
}

TEST_F(InspectorTest, ShortZoomShowsHalfASecondAndTheSliderSetsTheEnd) {
    SegmentPanel panel(rec);
    panel.setIndex(0);
    EXPECT_EQ(panel.durationRow()->valueText(), QStringLiteral("0.5s"));
    panel.durationRow()->slider()->setSliderDown(true);
    moveTo(panel.durationRow(), 0.5, 8, 2.0);
    panel.durationRow()->slider()->setSliderDown(false);
    EXPECT_NEAR(rec.zooms()[0].end, 4.0, 0.01);
    EXPECT_EQ(rec.undoStack().size(), 1u);
}

TEST_F(InspectorTest, EachSliderDragIsOneUndoStep) {
    SegmentPanel panel(rec);
    panel.setIndex(1);
    QSlider* s = panel.zoomRow()->slider();
    s->setSliderDown(true);
    for (double v : {1.6, 2.0, 2.4, 3.0}) {
        moveTo(panel.zoomRow(), 1.4, 3.2, v);
    }
    s->setSliderDown(false);
    EXPECT_NEAR(rec.zooms()[1].zoom, 3.0, 0.002);
    ASSERT_EQ(rec.undoStack().size(), 1u);
    rec.undo();
    EXPECT_EQ(rec.zooms()[1].zoom, 1.5);

    panel.setIndex(1);
    panel.transitionRow()->slider()->setSliderDown(true);
    moveTo(panel.transitionRow(), 0, 1, 0.01);
    EXPECT_EQ(panel.transitionRow()->valueText(), QStringLiteral("snap"));
    panel.transitionRow()->slider()->setSliderDown(false);
    EXPECT_NEAR(rec.zooms()[1].smooth, 0.01, 1e-9);
    EXPECT_EQ(rec.undoStack().size(), 1u);
}

TEST_F(InspectorTest, FocusLockOnShowsBothRowsAtFiftyPercent) {
    SegmentPanel panel(rec);
    panel.show();
    panel.setIndex(1);
    EXPECT_FALSE(panel.focusXRow()->isVisible());
    panel.focusSwitch()->setChecked(true);
    EXPECT_EQ(rec.zooms()[1].fx, 0.5);
    EXPECT_EQ(rec.zooms()[1].fy, 0.5);
    EXPECT_TRUE(panel.focusXRow()->isVisible());
    EXPECT_TRUE(panel.focusYRow()->isVisible());
    EXPECT_EQ(panel.focusXRow()->valueText(), QStringLiteral("50%"));
    EXPECT_EQ(panel.focusYRow()->valueText(), QStringLiteral("50%"));
    EXPECT_EQ(rec.undoStack().size(), 1u);

    // Moving Focus X keeps Y.
    panel.focusXRow()->slider()->setSliderDown(true);
    moveTo(panel.focusXRow(), 0, 1, 0.8);
    panel.focusXRow()->slider()->setSliderDown(false);
    EXPECT_NEAR(*rec.zooms()[1].fx, 0.8, 1e-9);
    EXPECT_EQ(rec.zooms()[1].fy, 0.5);

    panel.focusSwitch()->setChecked(false);
    EXPECT_FALSE(rec.zooms()[1].fx.has_value());
    EXPECT_FALSE(panel.focusXRow()->isVisible());
    EXPECT_EQ(rec.undoStack().size(), 3u);
}

TEST_F(InspectorTest, FocusLockIsASwitchThatAClickFlips) {
    SegmentPanel panel(rec);
    panel.resize(300, 400);
    panel.show();
    panel.setIndex(1);
    ToggleSwitch* lock = panel.focusSwitch();
    EXPECT_EQ(lock->text(), QStringLiteral("Lock focus point"));
    EXPECT_TRUE(panel.findChildren<QCheckBox*>().isEmpty()) << "a check box, not a switch";

    // What the switch shows: the knob at the left on an unlit track when off,
    // at the right on the accent colour when on.
    const auto knobSide = [&] {
        const QImage img = lock->grab().toImage();
        const QRect track = lock->trackRect();
        const QColor left = img.pixelColor(track.left() + track.height() / 2, track.center().y());
        const QColor right = img.pixelColor(track.right() - track.height() / 2, track.center().y());
        const bool knobLeft = left.lightness() > 240;
        const bool knobRight = right.lightness() > 240;
        const QColor rest = knobRight ? left : right;
        return std::make_pair(knobLeft == knobRight ? 0 : (knobLeft ? -1 : 1), rest);
    };
    const QColor accent = Theme::color(Theme::Color::accent);
    auto [side, trackColour] = knobSide();
    EXPECT_EQ(side, -1);
    EXPECT_NE(trackColour.rgb(), accent.rgb());

    // A click on the switch locks the focus at the middle, as one undo step.
    QTest::mouseClick(lock, Qt::LeftButton, Qt::NoModifier, lock->trackRect().center());
    EXPECT_TRUE(lock->isChecked());
    EXPECT_EQ(rec.zooms()[1].fx, 0.5);
    EXPECT_EQ(rec.zooms()[1].fy, 0.5);
    EXPECT_TRUE(panel.focusXRow()->isVisible());
    EXPECT_EQ(rec.undoStack().size(), 1u);
    std::tie(side, trackColour) = knobSide();
    EXPECT_EQ(side, 1);
    EXPECT_EQ(trackColour.rgb(), accent.rgb());

    // A click on its label flips it back.
    QTest::mouseClick(lock, Qt::LeftButton, Qt::NoModifier, QPoint(10, lock->height() / 2));
    EXPECT_FALSE(lock->isChecked());
    EXPECT_FALSE(rec.zooms()[1].fx.has_value());
    EXPECT_EQ(rec.undoStack().size(), 2u);
    // The label and the track both fit.
    EXPECT_GE(lock->width(), lock->sizeHint().width());
}

TEST_F(InspectorTest, StaleIndexShowsFallbacksAndWritesNothing) {
    SegmentPanel panel(rec);
    panel.setIndex(5);
    EXPECT_EQ(panel.durationRow()->valueText(), QStringLiteral("1.5s"));
    EXPECT_EQ(panel.focusXRow()->valueText(), QStringLiteral("50%"));
    const auto before = rec.zooms();
    panel.zoomRow()->slider()->setSliderDown(true);
    moveTo(panel.zoomRow(), 1.4, 3.2, 3.0);
    panel.zoomRow()->slider()->setSliderDown(false);
    panel.focusSwitch()->setChecked(true);
    EXPECT_EQ(rec.zooms(), before);
    EXPECT_TRUE(rec.undoStack().empty());
}

TEST_F(InspectorTest, CompositionWritesTheLookWithoutUndo) {
    CompositionPanel panel(rec);
    moveTo(panel.paddingRow(), 0, 0.22, 0.22);
    EXPECT_NEAR(rec.padding(), 0.22, 1e-9);
    EXPECT_EQ(panel.paddingRow()->valueText(), QStringLiteral("22%"));
    moveTo(panel.cornersRow(), 0, 36, 14);
    EXPECT_EQ(panel.cornersRow()->valueText(), QStringLiteral("14"));
    moveTo(panel.blurRow(), 0, 1, 0.5);
    EXPECT_NEAR(rec.bgBlur(), 0.5, 1e-9);
    EXPECT_TRUE(rec.undoStack().empty());
    // Swatches: five gradients then 27 images; a click selects.
    ASSERT_EQ(panel.swatches().size(), 32u);
    panel.swatches()[6]->click();
    EXPECT_EQ(rec.background(), 6);
    EXPECT_TRUE(panel.swatches()[6]->isChecked());
    EXPECT_FALSE(panel.swatches()[0]->isChecked());
    // The format menu lists the five formats and writes the index.
    ASSERT_EQ(panel.formatMenu()->count(), 5);
    EXPECT_EQ(panel.formatMenu()->itemText(3), QStringLiteral("Vertical 9:16"));
    panel.formatMenu()->setCurrentIndex(2);
    EXPECT_EQ(rec.formatIndex(), 2);
}

// The Audio section: hidden without sound, a row per source the take has,
// the volume in percent, one undo step per drag and per mute, and the look
// handed to the preview and the export carries the mix.
TEST_F(InspectorTest, AudioSectionSetsTheMixWithOneUndoStepPerDrag) {
    CompositionPanel panel(rec);
    AudioSection* audio = panel.audioSection();
    ASSERT_NE(audio, nullptr);
    EXPECT_TRUE(audio->isHidden()) << "no sound, no Audio section";

    panel.setSoundKinds({SoundKind::Microphone});
    EXPECT_FALSE(audio->isHidden());
    SliderRow* mic = audio->volumeRow(SoundKind::Microphone);
    EXPECT_FALSE(mic->isHidden());
    EXPECT_FALSE(audio->muteSwitch(SoundKind::Microphone)->isHidden());
    EXPECT_TRUE(audio->volumeRow(SoundKind::Desktop)->isHidden()) << "a row for a track that is not there";
    EXPECT_TRUE(audio->muteSwitch(SoundKind::Desktop)->isHidden());
    EXPECT_EQ(mic->valueText(), QStringLiteral("100%"));
    EXPECT_EQ(mic->slider()->value(), mic->slider()->maximum() / 2);

    // One drag through several values: one undo step.
    mic->slider()->setSliderDown(true);
    for (double v : {1.2, 1.5, 1.8}) {
        moveTo(mic, 0, 2, v);
    }
    mic->slider()->setSliderDown(false);
    EXPECT_NEAR(rec.soundMix().microphoneVolume, 1.8, 0.002);
    EXPECT_EQ(mic->valueText(), QStringLiteral("180%"));
    EXPECT_NEAR(rec.look().sound.microphoneVolume, 1.8, 0.002) << "the look leaves the mix out";
    ASSERT_EQ(rec.undoStack().size(), 1u);

    // The mute switch: a click flips it, one more step.
    panel.setSoundKinds({SoundKind::Microphone, SoundKind::Desktop});
    ToggleSwitch* mute = audio->muteSwitch(SoundKind::Desktop);
    EXPECT_FALSE(mute->isHidden());
    QTest::mouseClick(mute, Qt::LeftButton, Qt::NoModifier, mute->trackRect().center());
    EXPECT_TRUE(rec.soundMix().desktopMuted);
    EXPECT_FALSE(rec.soundMix().microphoneMuted);
    EXPECT_TRUE(rec.look().sound.desktopMuted);
    ASSERT_EQ(rec.undoStack().size(), 2u);

    rec.undo();
    EXPECT_FALSE(rec.soundMix().desktopMuted);
    EXPECT_FALSE(mute->isChecked()) << "the switch does not follow undo";
    EXPECT_NEAR(rec.soundMix().microphoneVolume, 1.8, 0.002);
    rec.undo();
    EXPECT_EQ(rec.soundMix(), SoundMix{});
    EXPECT_EQ(mic->valueText(), QStringLiteral("100%")) << "the slider does not follow undo";
    EXPECT_TRUE(rec.undoStack().empty());

    panel.setSoundKinds({});
    EXPECT_TRUE(audio->isHidden());
}

TEST_F(InspectorTest, TheSectionPanelSetsSpeedMuteAndCutOneStepEach) {
    rec.splitAt(10);
    rec.clearUndo();
    rec.setSelectedSection(1);
    SectionPanel panel(rec);
    ASSERT_EQ(panel.presetButtons().size(), 6U);
    EXPECT_EQ(panel.presetButtons()[3]->text(), QStringLiteral("2x"));
    EXPECT_TRUE(panel.presetButtons()[1]->isChecked()) << "1x to begin with";
    panel.presetButtons()[3]->click();
    EXPECT_EQ(rec.sections()[1].speed, 2);
    EXPECT_TRUE(panel.presetButtons()[3]->isChecked());
    EXPECT_FALSE(panel.presetButtons()[1]->isChecked());
    EXPECT_EQ(panel.note(), QStringLiteral("0:10 of the take plays in 0:05."));
    EXPECT_EQ(rec.undoStack().size(), 1U);

    // A slider drag to 12x is one more step, and says the sound is left out.
    QSlider* s = panel.speedRow()->slider();
    s->setSliderDown(true);
    for (double v : {4.0, 8.0, 12.0}) {
        moveTo(panel.speedRow(), 0.25, 16, v);
    }
    s->setSliderDown(false);
    EXPECT_NEAR(rec.sections()[1].speed, 12, 0.1);
    EXPECT_EQ(rec.undoStack().size(), 2U);
    EXPECT_TRUE(panel.note().endsWith(QStringLiteral("Above 4x its sound is left out.")));

    panel.muteSwitch()->click();
    EXPECT_TRUE(rec.sections()[1].muted);
    panel.cutButton()->click();
    EXPECT_TRUE(rec.sections()[1].cut);
    EXPECT_FALSE(panel.speedRow()->isEnabled()) << "a cut part has no speed to set";
    EXPECT_EQ(rec.undoStack().size(), 4U);
    // The other section is untouched, and undo walks back one step at a time.
    EXPECT_EQ(rec.sections()[0], (Section{0, 10, false, 1, false}));
    rec.undo();
    rec.undo();
    EXPECT_FALSE(rec.sections()[1].muted);
    EXPECT_NEAR(rec.sections()[1].speed, 12, 0.1);

    // Undivided, the panel works on the whole take.
    Recorder whole{backend, backend};
    whole.setDuration(8);
    SectionPanel wholePanel(whole);
    wholePanel.presetButtons()[4]->click();
    ASSERT_EQ(whole.sections().size(), 1U);
    EXPECT_DOUBLE_EQ(whole.timeMap().outputTime(8), 2);
}
