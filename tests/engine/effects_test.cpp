// Pattern effects of the three kinds, played through the sequencer tick by
// tick: slides, portamento, vibrato and tremolo, arpeggio, cut and delay,
// global volume, panning, speed.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/effects.h"
#include "engine/player.h"
#include "engine/waveform.h"
#include "song/periods.h"
#include "support/player_fixture.h"
#include "support/song_builder.h"

namespace moddeck {
namespace {

using test::Constant;
using test::SongBuilder;

constexpr int kS3MLetterD = 4, kS3MLetterE = 5, kS3MLetterS = 19, kS3MLetterJ = 10;

class EffectsTest : public test::PlayerTest {
protected:

    // A song of `kind`, one channel, sample/instrument 1 looping forever.
    void Make(FileFormat kind, int channels = 1, int volume = 64) {
        player.reset();  // it plays the song about to go
        song_ = std::make_unique<SongBuilder>(kind, channels);
        if (kind == FileFormat::XM) {
            b().AddInstrument(1, Constant(4000, 1000), volume);
            b().InstrumentSample(1).loopType = 1;
            b().InstrumentSample(1).loopLength = 4000;
        } else {
            b().AddSample(1, Constant(4000, 1000), volume).loopLength = 4000;
        }
    }
    SongBuilder& b() { return *song_; }
    // Voice 0 alone at `period` playing instrument 1, outside any row.
    void BareVoice(FileFormat kind, int period) {
        Make(kind);
        PlaySong(b().song());
        Voice& v = player->Voices[0] = Voice{};
        v.cuttick = -1;
        v.period = period;
        v.instrument = 1;
    }
    void Start(int speed = 6) {
        PlaySong(b().song());
        Speed(*player) = speed;
    }
    void Ticks(int n) { test::PlayTicks(*player, n); }
    // Voice 0's field after each of n ticks.
    template <class Field>
    std::vector<int> Track(int n, Field field) {
        std::vector<int> values;
        for (int i = 0; i < n; i++) {
            Ticks(1);
            values.push_back(field(player->Voices[0]));
        }
        return values;
    }
    std::vector<int> Volumes(int n) {
        return Track(n, [](const Voice& v) { return v.volume; });
    }
    std::vector<int> Periods(int n) {
        return Track(n, [](const Voice& v) { return v.period; });
    }

