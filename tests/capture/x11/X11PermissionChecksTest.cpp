#include "X11TestSupport.h"

#include "capture/x11/X11PermissionChecks.h"

#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::test;

namespace {

TEST(X11PermissionChecksTest, AReadableDisplayWithXInputAllowsBoth) {
    X11PermissionChecks checks;
    EXPECT_TRUE(checks.screenCaptureAllowed());
    EXPECT_TRUE(checks.inputObservable());
    EXPECT_TRUE(checks.requestInputAccess());
    EXPECT_TRUE(checks.screenProblem().isEmpty());
    EXPECT_TRUE(checks.inputProblem().isEmpty());
}

TEST(X11PermissionChecksTest, NoDisplayAllowsNothing) {
    PrivateXServer server(320, 200);
    ASSERT_TRUE(server.running());
    const std::string gone = server.display();
    server.kill();
    X11PermissionChecks checks(gone);
    EXPECT_FALSE(checks.screenCaptureAllowed());
    EXPECT_FALSE(checks.inputObservable());
    EXPECT_EQ(checks.screenProblem(), "Cannot connect to the X display");
    EXPECT_EQ(checks.inputProblem(), "Cannot connect to the X display");
}

} // namespace
