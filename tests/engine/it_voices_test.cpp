// IT instruments on the voices: note periods at a sample's C-5 rate, the
// note map and shared sample slots, volumes and panning a note takes, the
// envelopes' sustain loops and carry, the note column's off, cut and fade,
// new-note actions into background voices with their duplicate check, the
// cap on background voices, and renders that repeat and agree across mixers.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/background_voices.h"
#include "engine/mixer.h"
#include "loaders/commands.h"
#include "song/periods.h"
#include "support/player_fixture.h"
#include "support/song_builder.h"

namespace moddeck {
namespace {

using test::Constant;
using test::SongBuilder;

TEST(ITPeriods, NotesPlayAtTheSampleC5Rate) {
    EXPECT_DOUBLE_EQ(ITLinearRate(ITLinearPeriod(60), 22050), 22050.0);
    EXPECT_DOUBLE_EQ(ITLinearRate(ITLinearPeriod(72), 22050), 44100.0);
    EXPECT_DOUBLE_EQ(ITLinearRate(ITLinearPeriod(60) + 32, 8363), 8363.0 / std::exp2(1.0 / 24));
    EXPECT_EQ(ITAmigaPeriod(60, 8363), 1712);
    EXPECT_EQ(ITAmigaPeriod(72, 16726), 428);
    EXPECT_EQ(ITAmigaPeriod(119, 1 << 30), 1);  // no period falls to 0
    EXPECT_NEAR(SampleRateOfPeriod(ITAmigaPeriod(60, 8363), PeriodSystem::IT), 8363.0, 1.0);
}

class ITVoicesTest : public test::PlayerTest {
protected:
    // Instrument mode, linear slides, one looping sample in slot 1 at 22050 Hz
    // that instrument 1 plays for every note.
    ITVoicesTest() {
        Mod& s = b.song();
        s.isIT = 1;
        s.behaviour = BehaviourOf(FileFormat::IT, kITInstrumentMode | kITLinearSlides);
        s.linearFreq = 1;
        s.itMixVolume = 64;
        s.itGlobalVolume = 128;
        s.nbInstruments = 2;
        Sample(1, 1000);
        for (int i = 1; i <= 2; i++) {
            ModInstrument& ins = s.instruments[i];
            ins.globalVolume = 128;
            ins.filterCutoff = ins.filterResonance = -1;
            for (int n = 0; n < kNoteMapSize; n++) ins.noteMap[n] = n, ins.noteSample[n] = 1;
        }
    }
    ModSample& Sample(int slot, int value) {
        ModSample& smp = b.AddSample(slot, Constant(1000, static_cast<int16_t>(value)));
        smp.c2spd = 22050;
        smp.globalVolume = 64;
        smp.loopType = 1;
        smp.loopLength = 1000;
        return smp;
    }
    void Note(int row, int channel, int note, int instrument) { b.Put(0, row, channel, note, instrument); }
    void Play(int ticks) {
        if (!player) PlaySong(b.song());
        Speed(*player) = 2;
        test::PlayTicks(*player, ticks);
    }
    int Background() const {
        int n = 0;
        for (int k = kMaxChannels; k < kMaxVoices; k++) n += player->Voices[k].period != 0;
        return n;
    }
    SongBuilder b{FileFormat::IT, 2, 1, 64};
    ModInstrument& ins = b.song().instruments[1];
};

TEST_F(ITVoicesTest, TheNoteMapPicksNoteAndSlotAndTheVolumesMultiply) {
    ModSample& other = Sample(2, 1000);
    other.c2spd = 11025;
    other.globalVolume = 32;
    ins.noteSample[50] = 2;
    ins.noteMap[50] = 62;
    ins.globalVolume = 64;
    ins.filterCutoff = 40;
    Note(0, 0, 50, 1);
    Note(0, 1, 60, 2);
    Play(1);
    EXPECT_EQ(player->Voices[0].samplenum, 2);
    EXPECT_EQ(player->Voices[0].cutoff, 40);
    EXPECT_EQ(player->Voices[0].resonance, 0);  // as the channel had it
    EXPECT_NEAR(test::Frames(player->mix[0].step), 11025.0 * std::exp2(2.0 / 12) / 44100, 1e-6);
    EXPECT_NEAR(test::Frames(player->mix[1].step), 0.5, 1e-6);
    EXPECT_FLOAT_EQ(player->mix[0].gain * 4, player->mix[1].gain);  // half the instrument's, half the sample's

    // Sample mode: the cell names the slot.
    b.song().behaviour = BehaviourOf(FileFormat::IT, kITLinearSlides);
    player.reset();
    Play(1);
    EXPECT_EQ(player->Voices[0].samplenum, 1);
    EXPECT_EQ(player->Voices[1].samplenum, 2);
    EXPECT_EQ(Background(), 0);
    const float full = player->mix[0].gain;
    b.song().behaviour.levelFallsWithChannels = true;  // two channels share it as 96, not 64
    player.reset();
    Play(1);
    EXPECT_FLOAT_EQ(player->mix[0].gain, full * 64 / 96);
    EXPECT_EQ(BehaviourOf(FileFormat::IT, 0, ITTrackerOf(0x217, 0x200)).levelFallsWithChannels, true);
    EXPECT_EQ(BehaviourOf(FileFormat::IT, 0, ITTrackerOf(0x217, 0x214)).levelFallsWithChannels, false);
}

TEST_F(ITVoicesTest, NewNoteActionsSendTheOldNoteToTheBackground) {
    for (int row = 0; row < 4; row++) Note(row, 0, 60 + row, 1);
    ins.newNoteAction = NewNoteAction::Continue;
    Play(7);
    EXPECT_EQ(Background(), 3);
    EXPECT_EQ(player->Voices[kMaxChannels].channel, 0);

    ins.newNoteAction = NewNoteAction::NoteOff;
    player.reset();
    Play(3);
    EXPECT_EQ(player->Voices[kMaxChannels].keyoff, 1);
    EXPECT_EQ(player->Voices[kMaxChannels].fading, 1);  // no volume envelope: the note fades

    ins.newNoteAction = NewNoteAction::Fade;
    ins.fadeout = 16384;
    player.reset();
    Play(5);
    EXPECT_EQ(Background(), 1);  // each faded out within two ticks
    EXPECT_EQ(player->Voices[0].fading, 0);

    ins.newNoteAction = NewNoteAction::Cut;
    player.reset();
    Play(8);
    EXPECT_EQ(Background(), 0);
}

TEST_F(ITVoicesTest, TheDuplicateCheckActsOnTheChannelsNotesOfTheSameKind) {
    ins.newNoteAction = NewNoteAction::Continue;
    ins.duplicateCheck = DuplicateCheck::Note;
    ins.duplicateAction = DuplicateAction::Cut;
    Note(0, 0, 60, 1);
    Note(1, 0, 64, 1);
    Note(2, 0, 60, 1);  // cuts the first
    Note(3, 0, 60, 2);  // another instrument: no duplicate
    Play(7);
    EXPECT_EQ(Background(), 2);

    ins.duplicateCheck = DuplicateCheck::Instrument;
    player.reset();
    Play(7);
    EXPECT_EQ(Background(), 1);  // only instrument 1's last note, sent back by instrument 2
}

TEST_F(ITVoicesTest, InstrumentControlsCutPastNotesAndSwitchEnvelopes) {
    ins.newNoteAction = NewNoteAction::Continue;
    Note(0, 0, 60, 1);
    Note(1, 0, 62, 1);
    Play(3);
    EXPECT_EQ(Background(), 1);
    InstrumentControl(*player, 0, 0);
    EXPECT_EQ(Background(), 0);
    InstrumentControl(*player, 0, 3);
    EXPECT_EQ(player->Voices[0].newnoteaction, static_cast<uint8_t>(NewNoteAction::Cut));
    InstrumentControl(*player, 0, 7);
    EXPECT_EQ(player->Voices[0].envelopesoff, 1);
    InstrumentControl(*player, 0, 12);
    EXPECT_EQ(player->Voices[0].envelopeson, 4);
}

TEST_F(ITVoicesTest, BackgroundVoicesStopAtTheirCapTheQuietestGoingFirst) {
    ins.newNoteAction = NewNoteAction::Continue;
    // The second channel's instrument says anything at all.
    ModInstrument& hostile = b.song().instruments[2];
    hostile.newNoteAction = static_cast<NewNoteAction>(200);
    hostile.duplicateCheck = static_cast<DuplicateCheck>(99);
    hostile.pitchPanCenter = INT32_MIN, hostile.pitchPanSeparation = INT32_MAX;
    hostile.fadeout = INT32_MAX, hostile.randomVolume = INT32_MAX, hostile.globalVolume = -7;
    hostile.noteMap[30 + 7] = -9, hostile.noteSample[30 + 9] = 9999;
    for (int row = 0; row < 64; row++)
        for (int c = 0; c < 2; c++) Note(row, c, 30 + row, row % 8 == 7 && c == 1 ? 2 : 1);
    Play(2 * 64 * 3);  // the song again and again: every row sends two notes back
    EXPECT_EQ(Background(), kBackgroundVoices);
    for (int k = kMaxChannels; k < kMaxVoices; k++) ASSERT_LT(player->Voices[k].channel, 2);
}

TEST_F(ITVoicesTest, SustainLoopsHoldUntilTheKeyIsLetGoAndCarryGoesOn) {
    ins.volType = kEnvelopeOn | kEnvelopeSustain | kEnvelopeLoop;
    ins.nbVolPoints = 4;
    const int xs[4] = {0, 2, 4, 8};
    for (int k = 0; k < 4; k++) ins.volEnvelope[k] = EnvelopePoint{static_cast<uint16_t>(xs[k]), 64};
    ins.volSustain = 1, ins.volSustainEnd = 2;
    ins.volLoopStart = 2, ins.volLoopEnd = 3;
    ins.fadeout = 1024;
    Note(0, 0, 60, 1);
    b.Put(0, 5, 0, kCellNoteOff, 0);
    PlaySong(b.song());
    std::vector<int> positions;
    for (int t = 0; t < 16; t++) {
        Play(1);
        positions.push_back(player->Voices[0].volenvpos);
    }
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2, 3, 4, 2, 3, 4, 2, 3, 4, 5, 6, 7, 8, 4}));
    EXPECT_EQ(player->Voices[0].fading, 1);  // a looping envelope fades once let go

    ins.volType |= kEnvelopeCarry;
    Note(1, 0, 62, 1);
    player.reset();
    Play(3);
    EXPECT_EQ(player->Voices[0].volenvpos, 2);  // the second note goes on from the first's
}