    std::unique_ptr<SongBuilder> song_;
};

TEST_F(EffectsTest, SlideRuleTakesOneNibble) {
    EXPECT_EQ(SlideOf(0x20), 2);
    EXPECT_EQ(SlideOf(0x03), -3);
    EXPECT_EQ(SlideOf(0x23), 0);
    EXPECT_EQ(SlideOf(0x00), 0);
}

TEST_F(EffectsTest, S3MLettersMapToTheCommonEffects) {
    EXPECT_EQ(S3MEffect(1), kSpeedTempo);       // A
    EXPECT_EQ(S3MEffect(kS3MLetterD), kVolumeSlide);
    EXPECT_EQ(S3MEffect(kS3MLetterE), kPortaDown);
    EXPECT_EQ(S3MEffect(6), kPortaUp);           // F
    EXPECT_EQ(S3MEffect(kS3MLetterJ), kArpeggio);
    EXPECT_EQ(S3MEffect(12), kTonePortaVolSlide);  // L
    EXPECT_EQ(S3MEffect(20), kS3MTempo);         // T
    EXPECT_EQ(S3MEffect(23), kGlobalVolumeSlide);  // W
    EXPECT_EQ(S3MEffect(0), kNoEffect);
    EXPECT_EQ(S3MEffect(17), kMultiRetrigger);   // Q
    EXPECT_EQ(S3MEffect(24), kS3MPanning);       // X
    EXPECT_EQ(S3MEffect(25), kNoEffect);         // after X
    EXPECT_EQ(S3MEffect(255), kNoEffect);
}

TEST_F(EffectsTest, WaveformIsAHalfSineThenItsNegative) {
    EXPECT_EQ(Waveform(0, 1), 0);
    EXPECT_EQ(Waveform(8, 1), 180);
    EXPECT_EQ(Waveform(16, 4), 1020);
    EXPECT_EQ(Waveform(32, 1), 0);
    EXPECT_EQ(Waveform(40, 2), -360);
    EXPECT_EQ(Waveform(63, 1), -24);
    EXPECT_EQ(Waveform(64 + 8, 1), 180);  // only the low six bits count
}

TEST_F(EffectsTest, VolumeSlidesSkipTickZeroAndTheHighNibbleWins) {
    for (FileFormat kind : {FileFormat::MOD, FileFormat::XM}) {
        Make(kind, 1, 40);
        b().Put(0, 0, 0, 25, 1, kVolumeSlide, 0x02);
        b().Put(0, 1, 0, -1, 0, kVolumeSlide, 0x13);  // both nibbles: up
        b().Put(0, 2, 0, -1, 0, kVolumeSlide, 0x00);  // XM: the last slide again
        Start();
        EXPECT_EQ(Volumes(6), (std::vector<int>{40, 38, 36, 34, 32, 30}));
        EXPECT_EQ(Volumes(6).back(), 35);
        EXPECT_EQ(Volumes(6).back(), kind == FileFormat::XM ? 40 : 35);
    }
}

TEST_F(EffectsTest, S3MVolumeSlideVariants) {
    Make(FileFormat::S3M, 1, 60);
    b().Put(0, 0, 0, 48, 1, kS3MLetterD, 0x03);  // -3 on the ticks after the first
    b().Put(0, 1, 0, -1, 0, kS3MLetterD, 0xF2);  // fine -2 at tick 0 only
    b().Put(0, 2, 0, -1, 0, kS3MLetterD, 0x00);  // the last D again
    b().Put(0, 3, 0, -1, 0, kS3MLetterD, 0x4F);  // fine +4
    b().Put(0, 4, 0, -1, 0, kS3MLetterD, 0x20);  // +2 on the ticks after the first
    b().Put(0, 5, 0, -1, 0, kS3MLetterD, 0x23);  // both nibbles: nothing
    Start();
    EXPECT_EQ(Volumes(6), (std::vector<int>{60, 57, 54, 51, 48, 45}));
    EXPECT_EQ(Volumes(6), (std::vector<int>{43, 43, 43, 43, 43, 43}));
    EXPECT_EQ(Volumes(6).back(), 41);
    EXPECT_EQ(Volumes(6).back(), 45);
    EXPECT_EQ(Volumes(6).back(), 55);
    EXPECT_EQ(Volumes(6).back(), 55);
    b().song().s3mFlags = 0x40;  // fast slides: tick 0 as well
    b().Put(0, 6, 0, -1, 0, kS3MLetterD, 0x01);
    EXPECT_EQ(Volumes(1).back(), 54);
}

TEST_F(EffectsTest, FineVolumeSlidesActOnceAtTickZero) {
    Make(FileFormat::MOD, 1, 40);
    b().Put(0, 0, 0, 24, 1, kExtended, 0xA5);
    b().Put(0, 1, 0, -1, 0, kExtended, 0xB3);
    Start();
    EXPECT_EQ(Volumes(6), (std::vector<int>{45, 45, 45, 45, 45, 45}));
    EXPECT_EQ(Volumes(1).back(), 42);
}

TEST_F(EffectsTest, S3MFineAndExtraFinePortamentoActAtTickZeroOnly) {
    Make(FileFormat::S3M);
    b().Put(0, 0, 0, 48, 1, 6 /* F */, 0xF3);     // fine: 4 periods a unit
    b().Put(0, 1, 0, -1, 0, kS3MLetterE, 0xE3);   // extra fine: 1 period a unit
    b().Put(0, 2, 0, -1, 0, kS3MLetterE, 0xE3);
    Start();
    const int p0 = S3MPeriod(48, kS3MMiddleCRate);
    EXPECT_EQ(Periods(6), std::vector<int>(6, p0 - 12));
    EXPECT_EQ(Periods(6), std::vector<int>(6, p0 - 9));
    EXPECT_EQ(Periods(6), std::vector<int>(6, p0 - 6));
}

TEST_F(EffectsTest, PortamentoStopsAtEachKindsLimits) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 100, 1, kPortaUp, 0xFF);
    for (int r = 1; r < 8; r++) b().Put(0, r, 0, -1, 0, kPortaUp, 0);
    b().Put(0, 8, 0, 2, 1, kPortaDown, 0xFF);
    for (int r = 9; r < 20; r++) b().Put(0, r, 0, -1, 0, kPortaDown, 0);
    Start();
    Ticks(8 * 6);
    EXPECT_EQ(player->Voices[0].period, 58);
    Ticks(12 * 6);
    EXPECT_EQ(player->Voices[0].period, 14919);

