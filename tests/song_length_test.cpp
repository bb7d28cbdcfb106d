// The song's length, found by running its sequencer without sound: how
// speed, jumps back and pattern loops count, and the time of each order
// entry that the song time follows.
#include <gtest/gtest.h>

#include "engine/effects.h"
#include "engine/song_length.h"
#include "support/song_builder.h"

namespace moddeck {
namespace {

using test::SongBuilder;

// Two patterns of 64 rows at 6 ticks a row and 50 ticks a second: 7.68 s each.
constexpr double kPatternSeconds = 64 * 6 / 50.0;

TEST(SongLength, EndsJumpsBackAndLoopsCountAsTheyPlay) {
    SongBuilder plain(FileFormat::MOD, 4, 2);
    SongTimeline t = MeasureSong(plain.song());
    EXPECT_TRUE(t.complete);
    EXPECT_NEAR(t.seconds, 2 * kPatternSeconds, 1e-6);
    EXPECT_LT(t.loopSeconds, 0) << "it ends, to start again from the top";
    ASSERT_EQ(t.orderStart.size(), 2u);
    EXPECT_NEAR(OrderStartSeconds(t, 1), kPatternSeconds, 1e-4);
    EXPECT_EQ(OrderStartSeconds(t, 7), 0) << "past the order table";

    // Speed 3 from the first row halves the time.
    SongBuilder fast(FileFormat::MOD, 4, 2);
    fast.Put(0, 0, 0, -1, 0, kSpeedTempo, 3);
    EXPECT_NEAR(MeasureSong(fast.song()).seconds, kPatternSeconds, 1e-6);

    // A jump back to the second entry at the last row never ends: the song
    // is as long as its way to the jump, and goes back to 7.68 s.
    SongBuilder circle(FileFormat::MOD, 4, 2);
    circle.Put(1, 63, 0, -1, 0, kPositionJump, 1);
    t = MeasureSong(circle.song());
    EXPECT_TRUE(t.complete);
    EXPECT_NEAR(t.seconds, 2 * kPatternSeconds, 1e-6);
    EXPECT_NEAR(t.loopSeconds, kPatternSeconds, 1e-6);

    // Rows played again by a pattern loop (from row 4 to the loop's row,
    // twice more) are no loop of the song: they lengthen it.
    SongBuilder looped(FileFormat::MOD, 4, 2);
    looped.Put(0, 4, 0, -1, 0, kExtended, 0x60);
    looped.Put(0, 10, 0, -1, 0, kExtended, 0x62);
    t = MeasureSong(looped.song());
    EXPECT_LT(t.loopSeconds, 0);
    EXPECT_GE(t.seconds, 2 * kPatternSeconds + 2 * 6 * 6 / 50.0 - 1e-6);
    EXPECT_EQ(looped.song().globalVolume, plain.song().globalVolume) << "the song itself is not touched";
}

}  // namespace
}  // namespace moddeck
