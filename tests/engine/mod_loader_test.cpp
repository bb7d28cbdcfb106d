// MOD loader: the tag variants, periods turned into notes, sample headers
// and data, and files that lie about their sizes.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "loaders/loaders.h"
#include "support/player_fixture.h"
#include "support/mod_builder.h"

namespace moddeck {
namespace {

using test::BuildMOD;
using test::EmptyMODPattern;
using test::MODSampleSpec;
using test::MODSpec;
using test::SetMODCell;

using ModLoader = test::PlayerTest;

// A song whose one pattern has a marked cell in the last channel of the last
// row, and one sample after it: both land in place only when the loader
// takes the variant's row width, header count and order-table size.
MODSpec MarkedSong(const std::string& tag, int channels) {
    MODSpec desc;
    desc.tag = tag;
    desc.channels = channels;
    desc.patterns = {EmptyMODPattern(channels)};
    SetMODCell(desc.patterns[0], channels, 63, channels - 1, 1, 428, 0x0C, 0x20);
    desc.samples = {MODSampleSpec{"lead", 2, 0, 64, 0, 0, {0x11, 0x22, 0x33, 0x44}}};
    return desc;
}

void ExpectMarkedSong(const Mod& song, int channels) {
    EXPECT_EQ(song.isXM, 0u);
    EXPECT_EQ(song.isS3M, 0u);
    EXPECT_EQ(song.nbChannels, channels);
    ASSERT_EQ(song.nbPatterns, 1);
    const ModPattern& p = song.patterns[0];
    EXPECT_EQ(p.nbRows, 64);
    for (int ch = 0; ch < kMaxChannels; ch++) EXPECT_EQ(p.tracks[ch] != nullptr, ch < channels) << ch;
    const ModCell& cell = p.tracks[channels - 1][63];
    EXPECT_EQ(cell.instrument, 1);
    EXPECT_EQ(cell.period, 428);
    EXPECT_EQ(cell.note, 49);
    EXPECT_EQ(cell.effect, Effect::SetVolume);
    EXPECT_EQ(cell.param, 0x20);
    EXPECT_EQ(p.tracks[0][0].note, -1);
    ASSERT_NE(song.samples[1].data, nullptr);
    EXPECT_EQ(song.samples[1].length, 4);
    EXPECT_EQ(song.samples[1].data[0], 0x11 * 256);
    EXPECT_EQ(song.samples[1].data[3], 0x44 * 256);
    EXPECT_STREQ(song.samples[1].name, "lead");
    EXPECT_STREQ(song.title, "mod test");
}

struct TagCase {
    const char* tag;
    int channels;
    int afterTag = 0;
};

void PrintTo(const TagCase& c, std::ostream* os) {
    *os << c.tag << " (" << c.channels << " channels)";
}

class ModTag : public test::PlayerTest, public ::testing::WithParamInterface<TagCase> {};

TEST_P(ModTag, ReadsChannelsAndThirtyOneSamples) {
    const TagCase& c = GetParam();
    MODSpec desc = MarkedSong(c.tag, c.channels);
    desc.afterTag = c.afterTag;
    desc.samples.resize(31);
    desc.samples[30] = MODSampleSpec{"last", 1, 0, 40, 0, 0, {0x01, 0x02}};
    const Mod& song = Taken(BuildMOD(desc));
    ExpectMarkedSong(song, c.channels);
    ASSERT_NE(song.samples[31].data, nullptr);
    EXPECT_EQ(song.samples[31].data[1], 0x02 * 256);
    EXPECT_EQ(song.samples[31].volume, 40);
}

INSTANTIATE_TEST_SUITE_P(Variants, ModTag,
                         ::testing::Values(TagCase{"M.K.", 4}, TagCase{"6CHN", 6}, TagCase{"8CHN", 8},
                                           TagCase{"16CH", 16}, TagCase{"FLT4", 4}, TagCase{"FLT8", 8},
                                           TagCase{"4FLT", 4}, TagCase{"8FLT", 8}, TagCase{"2CHN", 2},
                                           TagCase{"32CH", 32}, TagCase{"M!K!", 4}, TagCase{"M&K!", 4},
                                           TagCase{"FEST", 4}, TagCase{"NSMS", 4}, TagCase{"LARD", 4},
                                           TagCase{"CD61", 6}, TagCase{"CD81", 8}, TagCase{"OKTA", 8},
                                           TagCase{"OCTA", 8}, TagCase{"FA06", 6, 4}, TagCase{"TDZ3", 3}),
                         [](const auto& info) {
                             std::string name;  // tags differ in their marks too: "M.K.", "M!K!"
                             for (char c : std::string(info.param.tag))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c)
                                                                                     : std::to_string(int{c});
                             return name;
                         });

TEST_F(ModLoader, SixteenChannelTagAfterLongOrderTable) {
    MODSpec desc = MarkedSong("", 16);
    desc.longTag = true;
    desc.songLength = 200;
    desc.orders.assign(256, 0);
    desc.orders[199] = 1;  // beyond 128: only a 256-entry table holds it
    desc.patterns.push_back(EmptyMODPattern(16));
    SetMODCell(desc.patterns[1], 16, 0, 0, 2, 856, 0, 0);
    const std::vector<uint8_t> bytes = BuildMOD(desc);
    ASSERT_EQ(std::string(bytes.begin() + 1208, bytes.begin() + 1212), "16CH");
    const Mod& song = Taken(bytes);
    EXPECT_EQ(song.songLength, 200);
    EXPECT_EQ(song.orders[199], 1);
    ASSERT_EQ(song.nbPatterns, 2);
    EXPECT_EQ(song.nbChannels, 16);
    EXPECT_EQ(song.patterns[1].tracks[0][0].instrument, 2);
    EXPECT_EQ(song.patterns[1].tracks[0][0].note, 37);
    EXPECT_EQ(song.patterns[0].tracks[15][63].period, 428);
    ASSERT_NE(song.samples[1].data, nullptr);
    EXPECT_EQ(song.samples[1].data[0], 0x11 * 256);
}

TEST_F(ModLoader, UntaggedFileHasFifteenSamplesAndFourChannels) {
    MODSpec desc = MarkedSong("", 4);
    desc.samples.resize(15);
    desc.samples[14] = MODSampleSpec{"fifteen", 1, 0, 64, 0, 0, {0x05, 0x06}};
    const std::vector<uint8_t> bytes = BuildMOD(desc);
    ASSERT_EQ(bytes.size(), 600u + 1024u + 4u + 2u);
    const Mod& song = Taken(bytes);
    ExpectMarkedSong(song, 4);
    ASSERT_NE(song.samples[15].data, nullptr);
    EXPECT_EQ(song.samples[15].data[0], 0x05 * 256);
    for (int s = 16; s < kSampleSlots; s++) EXPECT_EQ(song.samples[s].data, nullptr) << s;

    // An unknown tag is read as none: 15 headers, the pattern read from 600,
    // inside the 31-header block.
    const Mod& unknown = Taken(BuildMOD(MarkedSong("9ABC", 4)));
    EXPECT_EQ(unknown.nbChannels, 4);
    EXPECT_TRUE(unknown.samples[16].data == nullptr && unknown.samples[16].name[0] == 0);
}

TEST_F(ModLoader, PeriodsBecomeNotesOfTheFinetuneZeroRow) {
    const int periods[] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,  // notes 37..48
                           428, 113, 907, 0, 900};
    const int notes[] = {37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 72, 36, -1, -1};
    MODSpec desc = MarkedSong("M.K.", 4);
    for (int i = 0; i < 17; i++) SetMODCell(desc.patterns[0], 4, i, 0, 0, periods[i], 0, 0);
    const Mod& song = Taken(BuildMOD(desc));
    for (int i = 0; i < 17; i++) {
        EXPECT_EQ(song.patterns[0].tracks[0][i].note, notes[i]) << "period " << periods[i];
        EXPECT_EQ(song.patterns[0].tracks[0][i].period, periods[i]);
    }
}