    Make(FileFormat::XM);
    b().Put(0, 0, 0, 90, 1, kPortaUp, 0xFF);
    b().Put(0, 1, 0, 1, 1, kPortaDown, 0xFF);
    for (int r = 2; r < 40; r++) b().Put(0, r, 0, -1, 0, kPortaDown, 0);
    Start();
    Ticks(6);
    EXPECT_EQ(player->Voices[0].period, 239);
    Ticks(39 * 6);
    EXPECT_EQ(player->Voices[0].period, 57976);
}

TEST_F(EffectsTest, TonePortamentoReachesItsTargetAndStays) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1);
    b().Put(0, 1, 0, 36, 1, kTonePorta, 0x40);
    for (int r = 2; r < 10; r++) b().Put(0, r, 0, -1, 0, kTonePorta, 0);
    Start();
    Ticks(6);
    const int from = player->Voices[0].period;
    std::vector<int> periods = Periods(6);
    EXPECT_EQ(periods[0], from);  // tick 0 only sets the target
    EXPECT_EQ(periods[1], from - 128);
    Ticks(8 * 6);
    EXPECT_EQ(player->Voices[0].period, ::moddeck::Periods[8][36]);
    EXPECT_EQ(player->Voices[0].portatarget, ::moddeck::Periods[8][36]);
}

TEST_F(EffectsTest, VibratoFollowsTheWaveformPerKind) {
    BareVoice(FileFormat::MOD, 428);
    RowValues row;
    row.effect = kVibrato;
    row.param = 0x48;  // speed 4, depth 8
    player->ticks = 0;
    ApplyRowEffect(*player, FileFormat::MOD, 0, row);
    std::vector<int> heard;
    for (int t = 0; t < 4; t++) {
        player->ticks = t;
        heard.push_back(ApplyTickEffects(*player, FileFormat::MOD, 0, row).period);
    }
    // Tick 0 plays the note; then positions 0, 4, 8: 2 * trunc(8 * table / 128).
    EXPECT_EQ(heard, (std::vector<int>{428, 428, 440, 450}));
    EXPECT_EQ(player->Voices[0].period, 428);  // vibrato leaves the period itself alone

    BareVoice(FileFormat::XM, 1712);
    ApplyRowEffect(*player, FileFormat::XM, 0, row);
    player->ticks = 1;
    ApplyTickEffects(*player, FileFormat::XM, 0, row);
    EXPECT_EQ(ApplyTickEffects(*player, FileFormat::XM, 0, row).period, 1712 + 8 * (776 / 128));
    player->ticks = 0;  // XM keeps the vibrato on a row's first tick
    EXPECT_EQ(ApplyTickEffects(*player, FileFormat::XM, 0, row).period, 1712 + 8 * (1440 / 128));
}

TEST_F(EffectsTest, VibratoOnAModRowWithANoteVibratesAndANoteRestartsIt) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kVibrato, 0x48);
    b().Put(0, 1, 0, -1, 0, kVibrato, 0x00);  // 400 goes on with the same
    b().Put(0, 2, 0, 24, 1);
    Start();
    Ticks(6);
    EXPECT_EQ(player->Voices[0].vibpos, 20);
    Ticks(6);
    EXPECT_EQ(player->Voices[0].vibpos, 40);
    Ticks(1);
    EXPECT_EQ(player->Voices[0].vibpos, 0);
    EXPECT_EQ(player->Voices[0].vibdepth, 8);
}

