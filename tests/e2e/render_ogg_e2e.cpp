// moddeck-render on Ogg Vorbis files: the WAV holds, at the stream's own
// rate, exactly the blocks that OGG_MixNext hands to OpenAL.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "audio/input_file.h"
#include "audio/ogg_player.h"
#include "e2e/capture.h"
#include "support/ogg_encoder.h"

namespace moddeck {
namespace {

// The rate field of a canonical 44-byte WAV header.
uint32_t WaveRate(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t header[28] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    return header[24] | header[25] << 8 | header[26] << 16 | uint32_t(header[27]) << 24;
}

int Render(const std::string& arguments) {
    return std::system((std::string(MODDECK_RENDER) + " " + arguments + " 2>/dev/null").c_str());
}

// Every block OGG_MixNext gives for the file, up to `blocks` or, with 0, up
// to the one that holds the stream's last frames.
std::vector<int16_t> PlayerBlocks(const std::string& path, int blocks) {
    std::vector<int16_t> all;
    std::vector<uint8_t> bytes;
    OggPlayer ogg;
    if (!ReadWholeFile(path.c_str(), bytes, INT32_MAX) || !OpenOggBytes(ogg, bytes.data(), bytes.size())) return all;
    for (int n = 0; blocks == 0 ? ogg.OGG_Status != 0 : n < blocks; ++n) {
        OGG_MixNext(ogg);
        const int16_t* block = reinterpret_cast<const int16_t*>(ogg.OGG_Buffer);
        all.insert(all.end(), block, block + ogg.OGG_BlockBytes / 2);
    }
    return all;
}

TEST(RenderOgg, WritesThePlayersBlocksAtTheStreamsRate) {
    const std::string ogg = test::WorkDir() + "/mono.OGG";
    ASSERT_TRUE(test::WriteBytes(ogg, test::EncodeOggVorbis(test::MakeTones(15000, 1, 22050, {330.0}), {1, 22050})));
    const std::string wav = test::WorkDir() + "/mono.wav";

    ASSERT_EQ(Render(ogg + " " + wav), 0);
    EXPECT_EQ(WaveRate(wav), 22050u);
    const auto whole = PlayerBlocks(ogg, 0);
    EXPECT_EQ(whole.size(), 7u * 4410);  // 15,000 frames: six blocks and a partial one
    EXPECT_EQ(test::ReadWaveSamples(wav), whole);

    // A fixed length goes on with the silence the player sends after the end.
    ASSERT_EQ(Render("--seconds 1.2 " + ogg + " " + wav), 0);
    EXPECT_EQ(test::ReadWaveSamples(wav), PlayerBlocks(ogg, 12));
}

TEST(RenderOgg, RefusesWhatThePlayerRefuses) {
    const std::string bad = test::WorkDir() + "/bad.ogg";
    ASSERT_TRUE(test::WriteBytes(bad, {'n', 'o', 't', ' ', 'o', 'g', 'g'}));
    EXPECT_NE(Render(bad + " " + test::WorkDir() + "/bad.wav"), 0);
}

}  // namespace
}  // namespace moddeck
