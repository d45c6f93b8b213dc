// Permissions: flags change only through refresh, and each missing piece is explained.
#include "FakeBackend.h"

#include "capture/Permissions.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

TEST(Permissions, RefreshReadsBothFlags) {
    FakeChecks checks;
    checks.screen = false;
    checks.input = false;
    Permissions perms(checks);
    EXPECT_FALSE(perms.screen());
    EXPECT_FALSE(perms.accessibility());
    QSignalSpy screenSpy(&perms, &Permissions::screenChanged);
    perms.refresh();
    EXPECT_EQ(screenSpy.count(), 0); // still false: no change announced
    checks.screen = true;
    EXPECT_FALSE(perms.screen()); // the system does not notify
    perms.refresh();
    EXPECT_TRUE(perms.screen());
    EXPECT_FALSE(perms.accessibility());
    EXPECT_EQ(screenSpy.count(), 1);
    checks.input = true;
    perms.requestAccessibility();
    EXPECT_TRUE(perms.accessibility());
    EXPECT_EQ(checks.requests, 1);
}

TEST(Permissions, OpenExplainsWhatIsMissing) {
    FakeChecks checks;
    checks.input = false;
    Permissions perms(checks);
    EXPECT_EQ(perms.open(QStringLiteral("Privacy_Accessibility")), QStringLiteral("no XInput"));
    EXPECT_EQ(perms.open(QStringLiteral("Privacy_ScreenCapture")), QString());
    EXPECT_EQ(perms.open(QStringLiteral("bogus")), QString());
}