TEST_F(EffectsTest, TremoloOffsetsTheVolumeByTheWaveform) {
    BareVoice(FileFormat::MOD, 428);
    player->Voices[0].volume = 40;
    RowValues row;
    row.effect = kTremolo;
    row.param = 0x4F;
    ApplyRowEffect(*player, FileFormat::MOD, 0, row);
    std::vector<int> t;
    for (int tick = 0; tick < 3; tick++) {
        player->ticks = tick;
        t.push_back(ApplyTickEffects(*player, FileFormat::MOD, 0, row).tremolo);
    }
    EXPECT_EQ(t, (std::vector<int>{0, 0, 15 * 97 / 64}));  // from the row's second tick
    EXPECT_EQ(player->Voices[0].volume, 40);
}

TEST_F(EffectsTest, ModArpeggioLeavesTheLastNoteOfTheRow) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kArpeggio, 0x37);
    Start();
    EXPECT_EQ(Periods(6), (std::vector<int>{::moddeck::Periods[8][24], ::moddeck::Periods[8][27],
                                            ::moddeck::Periods[8][31], ::moddeck::Periods[8][24],
                                            ::moddeck::Periods[8][27], ::moddeck::Periods[8][31]}));
}

TEST_F(EffectsTest, S3MArpeggioUsesTheS3MPeriods) {
    Make(FileFormat::S3M);
    b().Put(0, 0, 0, 48, 1, kS3MLetterJ, 0x47);
    Start();
    Ticks(2);
    EXPECT_EQ(player->Voices[0].period, S3MPeriod(52, kS3MMiddleCRate));
}

TEST_F(EffectsTest, XMArpeggioOnlyChangesWhatIsHeard) {
    BareVoice(FileFormat::XM, XMPeriod(48, 0));
    player->Voices[0].note = 48;
    RowValues row;
    row.effect = kArpeggio;
    row.param = 0x37;
    ApplyRowEffect(*player, FileFormat::XM, 0, row);
    std::vector<int> heard;
    for (int t = 0; t < 3; t++) {
        player->ticks = t;
        heard.push_back(ApplyTickEffects(*player, FileFormat::XM, 0, row).period);
    }
    EXPECT_EQ(heard, (std::vector<int>{XMPeriod(48, 0), XMPeriod(51, 0), XMPeriod(55, 0)}));
    EXPECT_EQ(player->Voices[0].period, XMPeriod(48, 0));

    // A negative relative note pushes the arpeggio below the table: it
    // stays on the table's lowest note.
    player->Voices[0].note = -20;
    player->Voices[0].arpstep = 1;
    EXPECT_EQ(ApplyTickEffects(*player, FileFormat::XM, 0, row).period, XMPeriod(0, 0));
}

TEST_F(EffectsTest, NoteCutSilencesAtItsTick) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kExtended, 0xC3);
    Start();
    EXPECT_EQ(Volumes(6), (std::vector<int>{63, 63, 63, 0, 0, 0}));
}

TEST_F(EffectsTest, NoteDelayStartsTheNoteAtItsTick) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1);
    b().Put(0, 1, 0, 36, 1, kExtended, 0xD2);
    Start();
    Ticks(6);
    const int64_t playing = player->Voices[0].position;
    Ticks(2);
    EXPECT_EQ(player->Voices[0].volume, 0);
    EXPECT_EQ(player->Voices[0].position, 0);  // silent, held at the note's start
    Ticks(1);
    EXPECT_EQ(player->Voices[0].volume, 63);
    EXPECT_EQ(player->Voices[0].period, ::moddeck::Periods[8][36]);
    EXPECT_GT(player->Voices[0].position, 0);
    EXPECT_NE(player->Voices[0].position, playing);
}

TEST_F(EffectsTest, NoteDelayOfZeroMutesTheNote) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kExtended, 0xD0);
    Start();
    EXPECT_EQ(Volumes(6), (std::vector<int>(6, 0)));
}

