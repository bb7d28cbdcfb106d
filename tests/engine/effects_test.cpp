// Pattern effects of the three kinds, played through the sequencer tick by
// tick: slides, portamento, vibrato and tremolo, arpeggio, cut and delay,
// global volume, panning, speed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "engine/effects.h"
#include "engine/player.h"
#include "engine/waveform.h"
#include "loaders/commands.h"
#include "song/periods.h"
#include "support/player_fixture.h"
#include "support/song_builder.h"

namespace moddeck {
namespace {

using test::Constant;
using test::SongBuilder;

constexpr int kS3MLetterD = 4, kS3MLetterE = 5, kS3MLetterS = 19, kS3MLetterJ = 10, kS3MLetterQ = 17, kS3MLetterX = 24;

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
    // An IT song in sample mode with the header `flags`.
    void MakeIT(uint16_t flags = 0, int channels = 1) {
        Make(FileFormat::IT, channels);
        b().song().behaviour = BehaviourOf(FileFormat::IT, flags);
        b().song().linearFreq = flags & kITLinearSlides;
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
        v.samplenum = kind == FileFormat::IT ? 1 : 0;  // IT instruments name song sample slots
    }
    static RowValues Row(Effect effect, int param) {
        RowValues row;
        row.effect = effect;
        row.param = param;
        return row;
    }
    // Voice 0 given `row`: what the tick part gives (`field`) on ticks
    // `from` to n - 1, after the row part.
    std::vector<int> Heard(const RowValues& row, int n, int32_t TickOutput::*field, int from = 0) {
        ApplyRowEffect(*player, 0, row);
        std::vector<int> heard;
        for (int t = from; t < n; t++) {
            player->ticks = t;
            heard.push_back(ApplyTickEffects(*player, 0, row).*field);
        }
        return heard;
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

// The commands as files number them, translated at load.
TEST_F(EffectsTest, CommandsTranslateToTheCommonEffectsAndFormatsToTheirBehaviour) {
    auto s3m = [](int letter, int param) {
        ModCell cell{};
        TranslateS3MCommand(static_cast<uint8_t>(letter), static_cast<uint8_t>(param), cell);
        return std::pair{cell.effect, static_cast<int>(cell.param)};
    };
    auto tracker = [](int command, int param, bool xm) {
        ModCell cell{};
        TranslateTrackerCommand(static_cast<uint8_t>(command), static_cast<uint8_t>(param), xm, cell);
        return std::pair{cell.effect, static_cast<int>(cell.param)};
    };
    EXPECT_EQ(s3m(1, 3), std::pair(Effect::SetSpeed, 3));  // A
    EXPECT_EQ(s3m(1, 0).first, Effect::None);
    EXPECT_EQ(s3m(3, 0x12), std::pair(Effect::PatternBreak, 12));  // C: decimal rows
    EXPECT_EQ(s3m(kS3MLetterD, 0xF2), std::pair(Effect::VolumeSlide, 0xF2));
    EXPECT_EQ(s3m(kS3MLetterE, 0x10).first, Effect::PortaDown);
    EXPECT_EQ(s3m(12, 0x01).first, Effect::TonePortaVolumeSlide);  // L
    EXPECT_EQ(s3m(17, 0x21).first, Effect::MultiRetrigger);         // Q
    EXPECT_EQ(s3m(kS3MLetterS, 0xC3), std::pair(Effect::NoteCut, 3));
    EXPECT_EQ(s3m(kS3MLetterS, 0xB2), std::pair(Effect::PatternLoop, 2));
    EXPECT_EQ(s3m(20, 0x1F).first, Effect::None);  // T below 32
    EXPECT_EQ(s3m(20, 0x80).first, Effect::SetTempo);
    EXPECT_EQ(s3m(22, 65).first, Effect::None);  // V above 64
    EXPECT_EQ(s3m(24, 0x40).first, Effect::ChannelPanning);  // X
    EXPECT_EQ(s3m(25, 1).first, Effect::None);
    EXPECT_EQ(s3m(255, 1).first, Effect::None);
    EXPECT_EQ(tracker(kArpeggio, 0, false).first, Effect::None);
    EXPECT_EQ(tracker(kSpeedTempo, 0x1F, false), std::pair(Effect::SetSpeed, 0x1F));
    EXPECT_EQ(tracker(kSpeedTempo, 0x20, true), std::pair(Effect::SetTempo, 0x20));
    EXPECT_EQ(tracker(kSetPanning, 0x80, false).first, Effect::None);  // MOD: no panning
    EXPECT_EQ(tracker(kExtended, 0x84, true), std::pair(Effect::Panning, 0x40));
    EXPECT_EQ(tracker(kExtended, 0x5F, true).first, Effect::None);  // XM: no finetune command
    EXPECT_EQ(tracker(kExtended, 0x5F, false), std::pair(Effect::SetFinetune, 15));
    EXPECT_EQ(tracker(kExtraFinePorta, 0x13, true), std::pair(Effect::ExtraFinePorta, 0x13));
    auto it = [](int letter, int param) {
        ModCell cell{};
        TranslateITCommand(static_cast<uint8_t>(letter), static_cast<uint8_t>(param), cell);
        return std::pair{cell.effect, static_cast<int>(cell.param)};
    };
    auto itVolume = [](int byte) {
        ModCell cell{};
        TranslateITVolumeColumn(static_cast<uint8_t>(byte), cell);
        return std::pair{cell.volumeEffect, static_cast<int>(cell.volumeParam)};
    };
    EXPECT_EQ(it(3, 0x12), std::pair(Effect::PatternBreak, 0x12));  // C: binary rows
    EXPECT_EQ(it(13, 65).first, Effect::None);                      // M above 64
    EXPECT_EQ(it(16, 0x0F).first, Effect::ChannelPanningSlide);     // P
    EXPECT_EQ(it(20, 0x1F), std::pair(Effect::TempoSlide, 0x1F));   // T: 0x, 1x slide
    EXPECT_EQ(it(22, 128).first, Effect::SetGlobalVolume);          // V up to 128
    EXPECT_EQ(it(22, 129).first, Effect::None);
    EXPECT_EQ(it(24, 0xFF), std::pair(Effect::Panning, 0xFF));      // X
    EXPECT_EQ(it(kS3MLetterS, 0x8F), std::pair(Effect::Panning, 0xFF));
    EXPECT_EQ(it(kS3MLetterS, 0x91), std::pair(Effect::Panning, 128));  // surround: the centre
    EXPECT_EQ(it(kS3MLetterS, 0xA2), std::pair(Effect::HighOffset, 2));
    EXPECT_EQ(it(kS3MLetterS, 0xC0), std::pair(Effect::NoteCut, 1));
    EXPECT_EQ(itVolume(74), std::pair(VolumeEffect::FineSlideUp, 9));
    EXPECT_EQ(itVolume(107), std::pair(VolumeEffect::PortaDown, 8));  // four times E's units
    EXPECT_EQ(itVolume(125).first, VolumeEffect::None);
    EXPECT_EQ(itVolume(160), std::pair(VolumeEffect::Panning, 128));
    EXPECT_EQ(itVolume(192), std::pair(VolumeEffect::Panning, 255));
    EXPECT_EQ(itVolume(202), std::pair(VolumeEffect::TonePorta, 255));
    EXPECT_EQ(itVolume(204), std::pair(VolumeEffect::Vibrato, 1));
    // Fast S3M slides: asked for by the header, or always by Scream Tracker 3.00.
    EXPECT_TRUE(BehaviourOf(FileFormat::S3M, 0x40, 0x1320).volumeSlidesOnFirstTick);
    EXPECT_TRUE(BehaviourOf(FileFormat::S3M, 0, 0x1300).volumeSlidesOnFirstTick);
    EXPECT_FALSE(BehaviourOf(FileFormat::S3M, 0, 0x1320).volumeSlidesOnFirstTick);
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

// Voice 0's volume or period on each tick of a song of one channel.
struct TickCase {
    const char* what;
    FileFormat kind;
    int volume;
    std::vector<std::array<int, 5>> cells;  // row, note, instrument, command, parameter
    int Voice::*field;
    std::vector<int> expected;
};

const int kS3MC4 = S3MPeriod(48, kS3MMiddleCRate);
const TickCase kTickCases[] = {
    {"fine volume slides act once at tick 0", FileFormat::MOD, 40,
     {{0, 24, 1, kExtended, 0xA5}, {1, -1, 0, kExtended, 0xB3}}, &Voice::volume, {45, 45, 45, 45, 45, 45, 42}},
    {"a note cut silences at its tick", FileFormat::MOD, 64, {{0, 24, 1, kExtended, 0xC3}}, &Voice::volume,
     {63, 63, 63, 0, 0, 0}},
    {"an S3M note cut note silences at once", FileFormat::S3M, 64, {{0, 48, 1, 0, 0}, {1, 254, 0, 0, 0}},
     &Voice::volume, {63, 63, 63, 63, 63, 63, 0}},
    {"set volume", FileFormat::MOD, 64, {{0, 24, 1, kSetVolume, 20}}, &Voice::volume, {20, 20}},
    {"a MOD arpeggio leaves the last note of the row", FileFormat::MOD, 64, {{0, 24, 1, kArpeggio, 0x37}},
     &Voice::period, {Periods[8][24], Periods[8][27], Periods[8][31], Periods[8][24], Periods[8][27], Periods[8][31]}},
    {"an S3M arpeggio uses the S3M periods", FileFormat::S3M, 64, {{0, 48, 1, kS3MLetterJ, 0x47}}, &Voice::period,
     {kS3MC4, S3MPeriod(52, kS3MMiddleCRate)}},
    // Fine: 4 periods a unit, extra fine: 1 period a unit.
    {"S3M fine and extra fine portamento act at tick 0 only", FileFormat::S3M, 64,
     {{0, 48, 1, 6 /* F */, 0xF3}, {1, -1, 0, kS3MLetterE, 0xE3}, {2, -1, 0, kS3MLetterE, 0xE3}}, &Voice::period,
     {kS3MC4 - 12, kS3MC4 - 12, kS3MC4 - 12, kS3MC4 - 12, kS3MC4 - 12, kS3MC4 - 12, kS3MC4 - 9, kS3MC4 - 9,
      kS3MC4 - 9, kS3MC4 - 9, kS3MC4 - 9, kS3MC4 - 9, kS3MC4 - 6}},
};

TEST_F(EffectsTest, VolumesAndPeriodsTickByTick) {
    for (const TickCase& c : kTickCases) {
        Make(c.kind, 1, c.volume);
        for (const auto& [row, note, instrument, command, param] : c.cells) b().Put(0, row, 0, note, instrument, command, param);
        Start();
        const auto field = c.field;
        EXPECT_EQ(Track(static_cast<int>(c.expected.size()), [field](const Voice& v) { return v.*field; }), c.expected)
            << c.what;
    }
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
    b().song().behaviour.volumeSlidesOnFirstTick = true;
    b().Put(0, 6, 0, -1, 0, kS3MLetterD, 0x01);
    EXPECT_EQ(Volumes(1).back(), 54);
}

TEST_F(EffectsTest, ITPortamentoMemoriesAndRelativeArpeggio) {
    for (uint16_t flags : {0, int{kITCompatibleGxx}}) {
        MakeIT(flags | kITLinearSlides);
        b().Put(0, 0, 0, 24, 1, kS3MLetterE, 0x08);
        b().Put(0, 1, 0, -1, 0, 6 /* F */, 0x00);  // E's memory
        b().PutVolume(b().Cell(0, 2, 0), 115 + 2);  // f2: F08
        b().Put(0, 3, 0, -1, 0, 10 /* J */, 0x47);
        b().Put(0, 4, 0, -1, 0, 10 /* J */, 0x00);  // the last arpeggio
        Start();
        const int p0 = Periods(1).back();
        EXPECT_EQ(Periods(5).back(), p0 + 5 * 32);
        EXPECT_EQ(player->Voices[0].portaspeed, flags ? 0 : 8);  // G shares it unless compatible Gxx
        EXPECT_EQ(Periods(6).back(), p0);
        EXPECT_EQ(Periods(6).back(), p0 - 5 * 32);
        Ticks(6 + 1);
        EXPECT_EQ(ApplyTickEffects(*player, 0, RowValues{-1, 0, VolumeEffect::None, 0, Effect::Arpeggio}).period,
                  p0 - 5 * 32 - 4 * 64);
    }
}

TEST_F(EffectsTest, ITTempoSlideAndFinePatternDelay) {
    MakeIT();
    b().Put(0, 0, 0, -1, 0, 20 /* T */, 0x13);
    b().Put(0, 1, 0, -1, 0, 20 /* T */, 0x00);
    b().Put(0, 2, 0, -1, 0, kS3MLetterS, 0x63);
    Start();
    Ticks(12);
    EXPECT_EQ(player->tempo, 125 + 10 * 3);
    Ticks(6 + 3);
    EXPECT_EQ(player->raw, 3);  // six ticks and three more
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
    // Speed 4, depth 8. Tick 0 plays the note; then positions 0, 4, 8: 2 * trunc(8 * table / 128).
    EXPECT_EQ(Heard(Row(Effect::Vibrato, 0x48), 4, &TickOutput::period), (std::vector<int>{428, 428, 440, 450}));
    EXPECT_EQ(player->Voices[0].period, 428);  // vibrato leaves the period itself alone

    // Positions 0 and 4 on ticks 1 and 2, then 8 on tick 0 again: XM keeps
    // the vibrato on a row's first tick.
    BareVoice(FileFormat::XM, 1712);
    EXPECT_EQ(Heard(Row(Effect::Vibrato, 0x48), 3, &TickOutput::period, 1)[1], 1712 + 8 * (776 / 128));
    player->ticks = 0;
    EXPECT_EQ(ApplyTickEffects(*player, 0, Row(Effect::Vibrato, 0x48)).period, 1712 + 8 * (1440 / 128));

    BareVoice(FileFormat::S3M, 1712);  // S3M U: a quarter of the depth
    EXPECT_EQ(Heard(Row(Effect::FineVibrato, 0x48), 3, &TickOutput::period, 1)[1], 1712 + 4 * (776 / 512));

    // IT moves on before the vibrato is heard, on every tick, the first
    // included, at half the depth, rising first; with old effects not on the
    // first tick, as deep as the classic trackers. And on the square wave.
    for (uint16_t flags : {0, int{kITOldEffects}}) {
        BareVoice(FileFormat::IT, 1712);
        b().song().behaviour = BehaviourOf(FileFormat::IT, flags);
        EXPECT_EQ(Heard(Row(Effect::Vibrato, 0x48), 3, &TickOutput::period),
                  flags ? (std::vector<int>{1712, 1712 + 4 * (776 / 128), 1712 + 4 * (1440 / 128)})
                        : (std::vector<int>{1712 - 4 * 776 / 256, 1712 - 4 * 1440 / 256, 1712 - 4 * 1880 / 256}));
    }
    ApplyRowEffect(*player, 0, Row(Effect::VibratoWaveform, kWaveSquare));
    player->Voices[0].vibpos = 40;
    EXPECT_EQ(ApplyTickEffects(*player, 0, Row(Effect::Vibrato, 0x48)).period, 1712 - 4 * (8 * 255 / 128));
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
    // From the row's second tick.
    EXPECT_EQ(Heard(Row(Effect::Tremolo, 0x4F), 3, &TickOutput::tremolo), (std::vector<int>{0, 0, 15 * 97 / 64}));
    EXPECT_EQ(player->Voices[0].volume, 40);

    b().song().behaviour = BehaviourOf(FileFormat::IT);  // every tick, half as deep
    player->Voices[0].samplenum = 1;
    player->Voices[0].trempos = 4;
    player->ticks = 0;
    EXPECT_EQ(ApplyTickEffects(*player, 0, Row(Effect::Tremolo, 0x4F)).tremolo, 15 * 97 / 128);
}

TEST_F(EffectsTest, XMArpeggioOnlyChangesWhatIsHeard) {
    BareVoice(FileFormat::XM, XMPeriod(48, 0));
    player->Voices[0].note = 48;
    EXPECT_EQ(Heard(Row(Effect::Arpeggio, 0x37), 3, &TickOutput::period),
              (std::vector<int>{XMPeriod(48, 0), XMPeriod(51, 0), XMPeriod(55, 0)}));
    EXPECT_EQ(player->Voices[0].period, XMPeriod(48, 0));

    // A negative relative note pushes the arpeggio below the table: it
    // stays on the table's lowest note.
    player->Voices[0].note = -20;
    player->Voices[0].arpstep = 1;
    EXPECT_EQ(ApplyTickEffects(*player, 0, Row(Effect::Arpeggio, 0x37)).period, XMPeriod(0, 0));
}

// The row's note waits for its tick while the old one goes on sounding; a
// delay of 0 plays it at once, one past the row's last tick never.
TEST_F(EffectsTest, NoteDelayKeepsTheOldNoteUntilTheNewOneStarts) {
    for (FileFormat kind : {FileFormat::MOD, FileFormat::S3M, FileFormat::XM}) {
        Make(kind);
        const int low = kind == FileFormat::XM ? 49 : 24, high = low + 12;
        const int delay = kind == FileFormat::S3M ? kS3MLetterS : kExtended;
        b().Put(0, 0, 0, low, 1);
        b().Put(0, 1, 0, high, 1, delay, 0xD2);
        b().Put(0, 2, 0, low, 1, delay, 0xD0);
        b().Put(0, 3, 0, high, 1, delay, 0xD6);
        Start();
        Ticks(6);
        const std::vector<int> heard = Track(18, [](const Voice& v) { return v.volume == 63 ? v.note : -1; });
        std::vector<int> expected(18, low);
        std::fill_n(expected.begin() + 2, 4, high);
        EXPECT_EQ(heard, expected) << FormatName(kind);
    }
    // XM: a delay alone plays the last note again on its tick.
    Make(FileFormat::XM);
    b().Put(0, 0, 0, 49, 1, kPortaUp, 0x20);
    b().Put(0, 1, 0, -1, 0, kExtended, 0xD2);
    Start();
    const std::vector<int> periods = Periods(9);
    EXPECT_EQ(periods[7], periods[5]);
    EXPECT_EQ(periods[8], XMNotePeriod(b().song().linearFreq, 49, 0));
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

    // IT: up to 128, fine slides, a memory per channel; M and N: the channel's own volume.
    MakeIT(0, 2);
    b().Put(0, 0, 0, 24, 1, 22 /* V */, 0x90);
    b().Put(0, 0, 1, 24, 1, 13 /* M */, 0x20);
    b().Put(0, 1, 0, -1, 0, 23 /* W */, 0x2F);
    b().Put(0, 1, 1, -1, 0, 14 /* N */, 0x03);
    b().Put(0, 2, 0, -1, 0, 23 /* W */, 0x00);
    b().Put(0, 2, 1, -1, 0, 14 /* N */, 0xF1);
    Start();
    Ticks(1);
    EXPECT_EQ(player->globalVolume, 128);
    EXPECT_FLOAT_EQ(player->mix[1].gain, player->mix[0].gain / 2);
    Ticks(5 + 6);
    EXPECT_EQ(player->globalVolume, 128);
    player->globalVolume = 100;
    EXPECT_EQ(player->Voices[1].channelVolume, 32 - 15);
    Ticks(6);
    EXPECT_EQ(player->globalVolume, 102);  // W00: the channel's last, fine
    EXPECT_EQ(player->Voices[1].channelVolume, 16);
}

TEST_F(EffectsTest, PanningCommandsPerKind) {
    Make(FileFormat::S3M, 4);
    b().Put(0, 0, 0, -1, 0, kS3MLetterS, 0x8F);
    b().Put(0, 0, 1, -1, 0, kS3MLetterS, 0x80);
    b().Put(0, 0, 2, -1, 0, kS3MLetterX, 0x20);
    b().Put(0, 0, 3, -1, 0, kS3MLetterX, 0xA4);
    Start();
    Ticks(1);
    EXPECT_FLOAT_EQ(player->pan[0], 0.0f);  // S8F: right
    EXPECT_FLOAT_EQ(player->pan[1], 1.0f);  // S80: left
    EXPECT_FLOAT_EQ(player->pan[2], 0.75f);  // X20: a quarter right
    EXPECT_FLOAT_EQ(player->pan[3], 0.5f);   // XA4 (surround): the centre

    Make(FileFormat::MOD, 2);
    b().Put(0, 0, 0, -1, 0, kSetPanning, 0xFF);
    b().Put(0, 0, 1, -1, 0, kExtended, 0x8F);
    Start();
    Ticks(1);
    EXPECT_FLOAT_EQ(player->pan[0], 0.5f);
    EXPECT_FLOAT_EQ(player->pan[1], 0.35f);

    Make(FileFormat::XM, 5);
    b().Put(0, 0, 0, 25, 1, kSetPanning, 0xFF);
    b().Put(0, 0, 1, 25, 1, kExtended, 0x84);
    b().PutVolume(b().Put(0, 0, 2, 25, 1, kPanningSlide, 0x0F), 0xC8);  // set 0x80, then left 15 a tick
    b().PutVolume(b().Put(0, 0, 3, 25, 1), 0xD2);                       // volume column: left 2 a tick
    b().PutVolume(b().Put(0, 0, 4, 25, 1), 0xE3);                       // right 3 a tick
    Start();
    Ticks(6);
    EXPECT_EQ(player->Voices[0].panning, 0xFF);
    EXPECT_EQ(player->Voices[1].panning, 0x40);
    EXPECT_EQ(player->Voices[2].panning, 0x80 - 5 * 15);
    EXPECT_EQ(player->Voices[3].panning, 128 - 5 * 2);
    EXPECT_EQ(player->Voices[4].panning, 128 + 5 * 3);

    // IT pans the channel: X, S8x, the volume column; P x0 left, 0y right by 64ths.
    MakeIT(0, 3);
    b().Put(0, 0, 0, 24, 1, 24 /* X */, 0x40);
    b().PutVolume(b().Put(0, 0, 1, 24, 1, 16 /* P */, 0x20), 128 + 32);
    b().Put(0, 0, 2, 24, 1, 25 /* Y */, 0x8F);
    Start();
    Ticks(1);
    EXPECT_FLOAT_EQ(player->pan[0], 0.75f);
    Ticks(5);
    EXPECT_FLOAT_EQ(player->pan[1], 0.5f + 5 * 2 / 64.0f);
    EXPECT_NE(player->Voices[2].panbrello, 0);
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

// A note its sample's relative note takes past the table's top (119) does
// not play, nor one whose map entry (the first is note 1's) names no sample.
TEST_F(EffectsTest, XMNotesOffTheTableOrTheMapDoNotPlay) {
    Make(FileFormat::XM);
    b().InstrumentSample(1).relativeNote = 36;
    b().song().instruments[1].noteSample[48] = 5;
    b().Put(0, 0, 0, 83, 1);
    b().Put(0, 1, 0, 84, 1);
    b().Put(0, 2, 0, 49, 1);
    Start();
    Ticks(18);
    EXPECT_EQ(player->Voices[0].note, 83 + 36);
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

TEST_F(EffectsTest, ITHighOffsetAndOffsetsPastTheEnd) {
    for (uint16_t flags : {0, int{kITOldEffects}}) {
        MakeIT(flags);
        b().Put(0, 0, 0, 24, 1, kS3MLetterS, 0xA1);
        b().Put(0, 1, 0, 24, 1, 15 /* O */, 0x02);
        Start();
        Ticks(7);
        EXPECT_EQ(player->Voices[0].offset, 65536 + 512);
        // Past the sample's 4000 frames: from the start, or silent with old effects.
        const int64_t frame = player->Voices[0].position >> 32;
        EXPECT_TRUE(flags ? frame == 65536 + 512 : frame < 40) << frame;
    }
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
        // One naming a sample without data stops the note (MOD).
        b().Put(0, 2, 0, -1, 3);
        Ticks(6);
        EXPECT_EQ(player->mix[0].sample == nullptr, kind == FileFormat::MOD) << FormatName(kind);
    }
}

TEST_F(EffectsTest, SetVolumeAndXMVolumeColumn) {
    ModCell edge{};
    TranslateXMVolumeColumn(0x50, edge);  // sets 64; past 0x50 nothing
    EXPECT_EQ(edge.volumeParam, 64);
    TranslateXMVolumeColumn(0x51, edge);
    EXPECT_EQ(edge.volumeEffect, VolumeEffect::None);

    Make(FileFormat::XM, 2);
    b().PutVolume(b().Put(0, 0, 0, 25, 1), 0x30);
    b().PutVolume(b().Put(0, 1, 0, -1, 0, kVolumeSlide, 0x10), 0x62);  // both slide
    b().PutVolume(b().Put(0, 2, 0, -1, 0), 0x93);                      // fine up 3 at tick 0
    b().PutVolume(b().Put(0, 3, 0, -1, 0), 0x72);                      // up 2 on the ticks after the first
    b().Put(0, 0, 1, 25, 1);
    b().PutVolume(b().Put(0, 1, 1, 37, 1), 0xF4);  // tone portamento at speed 0x40
    b().PutVolume(b().Put(0, 2, 1, -1, 0), 0xA8);  // vibrato speed 8 ...
    b().PutVolume(b().Put(0, 3, 1, -1, 0), 0xB8);  // ... and depth 8: it plays
    Start();
    EXPECT_EQ(Volumes(6).back(), 32);
    EXPECT_EQ(Volumes(6), (std::vector<int>{32, 31, 30, 29, 28, 27}));
    EXPECT_EQ(player->Voices[1].period, std::max(XMPeriod(25, 0) - 5 * 0x40 * 8, XMPeriod(37, 0)));
    EXPECT_EQ(Volumes(6), (std::vector<int>(6, 30)));
    EXPECT_EQ(Volumes(6).back(), 40);
    EXPECT_EQ(player->Voices[1].vibpos, 5 * 8);
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

TEST_F(EffectsTest, XMMemoriesRetriggerTremorAndKeyOffCommand) {
    Make(FileFormat::XM, 7);
    b().Put(0, 0, 6, 49, 1, kKeyOff, 0);  // at tick 0 in place of the note: no note plays
    b().Put(0, 0, 4, 49, 1, kExtraFinePorta, 0x12);  // a quarter of a fine step, then X10 again
    b().Put(0, 1, 4, -1, 0, kExtraFinePorta, 0x10);
    b().Put(0, 0, 5, 49, 1, kExtraFinePorta, 0x23);
    b().Put(0, 0, 0, 49, 1, kExtended, 0x12);   // fine up 2, then E10 again
    b().Put(0, 1, 0, -1, 0, kExtended, 0x10);
    b().Put(0, 0, 1, 49, 1, kMultiRetrigger, 0x72);  // every 2 ticks, volume halved
    b().Put(0, 0, 2, 49, 1, kTremor, 0x10);     // 2 ticks on, 1 off, from the second tick
    b().Put(0, 1, 2, -1, 0, kTremor, 0x01);     // 1 on, 2 off, counting on: ends off
    b().Put(0, 3, 2, -1, 1);                    // the instrument brings the volume back
    b().Put(0, 0, 3, 49, 1, kKeyOff, 3);        // key off at tick 3: no envelope, cut
    Start();
    std::string tremor;
    for (int t = 0; t < 24; t++) {
        Ticks(1);
        tremor += player->mix[2].gain > 0 ? '#' : '.';
        if (t == 5) {
            EXPECT_EQ(player->Voices[1].volume, 63 / 2 / 2);  // retriggered at ticks 2 and 4
            EXPECT_EQ(player->Voices[3].volume, 0);
        }
    }
    EXPECT_EQ(tremor, "###.##" "#..#.." "......" "######");  // silent after it, until the instrument
    EXPECT_EQ(player->Voices[0].period, XMNotePeriod(false, 49, 0) - 2 * 2 * 8);
    EXPECT_EQ(player->Voices[4].period, XMNotePeriod(false, 49, 0) - 2 * 2 * 2);
    EXPECT_EQ(player->Voices[5].period, XMNotePeriod(false, 49, 0) + 3 * 2);
    EXPECT_EQ(player->Voices[6].period, 0);
}

TEST_F(EffectsTest, RetriggersRestartTheSampleAndChangeTheVolumeByTheHighNibble) {
    for (FileFormat kind : {FileFormat::XM, FileFormat::S3M}) {
        Make(kind, 16, 32);
        for (int x = 0; x < 16; x++)
            b().Put(0, 0, x, 49, 1, kind == FileFormat::XM ? kMultiRetrigger : kS3MLetterQ, x << 4 | 1);
        Start();
        Ticks(2);  // the first retrigger comes on the tick after the note's
        std::vector<int> volumes;
        for (int x = 0; x < 16; x++) volumes.push_back(player->Voices[x].volume);
        EXPECT_EQ(volumes, (std::vector<int>{32, 31, 30, 28, 24, 16, 21, 16, 32, 33, 34, 36, 40, 48, 48, 63}));
    }
    Make(FileFormat::MOD);
    b().Put(0, 0, 0, 24, 1, kExtended, 0x93);  // E93: from the start every third tick
    Start();
    const std::vector<int> at = Track(6, [](const Voice& v) { return static_cast<int>(v.position >> 32); });
    EXPECT_EQ(at[3], at[0]);
    EXPECT_GT(at[5], at[4]);
}

TEST_F(EffectsTest, FilterMacrosSetCutoffAndResonanceAsSFxChooses) {
    Make(FileFormat::XM);
    const std::pair<Effect, int> rows[] = {{Effect::Macro, 0x30}, {Effect::Macro, 0x8A}, {Effect::MacroSelect, 1},
                                           {Effect::Macro, 0x10}, {Effect::Macro, 0x95}, {Effect::MacroSelect, 0},
                                           {Effect::Macro, 0x7F}};
    for (int r = 0; r < 7; r++) b().Cell(0, r, 0).effect = rows[r].first, b().Cell(0, r, 0).param = rows[r].second;
    Start(1);
    // cutoff * 1000 + resonance after each row: SF1's macro and Z90..ZFF are empty.
    EXPECT_EQ(Track(7, [](const Voice& v) { return v.cutoff * 1000 + v.resonance; }),
              (std::vector<int>{48000, 48080, 48080, 48080, 48080, 48080, 127080}));
}

}  // namespace
}  // namespace moddeck
