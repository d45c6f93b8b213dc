// The error-or type every fallible call returns: kinds from system errors,
// errors passing up unchanged through layers, and success without a value.
#include "timeline/Result.h"
#include "timeline/TextFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

using namespace orvane;

namespace {

Result<int> parse(bool ok) {
    if (!ok) {
        return Result<int>::failure(ErrorKind::Corrupt, "not a number");
    }
    return 42;
}

// An error of a lower layer goes up as it is, kind and message.
Result<std::unique_ptr<int>> wrap(bool ok) {
    auto parsed = parse(ok);
    if (!parsed) {
        return parsed.errorValue();
    }
    return std::make_unique<int>(parsed.value());
}

Result<void> check(bool ok) {
    if (!ok) {
        return Error{ErrorKind::NoSpace, "the disk is full"};
    }
    return {};
}

} // namespace

TEST(ResultTest, ValuesAndErrorsPassThroughLayers) {
    auto good = wrap(true);
    ASSERT_TRUE(good);
    EXPECT_EQ(*good.value(), 42);

    auto bad = wrap(false);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.errorKind(), ErrorKind::Corrupt);
    EXPECT_EQ(bad.error(), "not a number");

    EXPECT_TRUE(check(true));
    const Result<void> full = check(false);
    ASSERT_FALSE(full);
    EXPECT_EQ(full.errorKind(), ErrorKind::NoSpace);
    EXPECT_EQ(full.error(), "the disk is full");
}

TEST(ResultTest, SystemErrorsMapToKindsACallerCanBranchOn) {
    EXPECT_EQ(errorKindFromErrno(ENOSPC), ErrorKind::NoSpace);
    EXPECT_EQ(errorKindFromErrno(EDQUOT), ErrorKind::NoSpace);
    EXPECT_EQ(errorKindFromErrno(EACCES), ErrorKind::Permission);
    EXPECT_EQ(errorKindFromErrno(EROFS), ErrorKind::Permission);
    EXPECT_EQ(errorKindFromErrno(ENOENT), ErrorKind::NotFound);
    EXPECT_EQ(errorKindFromErrno(EISDIR), ErrorKind::Invalid);
    EXPECT_EQ(errorKindFromErrno(ECANCELED), ErrorKind::Cancelled);
    EXPECT_EQ(errorKindFromErrno(EIO), ErrorKind::Io);
    EXPECT_STREQ(errorKindName(ErrorKind::NoSpace), "no space");
    EXPECT_STREQ(errorKindName(ErrorKind::Io), "I/O");
}

TEST(ResultTest, FileReadsSayWhatKindOfFailureTheyMet) {
    auto missing = readTextFile("/nonexistent/orvane/clicks.json");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.errorKind(), ErrorKind::NotFound);
    EXPECT_EQ(missing.error(), "no such file");

    auto folder = readTextFile("/tmp");
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.errorKind(), ErrorKind::Invalid);
}
