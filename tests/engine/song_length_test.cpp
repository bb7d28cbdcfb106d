// The song's length, found by running its sequencer without sound: how
// speed, jumps back and pattern loops count, the time of each order entry
// that the song time follows, and the subsongs of an order table.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/effects.h"
#include "engine/song_length.h"
#include "loaders/commands.h"
#include "support/song_builder.h"

namespace moddeck {
namespace {

using test::SongBuilder;

// Two patterns of 64 rows at 6 ticks a row and 50 ticks a second: 7.68 s each.
constexpr double kPatternSeconds = 64 * 6 / 50.0;

TEST(SongLength, EndsJumpsBackAndLoopsCountAsTheyPlay) {
    SongBuilder plain(FileFormat::MOD, 4, 2);
    SubsongLength t = MeasureSong(plain.song());
    EXPECT_TRUE(t.complete);
    EXPECT_NEAR(t.seconds, 2 * kPatternSeconds, 1e-6);
    EXPECT_LT(t.loopSeconds, 0) << "it ends, to start again from the top";
    const SongMap map = MapSong(plain.song());
    ASSERT_EQ(map.orders.size(), 2u);
    EXPECT_NEAR(map.orders[1].seconds, kPatternSeconds, 1e-4);

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
    const auto* bytes = reinterpret_cast<const uint8_t*>(&looped.song());
    const std::vector<uint8_t> record(bytes, bytes + sizeof(Mod));
    t = MeasureSong(looped.song());
    EXPECT_LT(t.loopSeconds, 0);
    EXPECT_GE(t.seconds, 2 * kPatternSeconds + 2 * 6 * 6 / 50.0 - 1e-6);
    EXPECT_EQ(std::memcmp(record.data(), bytes, record.size()), 0) << "the song itself is not touched";
}

// An order table whose later part the song never reaches holds a subsong
// there, from the first entry left out; a song that reaches every entry is
// one.
TEST(SongLength, EntriesNoEarlierSubsongReachesMakeOneOfTheirOwn) {
    SongBuilder parts(FileFormat::MOD, 4, 3);
    parts.Put(0, 63, 0, -1, 0, kPositionJump, 0);
    const SongMap map = MapSong(parts.song());
    ASSERT_EQ(map.subsongs.size(), 2u);
    EXPECT_EQ(map.subsongs[1].firstOrder, 1);
    EXPECT_NEAR(map.subsongs[1].seconds, 2 * kPatternSeconds, 1e-6);
    SongBuilder whole(FileFormat::MOD, 4, 3);
    EXPECT_EQ(MapSong(whole.song()).subsongs.size(), 1u);
}

}  // namespace
}  // namespace moddeck
