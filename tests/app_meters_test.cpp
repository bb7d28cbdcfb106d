#include <gtest/gtest.h>

#include "engine/meters.h"
#include "engine/player.h"

using namespace moddeck;

TEST(PublishMeters, PeaksOfTheSongsChannelsRowAndBlocks) {
    Player player;
    player.fastMix = false;  // the plain mixer's buffers, written by hand
    int16_t** v = player.ptrVoices;
    v[0][1] = 1000;
    v[0][2 * 4409] = -20000;     // last frame of the block counts
    v[0][2 * 4410] = 30000;      // rendered ahead of the block: not yet heard
    v[1][7] = -32768;            // the one value without a positive twin
    v[3][0] = 5000;              // a channel the song does not have
    int16_t* missing = v[2];
    v[2] = nullptr;              // missing buffers are skipped
    player.NVoices = 3;
    player.raw = 17;

    player.meters.wanted = false;  // nobody watches: nothing is published
    PublishMeters(player);
    EXPECT_EQ(player.meters.blocks.load(), 0u);
    EXPECT_EQ(player.meters.row.load(), 0);

    player.meters.wanted = true;
    PublishMeters(player);
    EXPECT_EQ(player.meters.peak[0].load(), 20000);
    EXPECT_EQ(player.meters.peak[1].load(), 32767);
    EXPECT_EQ(player.meters.peak[2].load(), 0);
    EXPECT_EQ(player.meters.peak[3].load(), 0);
    EXPECT_EQ(player.meters.row.load(), 17);
    EXPECT_EQ(player.meters.blocks.load(), 1u);

    v[1][7] = 0;
    player.NVoices = 99;  // never past the 32 voices
    PublishMeters(player);
    EXPECT_EQ(player.meters.peak[1].load(), 0) << "each block replaces the last";
    EXPECT_EQ(player.meters.peak[3].load(), 5000);
    EXPECT_EQ(player.meters.blocks.load(), 2u);

    player.fastMix = true;  // the fast mixer keeps each block's peaks as it renders
    player.peaksAhead[1][0] = 1234;
    PublishMeters(player);
    EXPECT_EQ(player.meters.peak[1].load(), 1234);

    v[2] = missing;
    ResetMeters(player.meters);
    EXPECT_EQ(player.meters.blocks.load(), 0u);
}
