// The texts a module shows: its About view and its instrument view, built
// through libmoddeck from files made byte by byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/song_texts.h"
#include "support/mod_builder.h"
#include "support/s3m_builder.h"

using namespace moddeck;
using namespace moddeck::test;

namespace {

// Loads `bytes` and hands the song to `check`.
template <typename Check>
void WithSong(const std::vector<uint8_t>& bytes, Check check) {
    moddeck_song* song = moddeck_song_load(bytes.data(), bytes.size(), nullptr);
    ASSERT_NE(song, nullptr);
    check(song);
    moddeck_song_free(song);
}

MODSampleSpec Sample(const std::string& name, uint16_t words, uint16_t loopStart = 0, uint16_t loopLength = 1) {
    return {name, words, 0, 48, loopStart, loopLength, std::vector<uint8_t>(size_t(2) * words, 9)};
}

}  // namespace

TEST(Utf8Prefix, CutsBeforeACharacterThatDoesNotFit) {
    EXPECT_EQ(Utf8Prefix("abc\xe2\x82\xac!", 5), "abc");  // the euro sign straddles the end
    EXPECT_EQ(Utf8Prefix("ab\xc3\xa9z", 5), "ab\xc3\xa9z");  // fits exactly
    EXPECT_EQ(Utf8Prefix("abcd\xc3\xa9", 5), "abcd");   // two-byte character cut after its lead
}

TEST(SongTexts, TheTitleAndTheNamesOfSamplesWithDataThenTheNumberedSlots) {
    MODSpec desc;
    desc.title = "Ocean Loader";
    desc.samples = {Sample("", 0), Sample("bass", 5), Sample("", 0), Sample("", 0), Sample("snare\x1b", 4, 1, 2),
                    Sample("", 0), Sample("no data", 0)};
    desc.samples[4].finetune = 0x0F;
    desc.patterns = {EmptyMODPattern(4)};
    WithSong(BuildMOD(desc), [](const moddeck_song* song) {
        const AboutTexts about = AboutTextsOf(song);
        EXPECT_EQ(about.title, "Ocean Loader");
        EXPECT_EQ(about.samples, "bass\nsnare\x1b\n") << "the screen filters control bytes when it shows them";
        const std::vector<std::string> lines = {
            "  1 -                            0  no loop              vol 48  fine   +0",
            "  2 bass                        10  no loop              vol 48  fine   +0",
            "  3 -                            0  no loop              vol 48  fine   +0",
            "  4 -                            0  no loop              vol 48  fine   +0",
            "  5 snare?                       8  loop 2+4             vol 48  fine   -1",
            "  6 -                            0  no loop              vol 48  fine   +0",
            "  7 no data                      0  no loop              vol 48  fine   +0",
        };
        EXPECT_EQ(InstrumentLines(song), lines);
    });
}

TEST(SongTexts, SampleNamesAreCutToTheirPageAtACharacterBoundary) {
    S3MSpec desc;
    std::string name;
    while (name.size() < 28) name += "\xC3\xA9";  // e acute, two bytes each
    for (int s = 0; s < 150; s++) {
        S3MSampleSpec sample;
        sample.name = name;
        sample.length = 4;
        sample.data = std::vector<uint8_t>(4, 128);
        desc.samples.push_back(sample);
    }
    desc.patterns = {{}};
    WithSong(BuildS3M(desc), [](const moddeck_song* song) {
        const std::string samples = AboutTextsOf(song).samples;
        EXPECT_LE(samples.size(), kSampleNamesBytes);
        EXPECT_GT(samples.size(), kSampleNamesBytes - 3);
        // The text never ends inside a two-byte sequence.
        EXPECT_TRUE(samples.back() == '\n' || static_cast<unsigned char>(samples.back()) == 0xA9);
    });
}
