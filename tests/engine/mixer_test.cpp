// The voice mixer: frame arithmetic, loop modes and their bounds, the final
// mix and its clamp.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/effects.h"
#include "engine/mixer.h"
#include "engine/player.h"
#include "loaders/commands.h"
#include "song/periods.h"
#include "support/player_fixture.h"
#include "support/song_builder.h"

namespace moddeck {
namespace {

using test::Constant;
using test::Ramp;
using test::SongBuilder;

class MixerTest : public test::PlayerTest {
protected:

    // Voice c plays slot c + 1 at a step of exactly 1.0 frame per output
    // frame (RenderTick sets it), for ticks of 256 (XM) or 128 frames.
    // The plain mixer, whose voice buffers show each frame as rendered.
    void PrepareUnitStep(FileFormat kind) {
        ASSERT_TRUE(UsePlainMixer(*player));
        player->LEN_TICK = kind == FileFormat::XM ? 256 : 128;
        player->ticks = 0;
        for (int c = 0; c < player->NVoices; c++) {
            Voice& v = player->Voices[c];
            v.period = 1;
            v.instrument = c + 1;
            v.position = 0;
            v.volume = 63;
            v.delaytick = 0;
            v.fadevolume = 65536;
            v.samplenum = 0;
        }
    }

    // Mixes one tick of every voice with the tremolo offset, `step` sample
    // frames per output frame.
    void RenderTick(int32_t tremolo = 0, double step = 1.0) {
        for (int c = 0; c < player->NVoices; c++) {
            PrepareVoiceTick(*player, c, 1, tremolo);
            player->mix[c].step = static_cast<int64_t>(step * kFixedOne);
        }
        MixFrames(*player, mixed_, player->LEN_TICK);
    }

    // Plays a song of one channel whose sample 1 (XM: instrument 1's) is
    // `frames` with the loop given, all to the left, set up as above.
    ModSample& PlayOneSample(FileFormat kind, const std::vector<int16_t>& frames, int loopType = 0,
                             int loopStart = 0, int loopLength = 0) {
        player.reset();  // it plays the song about to go
        song_ = std::make_unique<SongBuilder>(kind, 1);
        ModSample& s = kind == FileFormat::XM ? (song_->AddInstrument(1, frames), song_->InstrumentSample(1))
                                              : song_->AddSample(1, frames);
        s.loopType = loopType;
        s.loopStart = loopStart;
        s.loopLength = loopLength;
        s.panning = 255;
        PlaySong(song_->song());
        player->pan[0] = 1.0f;
        PrepareUnitStep(kind);
        return s;
    }

