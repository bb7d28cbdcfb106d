// The levels MixNext publishes for other threads while they are wanted.
#include <gtest/gtest.h>

#include <vector>

#include "engine/replay.h"
#include "support/song_builder.h"

using namespace moddeck;

TEST(PublishedLevels, PeaksOfTheSongsChannelsOverTheLastRender) {
    // At volume 32 and a channel gain of 2 a voice's values are its sample's,
    // all sent left.
    test::SongBuilder b(FileFormat::MOD, 3);
    b.AddSample(1, test::Constant(4000, 20000), 32).loopLength = 4000;
    b.AddSample(2, test::Constant(100, -32768), 32);  // the one value without a positive twin
    b.Put(0, 0, 0, 24, 1);
    b.Put(0, 0, 1, 24, 2);
    const auto player = test::StartPlayer(b.song());
    for (int c = 0; c < 3; c++) {
        player->channelGain[c] = 2.0f;
        player->pan[c] = 1.0f;
    }
    std::vector<int16_t> out(2 * test::kBlockFrames);
    MixNext(*player, out.data(), 10);  // nobody watches: nothing is published
    EXPECT_EQ(player->levels[0].load(), 0);

    player->levelsWanted = true;
    player->peaks[3] = 5000;  // a channel the song does not have
    MixNext(*player, out.data(), test::kBlockFrames);
    EXPECT_EQ(player->levels[0].load(), 20000);
    EXPECT_EQ(player->levels[1].load(), 32767);
    EXPECT_EQ(player->levels[2].load(), 0);
    EXPECT_EQ(player->levels[3].load(), 0);

    MixNext(*player, out.data(), test::kBlockFrames);
    EXPECT_EQ(player->levels[0].load(), 20000);
    EXPECT_EQ(player->levels[1].load(), 0) << "each render replaces the last: the one-shot sample has ended";
}
