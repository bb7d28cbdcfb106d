// Pattern effects of the three kinds, played through the sequencer tick by
// tick: slides, portamento, vibrato and tremolo, arpeggio, cut and delay,
// global volume, panning, speed.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/effects.h"
#include "engine/periods.h"
#include "engine/sequencer.h"
#include "engine/player.h"
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
    void Start(int speed = 6) {
        test::StartSong(player, b().song());
        Speed(player) = speed;
    }
    void Ticks(int n) {
        for (int i = 0; i < n; i++) {
            player.base = 0;
            PlayTick(player);
        }
    }
    // Voice 0's field after each of n ticks.
    template <class Field>
    std::vector<int> Track(int n, Field field) {
        std::vector<int> values;
        for (int i = 0; i < n; i++) {
            Ticks(1);
            values.push_back(field(player.Voices[0]));
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
    EXPECT_EQ(S3MEffect(24), kNoEffect);         // X and after
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

TEST_F(EffectsTest, ModVolumeSlideCountsTickZero) {
    Make(FileFormat::MOD, 1, 40);
    b().Put(0, 0, 0, 24, 1, kVolumeSlide, 0x02);
    Start();
    EXPECT_EQ(Volumes(6), (std::vector<int>{38, 36, 34, 32, 30, 28}));
}

TEST_F(EffectsTest, XMVolumeSlideSkipsTickZero) {
    Make(FileFormat::XM, 1, 40);
    b().Put(0, 0, 0, 25, 1, kVolumeSlide, 0x02);
    Start();
    EXPECT_EQ(Volumes(6), (std::vector<int>{40, 38, 36, 34, 32, 30}));
}

TEST_F(EffectsTest, S3MVolumeSlideVariants) {
    Make(FileFormat::S3M, 1, 60);
    b().Put(0, 0, 0, 48, 1, kS3MLetterD, 0x03);  // -3 on every tick
    b().Put(0, 1, 0, -1, 0, kS3MLetterD, 0xF2);  // fine -2, and the -3 goes on
    b().Put(0, 2, 0, -1, 0, kS3MLetterD, 0x00);  // the last slide continues
    b().Put(0, 3, 0, -1, 0, kS3MLetterD, 0x4F);  // fine +4, and still -3
    b().Put(0, 4, 0, -1, 0, kS3MLetterD, 0x20);  // +2 on every tick
    b().Put(0, 5, 0, -1, 0, kS3MLetterD, 0x23);  // both nibbles: the slide stops
    Start();
    EXPECT_EQ(Volumes(6).back(), 42);
    EXPECT_EQ(Volumes(6), (std::vector<int>{37, 34, 31, 28, 25, 22}));
    EXPECT_EQ(Volumes(6).back(), 4);
    EXPECT_EQ(Volumes(6), (std::vector<int>{5, 2, 0, 0, 0, 0}));
    EXPECT_EQ(Volumes(6).back(), 12);
    EXPECT_EQ(Volumes(6).back(), 12);
}

TEST_F(EffectsTest, FineVolumeSlidesActOnceAtTickZero) {
    Make(FileFormat::MOD, 1, 40);
    b().Put(0, 0, 0, 24, 1, kExtended, 0xA5);
    b().Put(0, 1, 0, -1, 0, kExtended, 0xB3);
    Start();
    EXPECT_EQ(Volumes(6), (std::vector<int>{45, 45, 45, 45, 45, 45}));
    EXPECT_EQ(Volumes(1).back(), 42);
}

TEST_F(EffectsTest, S3MExtraFinePortamentoStepsEveryFourthTick) {
    Make(FileFormat::S3M);
    b().Put(0, 0, 0, 48, 1);
    b().Put(0, 1, 0, -1, 0, kS3MLetterE, 0xE1);
    Start();
    Ticks(6);
    const int p = player.Voices[0].period;
    std::vector<int> rise;
    for (int v : Periods(6)) rise.push_back(v - p);
    EXPECT_EQ(rise, (std::vector<int>{1, 1, 1, 1, 2, 2}));
}

TEST_F(EffectsTest, S3MFinePortamentoActsAtTickZeroOnly) {
    Make(FileFormat::S3M);
    b().Put(0, 0, 0, 48, 1, 6 /* F */, 0xF3);
    Start();
    Ticks(1);
    const int p0 = PeriodsS3M[8][48];
    EXPECT_EQ(player.Voices[0].period, p0 - 3);
    Ticks(5);
    EXPECT_EQ(player.Voices[0].period, p0 - 3);
}

TEST_F(EffectsTest, PortamentoStopsAtEachKindsLimits) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 100, 1, kPortaUp, 0xFF);
    for (int r = 1; r < 8; r++) b().Put(0, r, 0, -1, 0, kPortaUp, 0);
    b().Put(0, 8, 0, 2, 1, kPortaDown, 0xFF);
    for (int r = 9; r < 20; r++) b().Put(0, r, 0, -1, 0, kPortaDown, 0);
    Start();
    Ticks(8 * 6);
    EXPECT_EQ(player.Voices[0].period, 58);
    Ticks(12 * 6);
    EXPECT_EQ(player.Voices[0].period, 14919);
    test::StopSong(player);

    Make(FileFormat::XM);
    b().Put(0, 0, 0, 90, 1, kPortaUp, 0xFF);
    b().Put(0, 1, 0, 1, 1, kPortaDown, 0xFF);
    for (int r = 2; r < 40; r++) b().Put(0, r, 0, -1, 0, kPortaDown, 0);
    Start();
    Ticks(6);
    EXPECT_EQ(player.Voices[0].period, 239);
    Ticks(39 * 6);
    EXPECT_EQ(player.Voices[0].period, 57976);
}

