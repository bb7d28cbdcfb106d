// The texts a module shows: its About view and its instrument view, built
// through libmoddeck from files made byte by byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/song_texts.h"
#include "support/it_builder.h"
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

// The message is every name in slot order, empty ones included, decoded
// per name: CP437 (most trackers), Latin-1, control bytes as spaces.
TEST(SongTexts, TheTitleAndEveryNameAsTheMessageThenTheNumberedSlots) {
    MODSpec desc;
    desc.title = "Caf\x82 \xb0\xb1\xb2";
    desc.samples = {Sample("", 0), Sample("bass", 5), Sample("", 0), Sample("", 0), Sample("snare\x1b", 4, 1, 2),
                    Sample("", 0), Sample("d\xe9j\xe0 vu", 0)};
    desc.samples[4].finetune = 0x0F;
    desc.patterns = {EmptyMODPattern(4)};
    WithSong(BuildMOD(desc), [](const moddeck_song* song) {
        const AboutTexts about = AboutTextsOf(song);
        EXPECT_EQ(about.title, "Caf\xc3\xa9 \xe2\x96\x91\xe2\x96\x92\xe2\x96\x93");
        EXPECT_EQ(about.samples, "\nbass\n\n\nsnare\n\nd\xc3\xa9j\xc3\xa0 vu\n");
        const std::vector<std::string> lines = {
            "  1 -                            0  no loop              vol 48  fine   +0",
            "  2 bass                        10  no loop              vol 48  fine   +0",
            "  3 -                            0  no loop              vol 48  fine   +0",
            "  4 -                            0  no loop              vol 48  fine   +0",
            "  5 snare                        8  loop 2+4             vol 48  fine   -1",
            "  6 -                            0  no loop              vol 48  fine   +0",
            "  7 d\xc3\xa9j\xc3\xa0 vu                      0  no loop              vol 48  fine   +0",
        };
        EXPECT_EQ(InstrumentLines(song), lines);
    });
}

// The largest message a file can give (every name of three-byte
// characters) fits whole.
TEST(SongTexts, TheLongestMessageIsWhole) {
    S3MSpec desc;
    const std::string name(28, '\xB1');  // CP437 shade, three bytes in UTF-8
    for (int s = 0; s < 150; s++) {
        S3MSampleSpec sample;
        sample.name = name;
        sample.length = 4;
        sample.data = std::vector<uint8_t>(4, 128);
        desc.samples.push_back(sample);
    }
    desc.patterns = {{}};
    WithSong(BuildS3M(desc), [](const moddeck_song* song) {
        EXPECT_EQ(AboutTextsOf(song).samples.size(), size_t{150} * (28 * 3 + 1));
    });
}

// An IT song's message comes first; its instruments and its sample slots
// are listed apart, since the instruments share the slots.
TEST(SongTexts, AnITSongsMessageThenItsInstrumentsAndSlots) {
    ITSpec desc;
    desc.flags = 4;
    desc.message = "Hello\rworld";
    desc.instruments = {ITInstrumentSpec{}};
    desc.instruments[0].name = "lead";
    desc.samples = {ITSampleSpec{}};
    desc.samples[0].name = "saw";
    desc.patterns = {{64, {}}};
    WithSong(BuildIT(desc), [](const moddeck_song* song) {
        EXPECT_EQ(AboutTextsOf(song).samples, "Hello\nworld\n\nlead\n\nsaw\n");
        const std::vector<std::string> lines = InstrumentLines(song);
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[1], "  1 lead");
        EXPECT_EQ(lines[3], "Samples:");
    });
}
