// The playlist: stepping through it, skipping what cannot be played in the
// direction of travel, adding to it and replacing it, within its bound.
#include <gtest/gtest.h>

#include "app/playlist.h"

using namespace moddeck;

TEST(Playlist, StepsSkipsTheWayItWentAndStaysWithinItsEnds) {
    Playlist list;
    EXPECT_FALSE(list.Next());
    EXPECT_FALSE(list.Skip());
    list.Replace({"a", "b", "c", "d"});
    EXPECT_EQ(list.current(), "a");
    EXPECT_FALSE(list.Previous()) << "the first file is the first";
    EXPECT_TRUE(list.Skip()) << "a refused first file is passed forward";
    EXPECT_EQ(list.current(), "b");
    ASSERT_TRUE(list.Next());
    ASSERT_TRUE(list.Previous());
    EXPECT_TRUE(list.Skip()) << "going back, a refused file is passed backward";
    EXPECT_EQ(list.current(), "a");
    list.Next(), list.Next(), list.Next();
    EXPECT_EQ(list.index(), 3u);
    EXPECT_FALSE(list.Next());
    EXPECT_FALSE(list.Skip());

    EXPECT_EQ(list.Enqueue({"e"}), 1u);
    EXPECT_EQ(list.current(), "d") << "adding does not move";
    EXPECT_TRUE(list.Next());
    list.Replace({"x"});
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(list.current(), "x");

    EXPECT_EQ(list.Enqueue(std::vector<std::string>(Playlist::kMaxEntries + 5, "y")), Playlist::kMaxEntries - 1);
    EXPECT_EQ(list.size(), Playlist::kMaxEntries);
}