TEST_F(EffectsTest, TonePortamentoReachesItsTargetAndStays) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1);
    b().Put(0, 1, 0, 36, 1, kTonePorta, 0x40);
    for (int r = 2; r < 10; r++) b().Put(0, r, 0, -1, 0, kTonePorta, 0);
    Start();
    Ticks(6);
    const int from = player.Voices[0].period;
    std::vector<int> periods = Periods(6);
    EXPECT_EQ(periods[0], from);  // tick 0 only sets the target
    EXPECT_EQ(periods[1], from - 128);
    Ticks(8 * 6);
    EXPECT_EQ(player.Voices[0].period, ::moddeck::Periods[8][36]);
    EXPECT_EQ(player.Voices[0].portatarget, ::moddeck::Periods[8][36]);
}

TEST_F(EffectsTest, VibratoFollowsTheWaveformPerKind) {
    Make(FileFormat::MOD);
    test::StartSong(player, b().song());
    player.Voices[0] = Voice{};
    player.Voices[0].cuttick = -1;
    player.Voices[0].period = 428;
    player.Voices[0].instrument = 1;
    RowValues row;
    row.effect = kVibrato;
    row.param = 0x48;  // speed 4, depth 8
    player.ticks = 0;
    ApplyRowEffect(player, b().song(), FileFormat::MOD, 0, row);
    std::vector<int> heard;
    for (int t = 0; t < 4; t++) {
        player.ticks = t;
        heard.push_back(ApplyTickEffects(player, b().song(), FileFormat::MOD, 0, row).period);
    }
    // Positions 0, 4, 8, 12: 2 * trunc(8 * table / 256).
    EXPECT_EQ(heard, (std::vector<int>{428, 434, 438, 442}));
    EXPECT_EQ(player.Voices[0].period, 428);  // vibrato leaves the period itself alone
    test::StopSong(player);

    Make(FileFormat::XM);
    test::StartSong(player, b().song());
    player.Voices[0] = Voice{};
    player.Voices[0].cuttick = -1;
    player.Voices[0].period = 1712;
    player.Voices[0].instrument = 1;
    ApplyRowEffect(player, b().song(), FileFormat::XM, 0, row);
    player.ticks = 0;
    ApplyTickEffects(player, b().song(), FileFormat::XM, 0, row);
    player.ticks = 1;
    EXPECT_EQ(ApplyTickEffects(player, b().song(), FileFormat::XM, 0, row).period, 1712 + 8 * (776 / 128));
}