TEST_F(ITVoicesTest, NoteColumnCutsAndFadesAndTheSustainLoopEndsAtTheOff) {
    ModSample& s = b.song().samples[1];
    s.sustainStart = 10, s.sustainLength = 20, s.sustainType = 1;
    Note(0, 0, 60, 1);
    Note(0, 1, 60, 1);
    b.Put(0, 1, 0, kCellNoteCut, 0);
    b.Put(0, 1, 1, kCellNoteOff, 0);
    Play(1);
    EXPECT_EQ(player->mix[1].loop.start, 10);
    Play(2);
    EXPECT_EQ(player->mix[0].sample, nullptr);
    EXPECT_EQ(player->mix[1].loop.start, 0);
    EXPECT_EQ(player->Voices[1].fading, 1);
}

TEST_F(ITVoicesTest, SampleVibratoDeepensBySweepOver256Ticks) {
    ModSample& s = b.song().samples[1];
    s.vibDepth = 64, s.vibRate = 64, s.vibSweep = 0;  // a quarter of a sine every tick
    Note(0, 0, 60, 1);
    Play(3);
    EXPECT_EQ(player->Voices[0].period, ITLinearPeriod(60));
    EXPECT_NEAR(test::Frames(player->mix[0].step), 0.5, 1e-9);  // a sweep of 0 never starts it
    s.vibSweep = 32 * 256;
    player.reset();
    Play(2);  // depth 32 on the second tick, at the sine's peak (63 of 64)
    EXPECT_NEAR(test::Frames(player->mix[0].step), 0.5 * std::exp2(-31.0 / 768), 1e-6);
}

TEST_F(ITVoicesTest, RandomVariationRepeatsAndBothMixersAgree) {
    ins.newNoteAction = NewNoteAction::Fade;
    ins.fadeout = 256;
    ins.randomVolume = 50;
    ins.randomPanning = 32;
    for (int row = 0; row < 64; row += 2) Note(row, row % 4 / 2, 40 + row / 2, 1);
    for (Interpolation how : {Interpolation::Linear, Interpolation::Sinc}) {
        const auto start = [&] {
            PlaySong(b.song());
            player->sound.interpolation = how;
            player->sound.ramping = how == Interpolation::Sinc;
        };
        start();
        const auto fast = test::RenderBlocks(*player, 20);
        start();
        ASSERT_TRUE(UsePlainMixer(*player));
        EXPECT_EQ(test::RenderBlocks(*player, 20), fast);
        EXPECT_NE(test::Checksum(fast), test::Checksum(std::vector<int16_t>(fast.size())));
    }
}

}  // namespace
}  // namespace moddeck