TEST_F(EffectsTest, GlobalVolumeSetAndSlide) {
    Make(FileFormat::XM);
    b().Put(0, 0, 0, 25, 1, kSetGlobalVolume, 0x80);
    b().Put(0, 1, 0, -1, 0, kGlobalVolumeSlide, 0x10);
    b().Put(0, 2, 0, -1, 0, kGlobalVolumeSlide, 0x00);  // the last slide again
    Start();
    Ticks(6);
    EXPECT_EQ(player->globalVolume, 64);  // at most 64
    Ticks(1);
    EXPECT_EQ(player->globalVolume, 64);
    Ticks(6);
    EXPECT_EQ(player->globalVolume, 64);  // the slide keeps it within 0..64
    player->globalVolume = 30;
    Ticks(6);
    EXPECT_EQ(player->globalVolume, 35);  // not at tick 0
}

TEST_F(EffectsTest, PanningCommandsPerKind) {
    Make(FileFormat::S3M, 2);
    b().Put(0, 0, 0, -1, 0, kS3MLetterS, 0x8F);
    b().Put(0, 0, 1, -1, 0, kS3MLetterS, 0x80);
    Start();
    Ticks(1);
    EXPECT_FLOAT_EQ(player->pan[0], 0.0f);  // S8F: right
    EXPECT_FLOAT_EQ(player->pan[1], 1.0f);  // S80: left

    Make(FileFormat::MOD, 2);
    b().Put(0, 0, 0, -1, 0, kSetPanning, 0xFF);
    b().Put(0, 0, 1, -1, 0, kExtended, 0x8F);
    Start();
    Ticks(1);
    EXPECT_FLOAT_EQ(player->pan[0], 0.5f);
    EXPECT_FLOAT_EQ(player->pan[1], 0.35f);

    Make(FileFormat::XM, 3);
    b().Put(0, 0, 0, 25, 1, kSetPanning, 0xFF);
    b().Put(0, 0, 1, 25, 1, kExtended, 0x84);
    b().Put(0, 0, 2, 25, 1, kPanningSlide, 0x0F).volume = 0xC8;  // set 0x80, then left 15 a tick
    Start();
    Ticks(6);
    EXPECT_EQ(player->Voices[0].panning, 0xFF);
    EXPECT_EQ(player->Voices[1].panning, 0x40);
    EXPECT_EQ(player->Voices[2].panning, 0x80 - 5 * 15);
}

TEST_F(EffectsTest, AnInstrumentRestoresTheVolumeAndVolumeSlidesWorkOnNoteRows) {
    for (FileFormat kind : {FileFormat::MOD, FileFormat::XM}) {
        Make(kind, 1, 40);
        b().Put(0, 0, 0, 25, 1, kVolumeSlide, 0x0F);
        b().Put(0, 1, 0, 25, 1, kVibratoVolSlide, 0x02);
        b().Put(0, 2, 0, 25, 1, kTonePortaVolSlide, 0x02);
        Start();
        EXPECT_EQ(Volumes(6).back(), 0);
        EXPECT_EQ(Volumes(6).back(), 30);
        EXPECT_EQ(Volumes(6).back(), 30);
    }
}

TEST_F(EffectsTest, SampleOffsetNeedsANoteAndRepeatsTheLast) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kSampleOffset, 0x02);
    b().Put(0, 1, 0, -1, 0, kSampleOffset, 0x05);  // no note: the sample plays on
    b().Put(0, 2, 0, 24, 1, kSampleOffset, 0x00);  // 900: the last offset, 0x05
    Start();
    const int64_t tick = 882 * 2094 / 44100 + 1;  // frames of one tick at this note, at most
    Ticks(12);
    EXPECT_NEAR(player->Voices[0].position >> 32, 512 + 6 * tick, 6 * tick);
    Ticks(1);
    EXPECT_NEAR(player->Voices[0].position >> 32, 5 * 256 + tick / 2, tick / 2);
}

