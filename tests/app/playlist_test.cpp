// The playlist: stepping through it, skipping what cannot be played in the
// direction of travel, adding to it and replacing it, within its bound.
#include <gtest/gtest.h>

#include <set>

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

TEST(Playlist, ShuffledEveryFilePlaysOnceStartingFromTheCurrentAndLoopingGoesRound) {
    Playlist list;
    std::vector<std::string> names;
    for (int i = 0; i < 50; i++) names.push_back(std::to_string(i));
    list.Replace(names);
    list.Next(), list.Next();
    list.SetShuffle(true);
    EXPECT_EQ(list.current(), "2") << "the file that plays stays";
    EXPECT_EQ(list.index(), 0u);
    list.Enqueue({"new"});
    std::set<std::string> heard = {list.current()};
    while (list.Next()) heard.insert(list.current());
    EXPECT_EQ(heard.size(), 51u) << "each file once, the one added too";
    const std::string last = list.current();
    EXPECT_TRUE(list.Next(true)) << "looping the list goes round";
    EXPECT_EQ(list.index(), 0u);
    EXPECT_TRUE(list.Previous(true));
    EXPECT_EQ(list.current(), last);
    list.SetShuffle(false);
    EXPECT_EQ(list.index(), last == "new" ? 50u : size_t(std::stoi(last))) << "back in order, where it was";

    LoopMode mode = LoopMode::Off;
    for (LoopMode m : {LoopMode::Off, LoopMode::File, LoopMode::List}) {
        EXPECT_TRUE(ParseLoopMode(LoopModeName(m), &mode));
        EXPECT_EQ(mode, m);
    }
    EXPECT_FALSE(ParseLoopMode("on", &mode));
    EXPECT_EQ(NextLoopMode(NextLoopMode(NextLoopMode(LoopMode::File))), LoopMode::File);
}
