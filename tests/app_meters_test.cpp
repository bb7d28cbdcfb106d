#include <gtest/gtest.h>

#include <vector>

#include "engine/meters.h"
#include "engine/state.h"

using namespace moddeck;

TEST(PublishMeters, PeaksOfTheSongsChannelsRowAndBlocks) {
    std::vector<int16_t> a(2 * 4410 + 2 * 100, 0), b(a.size(), 0), c(a.size(), 0);
    a[1] = 1000;
    a[2 * 4409] = -20000;        // last frame of the block counts
    a[2 * 4410] = 30000;         // rendered ahead of the block: not yet heard
    b[7] = -32768;               // the one value without a positive twin
    c[0] = 5000;                 // a channel the song does not have
    int32_t savedVoices = NVoices, savedRaw = raw;
    ptrVoices[0] = a.data();
    ptrVoices[1] = b.data();
    ptrVoices[2] = nullptr;      // missing buffers are skipped
    ptrVoices[3] = c.data();
    NVoices = 3;
    raw = 17;
    ResetMeters();

    PublishMeters();
    EXPECT_EQ(meterPeak[0].load(), 20000);
    EXPECT_EQ(meterPeak[1].load(), 32767);
    EXPECT_EQ(meterPeak[2].load(), 0);
    EXPECT_EQ(meterPeak[3].load(), 0);
    EXPECT_EQ(meterRow.load(), 17);
    EXPECT_EQ(meterBlocks.load(), 1u);

    b[7] = 0;
    NVoices = 99;  // never past the 32 voices
    PublishMeters();
    EXPECT_EQ(meterPeak[1].load(), 0) << "each block replaces the last";
    EXPECT_EQ(meterPeak[3].load(), 5000);
    EXPECT_EQ(meterBlocks.load(), 2u);

    for (auto& p : ptrVoices) p = nullptr;
    NVoices = savedVoices;
    raw = savedRaw;
    ResetMeters();
    EXPECT_EQ(meterBlocks.load(), 0u);
}