TEST_F(EffectsTest, ClassicInstrumentAloneSetsTheVolumeWithoutRestarting) {
    for (FileFormat kind : {FileFormat::MOD, FileFormat::S3M}) {
        Make(kind, 1, 50);
        b().AddSample(2, Constant(4000, 1000), 20).loopLength = 4000;
        b().Put(0, 0, 0, 24, 1, kVolumeSlide, kind == FileFormat::MOD ? 0x0F : 0x0F);
        b().Put(0, 1, 0, -1, 2);
        Start();
        Ticks(6);
        const int64_t before = player->Voices[0].position;
        EXPECT_EQ(Volumes(1).back(), 20);
        EXPECT_GT(player->Voices[0].position, before);  // not restarted
        EXPECT_EQ(player->Voices[0].instrument, 1);      // sample 1 goes on sounding
    }
}

TEST_F(EffectsTest, SetVolumeAndXMVolumeColumn) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kSetVolume, 20);
    Start();
    EXPECT_EQ(Volumes(2), (std::vector<int>{20, 20}));

    Make(FileFormat::XM);
    b().Put(0, 0, 0, 25, 1).volume = 0x30;
    b().Put(0, 1, 0, -1, 0, kVolumeSlide, 0x10).volume = 0x62;  // both slide
    b().Put(0, 2, 0, -1, 0).volume = 0x93;                      // fine up 3 at tick 0
    Start();
    EXPECT_EQ(Volumes(6).back(), 32);
    EXPECT_EQ(Volumes(6), (std::vector<int>{32, 31, 30, 29, 28, 27}));
    EXPECT_EQ(Volumes(6), (std::vector<int>(6, 30)));
}

TEST_F(EffectsTest, ModFinetuneCommandRetunesTheSampleForThePlayerOnly) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kExtended, 0x5F);
    b().Put(0, 1, 0, 24, 1);
    Start();
    Ticks(6);
    EXPECT_EQ(player->sampleFinetune[1], -1);
    EXPECT_EQ(b().song().samples[1].finetune, 0);
    Ticks(1);
    EXPECT_EQ(player->Voices[0].finetune, 7);
    EXPECT_EQ(player->Voices[0].period, ::moddeck::Periods[7][24]);
}

TEST_F(EffectsTest, S3MNoteCutNoteSilencesAtOnce) {
    Make(FileFormat::S3M);
    b().Put(0, 0, 0, 48, 1);
    b().Put(0, 1, 0, 254, 0);
    Start();
    Ticks(6);
    EXPECT_EQ(player->Voices[0].volume, 63);
    Ticks(1);
    EXPECT_EQ(player->Voices[0].volume, 0);
}

TEST_F(EffectsTest, XMMemoriesRetriggerTremorAndKeyOffCommand) {
    Make(FileFormat::XM, 4);
    b().Put(0, 0, 0, 49, 1, kExtended, 0x12);   // fine up 2, then E10 again
    b().Put(0, 1, 0, -1, 0, kExtended, 0x10);
    b().Put(0, 0, 1, 49, 1, kMultiRetrigger, 0x72);  // every 2 ticks, volume halved
    b().Put(0, 0, 2, 49, 1, kTremor, 0x10);     // 2 ticks on, 1 off
    b().Put(0, 0, 3, 49, 1, kKeyOff, 3);        // key off at tick 3: no envelope, cut
    Start();
    std::vector<int> tremor;
    for (int t = 0; t < 6; t++) {
        Ticks(1);
        tremor.push_back(player->Voices[2].tremorcount);
    }
    EXPECT_EQ(tremor, (std::vector<int>{1, 2, 0, 1, 2, 0}));  // sounding at counts 0 and 1
    EXPECT_EQ(player->Voices[1].volume, 63 / 2 / 2);  // retriggered at ticks 2 and 4
    EXPECT_EQ(player->Voices[3].volume, 0);
    Ticks(1);
    EXPECT_EQ(player->Voices[0].period, XMNotePeriod(false, 49, 0) - 2 * 2 * 8);
}

}  // namespace
}  // namespace moddeck
