// The sequencer: tick timing, rows and order positions, loop, delay, break
// and jump, song restart, and the bounds on positions and tempo.
#include <gtest/gtest.h>

#include <vector>

#include "engine/effects.h"
#include "engine/mixer.h"
#include "engine/player.h"
#include "engine/replay.h"
#include "loaders/commands.h"
#include "support/mod_builder.h"
#include "support/player_fixture.h"
#include "support/song_builder.h"

namespace moddeck {
namespace {

using test::Constant;
using test::SongBuilder;

class SequencerTest : public test::PlayerTest {
protected:

    // Plays `n` ticks (no block is mixed, no song restart).
    void Ticks(int n) { test::PlayTicks(*player, n); }

    // The instrument number voice 0 last saw after each of `n` ticks: the
    // tests put instrument row + 1 on every row, so this tells which row played.
    std::vector<int> RowsPlayed(int n) {
        std::vector<int> rows;
        for (int i = 0; i < n; i++) {
            Ticks(1);
            rows.push_back(player->Voices[0].lastinstrument - 1);
        }
        return rows;
    }

    // The order entry, the row and the tick it stands at, and whether the song has ended.
    std::vector<int> Where() const { return {player->order, player->raw, player->ticks, player->new_song}; }

    static void NumberRows(SongBuilder& b, int pattern, int rows) {
        for (int r = 0; r < rows; r++) b.Put(pattern, r, 0, -1, r + 1);
    }
};

// A block plays the ticks that end in it and carries the tail of the last
// one over; a header tempo of 0 plays as 125.
TEST_F(SequencerTest, BlocksCarryTheTailOfTheirLastTick) {
    struct { FileFormat kind; int bpm, tick, tail, nextTail; } cases[] = {
        {FileFormat::MOD, 125, 882, 0, 0}, {FileFormat::XM, 124, 889, 35, 70}, {FileFormat::XM, 0, 882, 0, 0}};
    for (const auto& c : cases) {
        SongBuilder b(c.kind, 4);
        b.song().bpm = c.bpm;
        PlaySong(b.song());
        EXPECT_EQ(player->LEN_TICK, c.tick) << c.bpm;
        test::RenderBlocks(*player, 1);
        EXPECT_EQ(player->tickFramesLeft, c.tail) << c.bpm;
        EXPECT_EQ(Where(), (std::vector<int>{0, 0, 5, 0})) << c.bpm;
        test::RenderBlocks(*player, 1);  // at 124 its first 35 frames end that tick: 35 + 5 * 889 = 4480
        EXPECT_EQ(player->tickFramesLeft, c.nextTail) << c.bpm;
        EXPECT_EQ(Where(), (std::vector<int>{0, 1, 4, 0})) << c.bpm;
    }
}

TEST_F(SequencerTest, TempoSetsTickRateAndLength) {
    SongBuilder b(FileFormat::MOD, 4);
    PlaySong(b.song());
    SetTempo(*player, 125);
    EXPECT_FLOAT_EQ(player->frequencegenerale, 50.0f);
    EXPECT_EQ(player->LEN_TICK, 882);
    SetTempo(*player, 32);
    EXPECT_FLOAT_EQ(player->frequencegenerale, 12.8f);
    EXPECT_EQ(player->LEN_TICK, 3445);
    SetTempo(*player, 255);
    EXPECT_FLOAT_EQ(player->frequencegenerale, 102.0f);
    EXPECT_EQ(player->LEN_TICK, 432);
    SetTempo(*player, 1);
    EXPECT_EQ(player->LEN_TICK, 110250);
    SetTempo(*player, 0);  // no tick length at all: taken as 125
    EXPECT_EQ(player->LEN_TICK, 882);
    SetTempo(*player, 1 << 30);
    EXPECT_GE(player->LEN_TICK, 1);
    // At the lowest rate the fastest tempo still lasts a frame: a tick of none would never end.
    Player slow(b.song(), kMinRate);
    SetTempo(slow, 65535);
    EXPECT_EQ(slow.LEN_TICK, 1);
    SetTempo(slow, 125);
    EXPECT_EQ(slow.LEN_TICK, 160);
}

TEST_F(SequencerTest, SlowestHeaderTempoFitsTheVoiceBuffers) {
    SongBuilder b(FileFormat::S3M, 2);
    b.AddSample(1, Constant(1000, 1000)).loopLength = 1000;
    b.Put(0, 0, 0, 48, 1);
    b.song().bpm = 1;
    PlaySong(b.song());
    ASSERT_TRUE(UsePlainMixer(*player));  // whose voice buffers hold a chunk of a tick at a time
    EXPECT_EQ(player->LEN_TICK, 110250);
    test::RenderBlocks(*player, 30);  // the sanitizer build checks every write
    EXPECT_EQ(player->tickFramesLeft, 2 * 110250 - 30 * test::kBlockFrames);
}

// A jump in a channel after the break's lands on row 0 (MOD, XM), else on
// the break's row; a break's row past the end of its pattern is its row 0.
TEST_F(SequencerTest, JumpAndBreakInOneRowGoToTheGivenPositionAndRow) {
    for (FileFormat kind : {FileFormat::MOD, FileFormat::S3M, FileFormat::XM}) {
        const bool s3m = kind == FileFormat::S3M;
        SongBuilder b(kind, 4, 3);
        b.Put(0, 5, 2, -1, 0, s3m ? 2 : kPositionJump, 2);
        b.Put(0, 5, 3, -1, 0, s3m ? 3 : kPatternBreak, 0x10);
        b.Put(2, 10, 1, -1, 0, s3m ? 3 : kPatternBreak, 0x10);
        b.Put(2, 10, 2, -1, 0, s3m ? 2 : kPositionJump, 1);
        PlaySong(b.song());
        Speed(*player) = 1;
        Ticks(6);
        EXPECT_EQ(Where(), (std::vector<int>{2, 10, 0, 0})) << FormatName(kind);
        Ticks(1);
        EXPECT_EQ(Where(), (std::vector<int>{1, s3m ? 10 : 0, 0, 0})) << FormatName(kind);
    }
}

TEST_F(SequencerTest, PatternLoopPlaysItsBodyOnceMoreForEachCount) {
    // Both channels loop the same rows: each counts its own repeats.
    SongBuilder b(FileFormat::MOD, 2);
    NumberRows(b, 0, 12);
    for (int c = 0; c < 2; c++) {
        b.Cell(0, 4, c).effect = b.Cell(0, 9, c).effect = Effect::PatternLoop;
        b.Cell(0, 9, c).param = 3;
    }
    PlaySong(b.song());
    Speed(*player) = 1;
    std::vector<int> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (int pass = 0; pass < 3; pass++)
        for (int r = 4; r <= 9; r++) expected.push_back(r);
    expected.push_back(10);
    expected.push_back(11);
    EXPECT_EQ(RowsPlayed(static_cast<int>(expected.size())), expected);
}

TEST_F(SequencerTest, PatternDelayPlaysTheRowThreeTimesWithoutRestartingNotes) {
    SongBuilder b(FileFormat::MOD, 1);
    b.AddSample(1, Constant(20000, 1000));
    b.Put(0, 0, 0, 24, 1, kExtended, 0xE2);
    PlaySong(b.song());
    Speed(*player) = 2;
    player->Voices[0].position = test::Position(500);
    Ticks(1);
    EXPECT_GT(player->Voices[0].position, test::Position(500));  // the note did not restart the sample
    const int64_t before = player->Voices[0].position;
    Ticks(3);
    EXPECT_EQ(player->raw, 0);
    EXPECT_GT(player->Voices[0].position, before);
    Ticks(2);
    EXPECT_EQ(player->raw, 1);
    EXPECT_EQ(player->patterndelay, 0);
}

TEST_F(SequencerTest, DelayLoopBreakAndJumpTogether) {
    // Order 0 row 2 plays twice and breaks to row 3 of order 1; there E61
    // plays rows 0..3 of that pattern once more, and row 4 jumps back.
    SongBuilder b(FileFormat::XM, 3, 2, 8);
    b.Put(0, 2, 0, -1, 0, kExtended, 0xE1);
    b.Put(0, 2, 1, -1, 0, kPatternBreak, 3);
    b.Put(1, 3, 0, -1, 0, kExtended, 0x61);
    b.Put(1, 4, 2, -1, 0, kPositionJump, 0);
    PlaySong(b.song());
    Speed(*player) = 1;
    Ticks(4);  // rows 0, 1, 2, 2 again
    EXPECT_EQ(Where(), (std::vector<int>{1, 3, 0, 0}));
    Ticks(1);  // row 3 loops back to row 0, at its end
    EXPECT_EQ(Where(), (std::vector<int>{1, 0, 0, 0}));
    Ticks(4);  // rows 0..3 once more, the loop run out
    EXPECT_EQ(Where(), (std::vector<int>{1, 4, 0, 0}));
    Ticks(1);  // a jump backwards is no song end
    EXPECT_EQ(Where(), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(SequencerTest, SpeedZeroEndsARowOnEveryTickButS3MSpeedAndTempoKeepTheirRange) {
    SongBuilder b(FileFormat::MOD, 1);
    b.Put(0, 0, 0, -1, 0, kSpeedTempo, 0);
    PlaySong(b.song());
    Ticks(3);
    EXPECT_EQ(player->raw, 3);

    SongBuilder s3m(FileFormat::S3M, 3);
    s3m.Put(0, 0, 0, -1, 0, 1, 0);      // A00: the speed stays
    s3m.Put(0, 0, 1, -1, 0, 20, 0x1F);  // T below 32: the tempo stays
    s3m.Put(0, 1, 2, -1, 0, 20, 150);
    PlaySong(s3m.song());
    Ticks(1);
    EXPECT_EQ(Speed(*player), 6);
    EXPECT_EQ(player->LEN_TICK, 882);
    Ticks(6);
    EXPECT_EQ(player->LEN_TICK, 735);
}

// A key's step plays the new entry from its first row; the end of the song
// is told to the player, and when it is not to loop all after is silent.
TEST_F(SequencerTest, OrderStepsStartAtRowZeroAndTheSongsEndIsToldAndCanBeSilent) {
    SongBuilder b(FileFormat::MOD, 1, 2);
    ModSample& s = b.AddSample(1, Constant(64, 8000));
    s.loopLength = 64;  // sounds for as long as the song plays
    b.Put(0, 0, 0, 24, 1);
    PlaySong(b.song());
    Ticks(6 * 5 + 2);
    player->orderSteps += 1;
    Ticks(1);
    EXPECT_EQ(Where(), (std::vector<int>{1, 0, 1, 0}));

    player->loop = false;
    bool loud = false;
    std::vector<int16_t> block(test::kBlockSamples);
    for (int i = 0; i < 100 && !player->published.ended; i++) {
        MixNext(*player, block.data(), test::kBlockFrames);
        for (int16_t v : block) loud |= v != 0;
    }
    EXPECT_TRUE(loud);
    EXPECT_TRUE(player->published.ended);
    for (int16_t v : test::RenderBlocks(*player, 2)) ASSERT_EQ(v, 0);
}

TEST_F(SequencerTest, ASongThatJumpsBackEndsWhereItComesBackUntilAJumpIsAskedFor) {
    SongBuilder b(FileFormat::MOD, 1, 2);
    b.Put(1, 63, 0, -1, 0, kPositionJump, 1);
    PlaySong(b.song());
    const SongMap map = MapSong(b.song());
    StartSubsong(*player, &map, 0);
    player->loop = false;
    std::vector<int16_t> block(test::kBlockSamples);
    for (int i = 0; i < 200 && !player->published.ended; i++) MixNext(*player, block.data(), test::kBlockFrames);
    EXPECT_TRUE(player->published.ended);
    EXPECT_EQ(player->published.frames, 2 * 64 * 6 * 882) << "two patterns, then back to the second";
    player->orderRequest = 0;
    EXPECT_EQ(MixNext(*player, block.data(), test::kBlockFrames), size_t{test::kBlockFrames});
    EXPECT_FALSE(player->published.ended);
    EXPECT_EQ(player->published.order, 0);
}

TEST_F(SequencerTest, BreakOnTheLastEntryRestartsTheSongWithItsSpeedAndTempo) {
    SongBuilder b(FileFormat::XM, 3);
    b.song().speed = 3;
    b.song().bpm = 150;
    b.Put(0, 1, 0, -1, 0, kSpeedTempo, 2);
    b.Put(0, 1, 1, -1, 0, kPatternBreak, 0);
    b.Put(0, 1, 2, -1, 0, kSpeedTempo, 200);
    PlaySong(b.song());
    test::RenderBlocks(*player, 1);  // rows 0 and 1 take four ticks; the fifth restarts the song
    EXPECT_EQ(Speed(*player), 3);
    EXPECT_EQ(player->LEN_TICK, 735);
    EXPECT_EQ(player->new_song, 0);
    EXPECT_EQ(player->order, 0);
    EXPECT_EQ(player->raw, 0);
    EXPECT_EQ(player->globalVolume, 64);
}

TEST_F(SequencerTest, S3MOrderListOfMarkersOnlyPlaysSilence) {
    SongBuilder b(FileFormat::S3M, 2, 1);
    b.SetOrders({255, 254, 255});
    PlaySong(b.song());
    for (int16_t s : test::RenderBlocks(*player, 20)) ASSERT_EQ(s, 0);
    EXPECT_EQ(player->order, 0);
}

// Where a song of two channels stands after some ticks at speed 1.
struct PositionCase {
    const char* what;
    FileFormat kind;
    int patterns, rows;
    void (*build)(SongBuilder&);
    int ticks;
    std::vector<int> where;  // order, row, tick, ended
};

const PositionCase kPositionCases[] = {
    {"a break past the next pattern's end lands on its first row", FileFormat::XM, 3, 64,
     [](SongBuilder& b) {
         b.song().patterns[1].nbRows = 16;
         b.Put(0, 0, 0, -1, 0, kPatternBreak, 0x20);
     }, 1, {1, 0, 0, 0}},
    {"S3M plays through markers", FileFormat::S3M, 2, 64,
     [](SongBuilder& b) {
         b.SetOrders({0, 254, 1, 255, 255});
         b.Put(1, 0, 0, -1, 0, 3 /* C */, 0);
     }, 64, {2, 0, 0, 0}},
    {"S3M breaks onto one restart", FileFormat::S3M, 2, 64,
     [](SongBuilder& b) {
         b.SetOrders({0, 254, 1, 255, 255});
         b.Put(1, 0, 0, -1, 0, 3 /* C */, 0);
     }, 65, {0, 0, 0, 1}},
    {"entries naming no pattern are passed over", FileFormat::XM, 2, 64,
     [](SongBuilder& b) {
         b.SetOrders({0, 7, 1});
         b.Put(0, 0, 0, -1, 0, kPatternBreak, 0);
     }, 1, {2, 0, 0, 0}},
    {"a jump out of the order table ends the song", FileFormat::MOD, 2, 64,
     [](SongBuilder& b) { b.Put(0, 0, 0, -1, 0, kPositionJump, 99); }, 1, {0, 0, 0, 1}},
    {"an XM pattern without rows is never read", FileFormat::XM, 2, 64,
     [](SongBuilder& b) {
         for (ModCell*& track : b.song().patterns[0].tracks) {
             delete[] track;
             track = nullptr;
         }
         b.song().patterns[0].nbRows = 0;
     }, 1, {1, 0, 0, 0}},
    {"rows of short XM patterns end at their count", FileFormat::XM, 2, 16, [](SongBuilder&) {}, 16, {1, 0, 0, 0}},
};

TEST_F(SequencerTest, BreaksJumpsMarkersAndShortPatternsLandWhereTheyShould) {
    for (const PositionCase& c : kPositionCases) {
        SongBuilder b(c.kind, 2, c.patterns, c.rows);
        c.build(b);
        PlaySong(b.song());
        Speed(*player) = 1;
        Ticks(c.ticks);
        EXPECT_EQ(Where(), c.where) << c.what;
    }
}

TEST_F(SequencerTest, PositionMovedOutsideTheSongByTheKeysIsBounded) {
    SongBuilder b(FileFormat::MOD, 1, 2);
    PlaySong(b.song());
    player->order = 5000;
    Ticks(1);
    EXPECT_EQ(player->order, 0);
    EXPECT_EQ(player->new_song, 1);
    player->new_song = 0;
    player->order = -3;
    Ticks(1);
    EXPECT_EQ(player->order, 0);
    player->order = 1;  // a move inside the song is simply taken
    Ticks(1);
    EXPECT_EQ(player->order, 1);
}

TEST_F(SequencerTest, SongLengthZeroPlaysTheFirstEntryAndChannelFreeSongsPlaySilence) {
    test::MODSpec mod;  // a MOD of song length 0 still has its one pattern
    mod.songLength = 0;
    mod.samples = {test::MODSampleSpec{"square", 16, 0, 64, 0, 16, std::vector<uint8_t>(32, 0x40)}};
    mod.patterns = {test::EmptyMODPattern(4)};
    test::SetMODCell(mod.patterns[0], 4, 0, 0, 1, 428, 0, 0);
    Taken(test::BuildMOD(mod));
    int sounding = 0;
    for (int16_t s : test::RenderBlocks(*player, 3)) sounding += s != 0;
    EXPECT_GT(sounding, 3 * test::kBlockSamples / 2);
    EXPECT_EQ(player->order, 0);

    SongBuilder none(FileFormat::MOD, 0);
    PlaySong(none.song());
    for (int16_t s : test::RenderBlocks(*player, 2)) ASSERT_EQ(s, 0);
    EXPECT_EQ(player->raw, 1);  // the rows still advance
}

TEST_F(SequencerTest, ModuleStartResetsVoicesPanningAndPosition) {
    SongBuilder b(FileFormat::S3M, 4);
    b.song().speed = 4;
    b.song().bpm = 100;
    PlaySong(b.song());
    player->Voices[3].portaspeed = 9;
    player->order = 3;
    player->raw = 7;
    StartSubsong(*player, nullptr, 0);
    EXPECT_EQ(player->Voices[3].portaspeed, 0);
    EXPECT_EQ(player->Voices[3].cuttick, -1);
    EXPECT_EQ(player->Voices[3].delaytick, -1);
    EXPECT_EQ(player->order, 0);
    EXPECT_EQ(player->raw, 0);
    EXPECT_EQ(Speed(*player), 4);
    EXPECT_FLOAT_EQ(player->frequencegenerale, 40.0f);
    EXPECT_FLOAT_EQ(player->pan[1], 0.8f);  // the S3M song's own table
    EXPECT_EQ(player->NVoices, 4);

    SongBuilder mod(FileFormat::MOD, 4);
    PlaySong(mod.song());
    EXPECT_FLOAT_EQ(player->pan[1], 0.35f);
    EXPECT_FLOAT_EQ(player->pan[6], 0.65f);
    EXPECT_EQ(Speed(*player), 6);
    EXPECT_EQ(player->LEN_TICK, 882);
}

}  // namespace
}  // namespace moddeck
