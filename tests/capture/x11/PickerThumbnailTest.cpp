// The content picker opens at once with placeholders and its pictures arrive
// from a worker with its own X connection; a window that is gone keeps its
// placeholder.
#include "X11TestSupport.h"

#include "capture/x11/PickerDialog.h"
#include "capture/x11/ThumbnailLoader.h"
#include "capture/x11/X11ContentPicker.h"
#include "capture/x11/X11PickerDialogs.h"
#include "capture/x11/X11Source.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace orvane;
using namespace orvane::test;

namespace {

// The picker's dialog (the window's, which withPickerDialog() gave it), or
// null when none is open.
PickerDialog* dialogOf(X11ContentPicker& picker) {
    return static_cast<X11PickerDialogs*>(picker.presenter())->dialog();
}

// Gives `picker` the dialog the window shows.
void withPickerDialog(X11ContentPicker& picker) {
    picker.setPresenter(std::make_unique<X11PickerDialogs>());
}

constexpr std::uint32_t kRed = 0xC02020;

int indexOfWindow(const PickerDialog& dialog, xcb_window_t id) {
    for (std::size_t i = 0; i < dialog.entries().size(); ++i) {
        const CaptureContent& c = dialog.entries()[i].content;
        if (c.kind == CaptureContent::Kind::Window && x11WindowId(c) == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CaptureContent screenContent() {
    CaptureContent c;
    c.kind = CaptureContent::Kind::Display;
    c.area = QRectF(0, 0, 1920, 1200);
    c.source = X11Source::monitor(0);
    return c;
}

CaptureContent windowContent(xcb_window_t id, QRectF area) {
    CaptureContent c;
    c.kind = CaptureContent::Kind::Window;
    c.area = area;
    c.source = X11Source::window(id);
    return c;
}

} // namespace

TEST(PickerThumbnails, TheDialogIsShownBeforeThePicturesAndThePicturesArrive) {
    TestWindow target(100, 100, 320, 200, kRed);
    target.setTitle("Picture me");
    target.map();
    syncX();

    X11ContentPicker picker;
    withPickerDialog(picker);
    picker.setActive(true);
    picker.present();
    PickerDialog* dialog = dialogOf(picker);
    ASSERT_NE(dialog, nullptr);
    // On screen straight away, every entry still a placeholder: no picture has
    // been read on this thread, and none can have been delivered yet.
    EXPECT_TRUE(dialog->isVisible());
    const int targetIndex = indexOfWindow(*dialog, target.id());
    ASSERT_GE(targetIndex, 0);
    ASSERT_EQ(dialog->entries()[0].content.kind, CaptureContent::Kind::Display);
    for (std::size_t i = 0; i < dialog->entries().size(); ++i) {
        EXPECT_FALSE(dialog->hasThumbnail(static_cast<int>(i))) << "entry " << i;
        EXPECT_TRUE(dialog->entries()[i].thumbnail.isNull()) << "entry " << i;
    }

    // Then the pictures come in.
    ASSERT_TRUE(waitUntil(
        [&] { return dialog->hasThumbnail(0) && dialog->hasThumbnail(targetIndex); }, 10000));
    const QImage window = dialog->entries()[static_cast<std::size_t>(targetIndex)].thumbnail;
    EXPECT_EQ(window.size(), QSize(160, 100)); // 320 x 200 scaled down, aspect kept
    EXPECT_TRUE(near(window.pixel(80, 50) & 0xFFFFFF, kRed)) << std::hex << window.pixel(80, 50);
    // The screen's picture shows the window where it is: 100...420 of 1920 across.
    const QImage screen = dialog->entries()[0].thumbnail;
    EXPECT_EQ(screen.size(), QSize(160, 100));
    EXPECT_TRUE(near(screen.pixel(21, 16) & 0xFFFFFF, kRed)) << std::hex << screen.pixel(21, 16);
    EXPECT_FALSE(near(screen.pixel(80, 80) & 0xFFFFFF, kRed));

    dialog->reject();
    EXPECT_TRUE(waitUntil([&] { return dialogOf(picker) == nullptr; }));
}

TEST(PickerThumbnails, AWindowThatIsGoneKeepsItsPlaceholder) {
    TestWindow live(50, 600, 200, 200, kRed);
    live.map();
    auto gone = std::make_unique<TestWindow>(400, 600, 200, 200, 0x2020C0);
    gone->map();
    const xcb_window_t goneId = gone->id();
    syncX();

    std::vector<PickerEntry> entries(4);
    entries[0].content = screenContent();
    entries[1].content = windowContent(goneId, QRectF(400, 600, 200, 200));
    entries[2].content = windowContent(live.id(), QRectF(50, 600, 200, 200));
    entries[3].content = windowContent(0, QRectF(0, 0, 10, 10)); // no such window either
    entries[3].content.source = nullptr;
    PickerDialog dialog(entries);
    gone.reset(); // closed after it was listed
    syncX();

    ThumbnailLoader loader;
    std::set<int> arrived;
    int delivered = -1;
    QObject::connect(&loader, &ThumbnailLoader::thumbnailReady, &dialog,
                     &PickerDialog::setThumbnail);
    QObject::connect(&loader, &ThumbnailLoader::thumbnailReady,
                     [&](int index, const QImage&) { arrived.insert(index); });
    QObject::connect(&loader, &ThumbnailLoader::finished, [&](int n) { delivered = n; });
    std::vector<CaptureContent> contents;
    for (const PickerEntry& e : entries) {
        contents.push_back(e.content);
    }
    loader.start({}, contents);
    ASSERT_TRUE(waitUntil([&] { return delivered >= 0; }, 10000));
    EXPECT_EQ(delivered, 2);
    EXPECT_EQ(arrived, (std::set<int>{0, 2}));
    EXPECT_TRUE(dialog.hasThumbnail(0));
    EXPECT_FALSE(dialog.hasThumbnail(1));
    EXPECT_TRUE(dialog.hasThumbnail(2));
    EXPECT_FALSE(dialog.hasThumbnail(3));
    // The list still offers every entry, placeholder or not.
    EXPECT_EQ(dialog.entries().size(), 4u);
}

TEST(PickerThumbnails, BadPicturesAndClosingEarlyChangeNothing) {
    std::vector<PickerEntry> entries(1);
    entries[0].content = screenContent();
    PickerDialog dialog(entries);
    dialog.setThumbnail(0, QImage());
    dialog.setThumbnail(-1, QImage(10, 10, QImage::Format_RGB32));
    dialog.setThumbnail(1, QImage(10, 10, QImage::Format_RGB32));
    EXPECT_FALSE(dialog.hasThumbnail(0));
    EXPECT_FALSE(dialog.hasThumbnail(1));
    // An oversized picture is shrunk into the row, not refused.
    QImage big(1000, 1000, QImage::Format_RGB32);
    big.fill(Qt::green);
    dialog.setThumbnail(0, big);
    EXPECT_TRUE(dialog.hasThumbnail(0));

    // A loader destroyed while its worker runs stops it and delivers nothing more.
    int after = 0;
    {
        ThumbnailLoader loader;
        QObject::connect(&loader, &ThumbnailLoader::thumbnailReady, [&] { ++after; });
        loader.start({}, std::vector<CaptureContent>(200, screenContent()));
    }
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(after, 0);

    // A display that cannot be reached: finished, nothing delivered, no hang.
    ThumbnailLoader lost;
    int delivered = -1;
    QObject::connect(&lost, &ThumbnailLoader::finished, [&](int n) { delivered = n; });
    lost.start(":4093", {screenContent()});
    ASSERT_TRUE(waitUntil([&] { return delivered >= 0; }, 10000));
    EXPECT_EQ(delivered, 0);
}