TEST_F(EffectsTest, VibratoOnAModRowWithANoteWaitsForTheNextRow) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kVibrato, 0x48);
    b().Put(0, 1, 0, -1, 0, kVibrato, 0x48);
    Start();
    Ticks(6);
    EXPECT_EQ(player.Voices[0].vibdepth, 0);
    EXPECT_EQ(player.Voices[0].vibpos, 0);
    Ticks(1);
    EXPECT_EQ(player.Voices[0].vibdepth, 8);
    EXPECT_EQ(player.Voices[0].vibpos, 4);
}

TEST_F(EffectsTest, TremoloOffsetsTheVolumeByTheWaveform) {
    Make(FileFormat::MOD);
    test::StartSong(player, b().song());
    player.Voices[0] = Voice{};
    player.Voices[0].cuttick = -1;
    player.Voices[0].period = 428;
    player.Voices[0].instrument = 1;
    player.Voices[0].volume = 40;
    RowValues row;
    row.effect = kTremolo;
    row.param = 0x4F;
    ApplyRowEffect(player, b().song(), FileFormat::MOD, 0, row);
    std::vector<int> t;
    for (int tick = 0; tick < 3; tick++) {
        player.ticks = tick;
        t.push_back(ApplyTickEffects(player, b().song(), FileFormat::MOD, 0, row).tremolo);
    }
    EXPECT_EQ(t, (std::vector<int>{0, 15 * 97 / 64, 15 * 180 / 64}));
    EXPECT_EQ(player.Voices[0].volume, 40);
}

TEST_F(EffectsTest, ModArpeggioLeavesTheLastNoteOfTheRow) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kArpeggio, 0x37);
    Start();
    EXPECT_EQ(Periods(6), (std::vector<int>{::moddeck::Periods[8][24], ::moddeck::Periods[8][27],
                                            ::moddeck::Periods[8][31], ::moddeck::Periods[8][24],
                                            ::moddeck::Periods[8][27], ::moddeck::Periods[8][31]}));
}

TEST_F(EffectsTest, S3MArpeggioUsesTheS3MTable) {
    Make(FileFormat::S3M);
    b().Put(0, 0, 0, 48, 1, kS3MLetterJ, 0x47);
    Start();
    Ticks(2);
    EXPECT_EQ(player.Voices[0].period, PeriodsS3M[8][52]);
}

TEST_F(EffectsTest, XMArpeggioOnlyChangesWhatIsHeard) {
    Make(FileFormat::XM);
    test::StartSong(player, b().song());
    player.Voices[0] = Voice{};
    player.Voices[0].cuttick = -1;
    player.Voices[0].period = XMPeriod(48, 0);
    player.Voices[0].note = 48;
    player.Voices[0].instrument = 1;
    RowValues row;
    row.effect = kArpeggio;
    row.param = 0x37;
    ApplyRowEffect(player, b().song(), FileFormat::XM, 0, row);
    std::vector<int> heard;
    for (int t = 0; t < 3; t++) {
        player.ticks = t;
        heard.push_back(ApplyTickEffects(player, b().song(), FileFormat::XM, 0, row).period);
    }
    EXPECT_EQ(heard, (std::vector<int>{XMPeriod(48, 0), XMPeriod(51, 0), XMPeriod(55, 0)}));
    EXPECT_EQ(player.Voices[0].period, XMPeriod(48, 0));

    // A negative relative note pushes the arpeggio below the table: it
    // stays on the table's lowest note.
    player.Voices[0].note = -20;
    player.Voices[0].arpstep = 1;
    EXPECT_EQ(ApplyTickEffects(player, b().song(), FileFormat::XM, 0, row).period, XMPeriod(0, 0));
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
    const float playing = player.Voices[0].position;
    Ticks(2);
    EXPECT_EQ(player.Voices[0].volume, 0);
    EXPECT_FLOAT_EQ(player.Voices[0].position, 0.0f);  // silent, held at the note's start
    Ticks(1);
    EXPECT_EQ(player.Voices[0].volume, 63);
    EXPECT_EQ(player.Voices[0].period, ::moddeck::Periods[8][36]);
    EXPECT_GT(player.Voices[0].position, 0.0f);
    EXPECT_NE(player.Voices[0].position, playing);
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
    Start();
    Ticks(6);
    EXPECT_EQ(b().song().globalVolume, 128);
    Ticks(1);
    EXPECT_EQ(b().song().globalVolume, 128);  // not at tick 0
    Ticks(1);
    EXPECT_EQ(b().song().globalVolume, 64);   // the slide keeps it within 0..64
}

