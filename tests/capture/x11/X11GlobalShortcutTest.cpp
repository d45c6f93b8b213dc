// The global shortcut on a real X server: pressed with xdotool (XTest) while
// no window of ours has the keyboard, with Caps Lock on too; a combination
// another client holds, and ones no key can make, are refused with a reason.
#include "X11TestSupport.h"

#include "capture/x11/X11GlobalShortcut.h"


#include <gtest/gtest.h>

namespace orvane {
namespace {

using test::waitUntil;
using test::xdotool;

// Counts the shortcut's activations.
struct Presses {
    explicit Presses(GlobalShortcut& s) {
        QObject::connect(&s, &GlobalShortcut::activated, [this] { ++count; });
    }
    // Waits until `n` presses came (or `ms` passed); then whether they did.
    bool reach(int n, int ms = 3000) const {
        return waitUntil([&] { return count >= n; }, ms);
    }
    // Lets `ms` pass, processing events.
    static void settle(int ms) {
        waitUntil([] { return false; }, ms);
    }
    int count = 0;
};

TEST(X11GlobalShortcut, ThePressedCombinationReachesUsWhateverHasTheKeyboard) {
    X11GlobalShortcut shortcut;
    ASSERT_EQ(shortcut.setKeys(QStringLiteral("Ctrl+Shift+R")).toStdString(), "");
    EXPECT_EQ(shortcut.keys(), QStringLiteral("Ctrl+Shift+R"));
    Presses presses(shortcut);
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+r"}));
    ASSERT_TRUE(presses.reach(1));
    // Other keys, and the letter without its modifiers, are not it.
    ASSERT_TRUE(xdotool({"key", "ctrl+r", "shift+r", "r"}));
    Presses::settle(300);
    EXPECT_EQ(presses.count, 1);
    // With Caps Lock on, the same combination still counts.
    ASSERT_TRUE(xdotool({"key", "Caps_Lock"}));
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+r"}));
    EXPECT_TRUE(presses.reach(2));
    ASSERT_TRUE(xdotool({"key", "Caps_Lock"}));

    // Another combination replaces it; empty gives it up.
    ASSERT_EQ(shortcut.setKeys(QStringLiteral("Ctrl+Shift+F9")).toStdString(), "");
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+r"}));
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+F9"}));
    EXPECT_TRUE(presses.reach(3));
    Presses::settle(200);
    EXPECT_EQ(presses.count, 3) << "the old combination was let go";
    EXPECT_EQ(shortcut.setKeys(QString()).toStdString(), "");
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+F9"}));
    Presses::settle(300);
    EXPECT_EQ(presses.count, 3);
}

TEST(X11GlobalShortcut, ACombinationTakenOrImpossibleIsRefusedWithAReason) {
    X11GlobalShortcut first;
    ASSERT_EQ(first.setKeys(QStringLiteral("Ctrl+Shift+R")).toStdString(), "");
    X11GlobalShortcut second;
    const QString taken = second.setKeys(QStringLiteral("Ctrl+Shift+R"));
    EXPECT_EQ(taken, QStringLiteral("Ctrl+Shift+R is already taken by another program"));
    EXPECT_TRUE(second.keys().isEmpty());
    // The first still has it.
    Presses presses(first);
    ASSERT_TRUE(xdotool({"key", "ctrl+shift+r"}));
    EXPECT_TRUE(presses.reach(1));

    for (const char* keys : {"R", "Shift+R", "Ctrl+Shift+", "Ctrl+Hyper+R", "Ctrl+F13", "Ctrl+Space", "Ctrl+Alt+F2"}) {
        X11GlobalShortcut s;
        const QString why = s.setKeys(QString::fromLatin1(keys));
        EXPECT_TRUE(why.contains(QStringLiteral("cannot be a shortcut"))) << keys << ": " << why.toStdString();
    }
}

} // namespace
} // namespace orvane