TEST_F(ModLoader, PatternBreakParameterIsDecimal) {
    MODSpec desc = MarkedSong("M.K.", 4);
    SetMODCell(desc.patterns[0], 4, 0, 1, 0, 0, 0x0D, 0x32);
    SetMODCell(desc.patterns[0], 4, 0, 2, 0, 0, 0x0B, 0x32);
    SetMODCell(desc.patterns[0], 4, 0, 3, 0x1F, 0, 0, 0);
    const Mod& song = Taken(BuildMOD(desc));
    EXPECT_EQ(song.patterns[0].tracks[1][0].param, 32);
    EXPECT_EQ(song.patterns[0].tracks[2][0].param, 0x32);
    EXPECT_EQ(song.patterns[0].tracks[3][0].instrument, 0x1F);  // high nibble from the first byte
}

TEST_F(ModLoader, PatternCountComesFromPlayedPositionsOnly) {
    MODSpec desc = MarkedSong("M.K.", 4);
    desc.songLength = 0;
    desc.orders = {5, 7};
    EXPECT_EQ(Taken(BuildMOD(desc)).nbPatterns, 1);

    desc.songLength = 2;
    desc.orders = {0, 3, 9};
    desc.patterns.assign(4, EmptyMODPattern(4));
    EXPECT_EQ(Taken(BuildMOD(desc)).nbPatterns, 4);
}

