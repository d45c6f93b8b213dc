// The shared cursor-sample buffer: copies share it, and no copy sees another's change.
#include "timeline/SharedTrack.h"

#include "timeline/Timeline.h"

#include <gtest/gtest.h>

using namespace orvane;

TEST(SharedTrack, CopiesShareOneBufferAndReadTheSameSamples) {
    const SharedTrack a(std::vector<CursorSample>{{0, 0.1, 0.2, false}, {1, 0.3, 0.4, true}});
    const SharedTrack b = a; // NOLINT(performance-unnecessary-copy-initialization)
    EXPECT_TRUE(b.sharesWith(a));
    EXPECT_EQ(&a.front(), &b.front()); // one buffer, not two equal ones
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[1], (CursorSample{1, 0.3, 0.4, true}));
    EXPECT_EQ(b.back().x, 0.3);

    // A timeline copy shares its track the same way.
    Timeline tl;
    tl.track = a;
    const Timeline copy = tl;
    EXPECT_TRUE(copy.track.sharesWith(a));
}

TEST(SharedTrack, AppendingToACopyLeavesTheOthersAlone) {
    SharedTrack a{{0, 0.1, 0.1, false}};
    SharedTrack b = a;
    b.push_back({1, 0.9, 0.9, true});
    EXPECT_FALSE(b.sharesWith(a));
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(a.back().x, 0.1);
    EXPECT_EQ(b.back().x, 0.9);

    // An unshared track grows in place.
    const CursorSample* first = &b.front();
    b.reserve(100);
    first = &b.front();
    b.push_back({2, 0.5, 0.5, false});
    EXPECT_EQ(&b.front(), first);

    b.clear();
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(a.size(), 1u);
}

TEST(SharedTrack, EqualityComparesSamplesNotBuffers) {
    const SharedTrack a{{0, 0.1, 0.1, false}};
    const SharedTrack same{{0, 0.1, 0.1, false}};
    const SharedTrack other{{0, 0.2, 0.1, false}};
    EXPECT_EQ(a, same);
    EXPECT_FALSE(a.sharesWith(same));
    EXPECT_FALSE(a == other);
    EXPECT_EQ(SharedTrack{}, SharedTrack(std::vector<CursorSample>{}));
    EXPECT_FALSE(SharedTrack{}.sharesWith(SharedTrack{}));
    EXPECT_EQ(SharedTrack{}.begin(), SharedTrack{}.end());
}