    int16_t Left(int frame) const { return player->ptrVoices[0][2 * frame]; }
    int16_t mixed_[2 * kMixChunkFrames];
    std::unique_ptr<SongBuilder> song_;
};

TEST_F(MixerTest, PanSplitsTheValueBetweenTheTwoElements) {
    int16_t frame[2];
    PanFrame(1001, 0.5f, frame);
    EXPECT_EQ(frame[0], 500);
    EXPECT_EQ(frame[1], 501);
    PanFrame(-1001, 0.35f, frame);
    EXPECT_EQ(frame[0], -350);
    EXPECT_EQ(frame[1], -651);
}

// A sample without a loop, or whose loop cannot play, sounds its frames
// (gain 63/64: 6400 becomes 6300) and ends: a MOD or S3M one after a silent
// frame past its end, as the trackers read a guard frame there.
TEST_F(MixerTest, SamplesThatDoNotLoopEndAfterTheirLastFrame) {
    struct { const char* what; FileFormat kind; int length, loopType, loopStart, loopLength, end; } cases[] = {
        {"MOD", FileFormat::MOD, 100, 0, 0, 0, 101},
        {"XM", FileFormat::XM, 100, 0, 0, 0, 100},
        {"XM loop of length 0", FileFormat::XM, 50, 1, 10, 0, 50},
        {"S3M loop starting past the data", FileFormat::S3M, 30, 0, 40, 10, 31},
    };
    for (const auto& c : cases) {
        PlayOneSample(c.kind, Constant(c.length, 6400), c.loopType, c.loopStart, c.loopLength);
        RenderTick();
        EXPECT_EQ(Left(0), 6300) << c.what;
        EXPECT_EQ(Left(c.length - 1), 6300) << c.what;
        EXPECT_EQ(Left(c.length), 0) << c.what;
        EXPECT_EQ(player->Voices[0].period, 0) << c.what;
        EXPECT_DOUBLE_EQ(test::Frames(player->Voices[0].position), c.end) << c.what;
    }
}

TEST_F(MixerTest, LongNotesKeepTheirPitch) {
    // 7 s of a 120,000-frame sample: the position is where the pitch puts
    // it, to half a frame (positions of single precision drift by hundreds).
    SongBuilder b(FileFormat::MOD, 1);
    b.AddSample(1, Constant(120000, 1000));
    b.Put(0, 0, 0, 48, 1);
    PlaySong(b.song());
    test::RenderBlocks(*player, 70);
    EXPECT_NEAR(test::Frames(player->Voices[0].position), 7 * 7159090.5 / ::moddeck::Periods[8][48], 0.5);
}

TEST_F(MixerTest, SilentVoicesRunOnExactlyAsHeardOnes) {
    // At volume 0 the fast path only moves the position: when the volume
    // comes back, every loop kind sounds as if it had been rendered.
    for (int loopType : {0, 1, 2}) {
        std::vector<int16_t> renders[2];
        for (bool fast : {true, false}) {
            SongBuilder b(FileFormat::XM, 1);
            b.AddInstrument(1, Ramp(3000, -3000, 2));
            b.InstrumentSample(1).loopType = loopType;
            b.InstrumentSample(1).loopStart = 700;
            b.InstrumentSample(1).loopLength = loopType ? 300 : 0;
            b.Put(0, 0, 0, 40, 1);
            b.Put(0, 1, 0, -1, 0, kSetVolume, 0);
            b.Put(0, 3, 0, -1, 0, kSetVolume, 40);
            PlaySong(b.song());
            ASSERT_TRUE(fast || UsePlainMixer(*player));
            renders[fast] = test::RenderBlocks(*player, 6);
        }
        EXPECT_EQ(renders[0], renders[1]) << "loop type " << loopType;
        EXPECT_NE(renders[1].back(), 0) << "loop type " << loopType;
    }
}

TEST_F(MixerTest, ForwardLoopNeverLeavesTheLoop) {
    PlayOneSample(FileFormat::MOD, Ramp(40, 0, 100), 0, 10, 20);
    for (int t = 0; t < 8; t++) {
        RenderTick();
        EXPECT_LT(test::Frames(player->Voices[0].position), 30.0);
        for (int f = 40; f < player->LEN_TICK; f++) {
            int index = static_cast<int>(std::lround(Left(f) / (100 * 0.984375)));
            ASSERT_GE(index, 10);
            ASSERT_LE(index, 29);
        }
    }
    EXPECT_EQ(player->Voices[0].period, 1);  // a looped sample never ends
}

TEST_F(MixerTest, PingPongReadsForwardThenBackward) {
    PlayOneSample(FileFormat::XM, Ramp(5, 0, 1000), 2, 0, 4);
    RenderTick();
    const int expected[] = {0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3, 4, 3};
    for (int f = 0; f < 14; f++)
        EXPECT_EQ(Left(f), static_cast<int>(expected[f] * 1000 * 0.984375f)) << "frame " << f;
}

TEST_F(MixerTest, PingPongEndingOnTheLastFrameReadsNoFurther) {
    PlayOneSample(FileFormat::XM, Ramp(4, 1000, 1000), 2, 0, 4);  // the backward leg starts at frame 4, past the data
    RenderTick();
    EXPECT_EQ(Left(4), Left(3));  // frame 4 reads the last frame
    EXPECT_EQ(Left(5), static_cast<int>(4000 * 0.984375f));  // back over frame 3
    EXPECT_EQ(Left(6), static_cast<int>(3000 * 0.984375f));
}

TEST_F(MixerTest, LoopPastTheEndIsCutAtTheData) {
    PlayOneSample(FileFormat::MOD, Constant(80, 6400), 0, 50, 100);  // would run to frame 150
    for (int t = 0; t < 4; t++) {
        RenderTick();
        EXPECT_LT(test::Frames(player->Voices[0].position), 80.0);
        EXPECT_EQ(Left(player->LEN_TICK - 1), 6300);
    }
}

TEST_F(MixerTest, VoiceStaysSilentAndInPlaceBeforeItsNoteDelay) {
    PlayOneSample(FileFormat::MOD, Constant(1000, 6400));
    player->Voices[0].position = test::Position(12.5);
    player->Voices[0].delaytick = 2;
    player->ticks = 1;
    RenderTick();
    EXPECT_DOUBLE_EQ(test::Frames(player->Voices[0].position), 12.5);
    EXPECT_EQ(Left(0), 0);
    player->ticks = 2;
    RenderTick();
    EXPECT_DOUBLE_EQ(test::Frames(player->Voices[0].position), 12.5 + player->LEN_TICK);
}

TEST_F(MixerTest, MissingSampleOrXMSampleNumberRendersSilence) {
    PlayOneSample(FileFormat::XM, Constant(100, 6400));
    player->Voices[0].samplenum = 3;  // the instrument has one sample
    EXPECT_EQ(VoiceSample(player->SONG, player->Voices[0]), nullptr);
    player->Voices[0].samplenum = 0;
    player->Voices[0].instrument = 2;  // beyond the song's instruments
    EXPECT_EQ(VoiceSample(player->SONG, player->Voices[0]), nullptr);
    player->Voices[0].instrument = 1;
    EXPECT_NE(VoiceSample(player->SONG, player->Voices[0]), nullptr);
}

// The step is the period's rate over the output rate: the tick's whole
// frames (2.5 s / tempo, truncated) must not pull the pitch with the tempo.
TEST_F(MixerTest, StepFollowsThePeriodNotTheTempo) {
    SongBuilder b(FileFormat::MOD, 1);
    b.AddSample(1, Constant(1000, 100));
    PlaySong(b.song());
    Voice& v = player->Voices[0];
    v.period = 428;
    v.instrument = 1;
    v.delaytick = 0;
    const double want = 7159090.5 / 428 / player->rate * kFixedOne;
    for (int tempo : {97, 125, 140, 149}) {
        SetTempo(*player, tempo);
        PrepareVoiceTick(*player, 0, 428, 0);
        EXPECT_NEAR(static_cast<double>(player->mix[0].step), want, 2.0) << tempo;
    }
}

TEST_F(MixerTest, GainFollowsEachKindsFormula) {
    PlayOneSample(FileFormat::MOD, Constant(1000, 10000));
    player->Voices[0].volume = 32;
    RenderTick();
    EXPECT_EQ(Left(0), 5000);  // 32/64
    player->Voices[0].position = 0;
    RenderTick(-40);  // tremolo below 0 clamps to silence
    EXPECT_EQ(Left(0), 0);

    PlayOneSample(FileFormat::S3M, Constant(1000, 10000));
    player->globalVolume = 32;
    player->Voices[0].volume = 63;
    RenderTick();
    EXPECT_EQ(Left(0), 4921);  // 10000 * 32 * 63 / 4096
    song_->song().s3mHeader[3] = 32;  // mono at master volume 32: half as loud
    player->Voices[0].position = 0;
    RenderTick();
    EXPECT_EQ(Left(0), 2460);
}

TEST_F(MixerTest, InterpolationsHoldFramesOrKeepALoopsLevelAcrossItsEnds) {
    // Without interpolation, at half a frame a step, each frame sounds twice.
    PlayOneSample(FileFormat::XM, Ramp(200, 0, 100));
    player->sound.interpolation = Interpolation::None;
    RenderTick(0, 0.5);
    for (int f = 0; f < 200; f++) ASSERT_EQ(Left(f), static_cast<int>(f / 2 * 100 * 0.984375f)) << "frame " << f;
    // Cubic and sinc read their taps across a loop's ends as heard: a
    // constant loop keeps its level at a step that never lands on a frame.
    for (Interpolation how : {Interpolation::Cubic, Interpolation::Sinc})
        for (int loopType : {1, 2}) {
            PlayOneSample(FileFormat::XM, Constant(40, 6400), loopType, 8, 32);
            player->sound.interpolation = how;
            for (int t = 0; t < 4; t++) {
                RenderTick(0, 1 / 1.37);
                // The first frames hear the silence before the note.
                for (int f = t ? 0 : 8; f < player->LEN_TICK; f++)
                    ASSERT_NEAR(Left(f), 6300, 2) << "loop type " << loopType << " tick " << t << " frame " << f;
            }
        }
}

TEST_F(MixerTest, SeparationWidensOrNarrowsAndAmigaModeTakesTheAmigasSidesAndClock) {
    SongBuilder b(FileFormat::MOD, 4);
    for (int c = 1; c <= 4; c++) b.AddSample(c, Constant(1000, 10000));
    PlaySong(b.song());
    PrepareUnitStep(FileFormat::MOD);  // pans 0.5, 0.35, 0.65, 0.5; values 9843
    player->sound.separation = 200;
    RenderTick();
    EXPECT_NEAR(player->ptrVoices[1][0], 1969, 1);  // 0.35 twice as far from the middle: 0.2
    player->sound.separation = 0;
    RenderTick();
    EXPECT_EQ(player->ptrVoices[1][0], 4921);
    EXPECT_EQ(player->ptrVoices[2][1], 4922);
    player->sound.separation = 100;
    player->sound.amiga = true;
    player->Voices[0].position = 0;
    RenderTick();
    const int16_t sides[4][2] = {{9843, 0}, {0, 9843}, {0, 9843}, {9843, 0}};
    for (int c = 0; c < 4; c++)
        EXPECT_TRUE(player->ptrVoices[c][0] == sides[c][0] && player->ptrVoices[c][1] == sides[c][1]) << c;
    // The PAL Amiga's clock, 7093789.2 Hz, against the default's 7159090.5.
    PrepareVoiceTick(*player, 0, 1, 0);
    const double amigaStep = static_cast<double>(player->mix[0].step);
    player->sound.amiga = false;
    PrepareVoiceTick(*player, 0, 1, 0);
    EXPECT_NEAR(amigaStep / static_cast<double>(player->mix[0].step), 7093789.2 / 7159090.5, 1e-9);
    // A song not written for the Amiga keeps its own pans and clock.
    SongBuilder s3m(FileFormat::S3M, 1);
    s3m.AddSample(1, Constant(1000, 10000));
    PlaySong(s3m.song());
    PrepareUnitStep(FileFormat::S3M);
    player->sound.amiga = true;
    RenderTick();
    EXPECT_EQ(Left(0), 1968);  // 9843 at the song's pan of 0.2
}

TEST_F(MixerTest, RampingTakesTheClickOutOfStartsChangesAndStops) {
    // One voice, all to the left: the output is half its values. A ramp
    // lasts 1.5 ms, 66 frames.
    PlayOneSample(FileFormat::MOD, Constant(2000, 10000));
    player->sound.ramping = true;
    auto left = [&](int f) { return mixed_[2 * f]; };
    RenderTick();
    EXPECT_LT(left(0), 100);
    for (int f = 1; f < 66; f++) ASSERT_GT(left(f), left(f - 1));
    EXPECT_EQ(left(65), 4921);
    player->Voices[0].volume = 32;
    RenderTick();
    EXPECT_TRUE(left(0) < 4921 && left(0) > 4800 && left(65) == 2500 && left(100) == 2500);
    // A new note over the old one: the old fades out beside it as the new
    // one fades in, and the sum holds.
    player->Voices[0].position = 0;
    RenderTick();
    for (int f = 0; f < 128; f++) ASSERT_NEAR(left(f), 2500, 2) << f;
    // A note that stops fades out.
    player->Voices[0].period = 0;
    RenderTick();
    EXPECT_TRUE(left(0) > 2400 && left(32) > 1000 && left(32) < 1500 && left(66) == 0);
}

TEST_F(MixerTest, FinalMixHalvesEachVoiceAndClampsAfterEveryAddition) {
    // At volume 32 and a channel gain of 2 each voice renders its sample's own
    // values, all to the left.
    SongBuilder b(FileFormat::MOD, 3);
    b.AddSample(1, {30000, -32768, 30000});
    b.AddSample(2, {30000, 0, 30000});
    b.AddSample(3, {30000, 0, -30000});
    PlaySong(b.song());
    PrepareUnitStep(FileFormat::MOD);
    for (int c = 0; c < 3; c++) {
        player->pan[c] = 1.0f;
        player->channelGain[c] = 2.0f;
        player->Voices[c].volume = 32;
    }
    RenderTick();
    EXPECT_EQ(mixed_[0], 32767);   // 15000 * 3, clamped
    EXPECT_EQ(mixed_[2], -16384);  // -32768 >> 1
    EXPECT_EQ(mixed_[4], 15000);   // 30000 then -15000
}

TEST_F(MixerTest, SaturationTableClampsToSymmetricRange) {
    ASSERT_NE(Saturation, nullptr);
    EXPECT_EQ(Saturation[0], -32767);
    EXPECT_EQ(Saturation[kSaturationOffset - 32768], -32767);
    EXPECT_EQ(Saturation[kSaturationOffset - 5], -5);
    EXPECT_EQ(Saturation[kSaturationOffset + 40000], 32767);
    EXPECT_EQ(Saturation[kSaturationSize - 1], 32767);
}

}  // namespace
}  // namespace moddeck