TEST_F(ModLoader, FinetuneIsASignedNibble) {
    MODSpec desc = MarkedSong("M.K.", 4);
    const uint8_t bytes[] = {0x0F, 0x08, 0x07, 0x00};
    const int expected[] = {-1, -8, 7, 0};
    desc.samples.clear();
    for (uint8_t b : bytes) desc.samples.push_back(MODSampleSpec{"", 0, b, 64, 0, 0, {}});
    const Mod& song = Taken(BuildMOD(desc));
    for (int i = 0; i < 4; i++) EXPECT_EQ(song.samples[i + 1].finetune, expected[i]) << i;
}

// Headers no tracker writes are no module: a song longer than the order
// table, a finetune byte beyond its nibble, a volume above 64, a loop far
// past its sample, an order naming pattern 128 or more; patterns cut by the
// end of the file are a module cut short.
TEST_F(ModLoader, ImplausibleHeadersAreRefused) {
    std::vector<MODSpec> bad(6, MarkedSong("M.K.", 4));
    bad[0].songLength = 200;
    bad[1].samples[0].finetune = 0x17;
    bad[2].samples[0].volume = 65;
    bad[3].samples[0].loopStartWords = 10;
    bad[3].samples[0].loopLengthWords = 10;
    bad[4].orders = {128};
    bad[5].songLength = 3;
    bad[5].orders = {0, 1, 2};
    for (size_t i = 0; i < bad.size(); i++)
        EXPECT_EQ(Refused(BuildMOD(bad[i])), i == 5 ? Refusal::TruncatedPatterns : Refusal::NotAModule) << i;
}

TEST_F(ModLoader, SampleHeaderWordsBecomeFrames) {
    MODSpec desc = MarkedSong("M.K.", 4);
    desc.samples[0].lengthWords = 0x1000;
    desc.samples[0].loopStartWords = 0x0100;
    desc.samples[0].loopLengthWords = 0x0200;
    desc.samples[0].data.assign(8192, 0x7F);
    desc.samples[0].data[0] = 0x80;
    const Mod& song = Taken(BuildMOD(desc));
    const ModSample& s = song.samples[1];
    EXPECT_EQ(s.length, 8192);
    EXPECT_EQ(s.loopStart, 512);
    EXPECT_EQ(s.loopLength, 1024);
    ASSERT_NE(s.data, nullptr);
    EXPECT_EQ(s.data[0], -32768);
    EXPECT_EQ(s.data[8191], 32512);
    for (int i = 8192; i < 8202; i++) EXPECT_EQ(s.data[i], 0) << i;  // the guard frames
}

TEST_F(ModLoader, SampleLongerThanTheFileIsCutToIt) {
    MODSpec desc = MarkedSong("M.K.", 4);
    desc.samples[0].lengthWords = 0xFFFF;
    desc.samples[0].data = {1, 2, 3, 4, 5};
    desc.samples.push_back(MODSampleSpec{"after", 100, 0, 64, 0, 0, {}});
    const Mod& song = Taken(BuildMOD(desc));
    EXPECT_EQ(song.samples[1].length, 5);
    ASSERT_NE(song.samples[1].data, nullptr);
    EXPECT_EQ(song.samples[1].data[4], 5 * 256);
    EXPECT_EQ(song.samples[1].data[14], 0);
    EXPECT_EQ(song.samples[2].length, 0);
    EXPECT_EQ(song.samples[2].data, nullptr);
}

}  // namespace
}  // namespace moddeck