TEST_F(EffectsTest, PanningCommandsPerKind) {
    Make(FileFormat::S3M, 2);
    b().Put(0, 0, 0, -1, 0, kS3MLetterS, 0x8F);
    b().Put(0, 0, 1, -1, 0, kS3MLetterS, 0x80);
    Start();
    Ticks(1);
    EXPECT_FLOAT_EQ(player.pan[0], 1.0f);
    EXPECT_FLOAT_EQ(player.pan[1], 0.0f);
    test::StopSong(player);

    Make(FileFormat::MOD, 2);
    b().Put(0, 0, 0, -1, 0, kSetPanning, 0xFF);
    b().Put(0, 0, 1, -1, 0, kExtended, 0x8F);
    Start();
    Ticks(1);
    EXPECT_FLOAT_EQ(player.pan[0], 0.5f);
    EXPECT_FLOAT_EQ(player.pan[1], 0.35f);
    test::StopSong(player);

    Make(FileFormat::XM, 2);
    b().Put(0, 0, 0, -1, 0, kSetPanning, 0xFF);
    b().Put(0, 0, 1, -1, 0, kExtended, 0x84);
    Start();
    Ticks(1);
    EXPECT_FLOAT_EQ(player.pan[0], 1.0f);
    EXPECT_FLOAT_EQ(player.pan[1], 0.25f);
}

TEST_F(EffectsTest, VolumeSlideWithANoteSlidesOnlyThroughTonePortamento) {
    Make(FileFormat::MOD, 1, 40);
    // 5xy and 6xy do not load the sample's volume: a plain note does first.
    b().Put(0, 0, 0, 24, 1);
    b().Put(0, 1, 0, 24, 1, kVibratoVolSlide, 0x02);
    b().Put(0, 2, 0, 24, 1, kTonePortaVolSlide, 0x02);
    Start();
    EXPECT_EQ(Volumes(6).back(), 40);
    EXPECT_EQ(Volumes(6).back(), 40);
    EXPECT_EQ(Volumes(6).back(), 30);
}

TEST_F(EffectsTest, SetVolumeAndXMVolumeColumn) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kSetVolume, 20);
    Start();
    EXPECT_EQ(Volumes(2), (std::vector<int>{20, 20}));
    test::StopSong(player);

    Make(FileFormat::XM);
    b().Put(0, 0, 0, 25, 1).volume = 0x30;
    b().Put(0, 1, 0, -1, 0).volume = 0x60;  // a slide byte: ignored
    Start();
    EXPECT_EQ(Volumes(6).back(), 32);
    EXPECT_EQ(Volumes(1).back(), 32);
}

TEST_F(EffectsTest, ModFinetuneCommandChangesTheSampleInTheSong) {
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kExtended, 0x5F);
    b().Put(0, 1, 0, 24, 1);
    Start();
    Ticks(6);
    EXPECT_EQ(b().song().samples[1].finetune, -1);
    Ticks(1);
    EXPECT_EQ(player.Voices[0].finetune, 7);
    EXPECT_EQ(player.Voices[0].period, ::moddeck::Periods[7][24]);
}

TEST_F(EffectsTest, S3MNoteCutNoteSilencesAtOnce) {
    Make(FileFormat::S3M);
    b().Put(0, 0, 0, 48, 1);
    b().Put(0, 1, 0, 254, 0);
    Start();
    Ticks(6);
    EXPECT_EQ(player.Voices[0].volume, 63);
    Ticks(1);
    EXPECT_EQ(player.Voices[0].volume, 0);
}

TEST_F(EffectsTest, XMKeyOffSilencesAtOnce) {
    Make(FileFormat::XM);
    b().Put(0, 0, 0, 25, 1);
    b().Put(0, 1, 0, 97, 0);
    Start();
    Ticks(7);
    EXPECT_EQ(player.Voices[0].period, 0);
    EXPECT_EQ(player.Voices[0].instrument, 0);
    EXPECT_EQ(player.Voices[0].volume, 0);
}

}  // namespace
}  // namespace moddeck
