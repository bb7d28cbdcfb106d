// The voice mixer: frame arithmetic, loop modes and their bounds, the final
// mix and its clamp.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/envelopes.h"
#include "engine/mixer.h"
#include "engine/state.h"
#include "support/song_builder.h"

namespace moddeck {
namespace {

using test::Constant;
using test::Ramp;
using test::SongBuilder;

class MixerTest : public ::testing::Test {
protected:
    void TearDown() override { test::StopSong(); }

    // Voice 0 plays `slot` at a step of exactly 1.0 frame per output frame:
    // MOD and S3M: 7159090.5 / (128 * 1 * 7159090.5/128); XM: 28634112 / (256 * 111852).
    void PrepareUnitStep(SongKind kind) {
        if (kind == SongKind::XM) {
            LEN_TICK = 256;
            frequencegenerale = 111852.0f;
        } else {
            LEN_TICK = 128;
            frequencegenerale = 14318181.0f / 256.0f;
        }
        base = 0;
        ticks = 0;
        Voice& v = Voices[0];
        v.period = 1;
        v.instrument = 1;
        v.position = 0.0f;
        v.volume = 63;
        v.delaytick = 0;
        v.fadevolume = 65536;
        v.samplenum = 0;
    }

    int16_t Left(int frame) const { return ptrVoices[0][2 * frame]; }
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

TEST_F(MixerTest, OneShotModSampleSoundsItsZeroGuardFrameThenEnds) {
    SongBuilder b(SongKind::MOD, 1);
    b.AddSample(1, Constant(100, 6400));
    test::StartSong(b.song());
    pan[0] = 1.0f;
    PrepareUnitStep(SongKind::MOD);
    RenderVoiceTick(b.song(), SongKind::MOD, 0, 1, 0);
    // Gain 63/64: 6400 * 0.984375 = 6300 on frames 0..99; frame 100 reads the
    // zero past the end, and from frame 101 the sample has ended.
    EXPECT_EQ(Left(0), 6300);
    EXPECT_EQ(Left(98), 6300);
    EXPECT_EQ(Left(99), 6300);
    EXPECT_EQ(Left(100), 0);
    EXPECT_EQ(Voices[0].period, 0);
    EXPECT_FLOAT_EQ(Voices[0].position, 101.0f);
}

TEST_F(MixerTest, OneShotXMSampleStopsAtItsLength) {
    SongBuilder b(SongKind::XM, 1);
    b.AddInstrument(1, Constant(100, 6400));
    test::StartSong(b.song());
    PrepareUnitStep(SongKind::XM);
    RenderVoiceTick(b.song(), SongKind::XM, 0, 1, 0);
    EXPECT_NE(Left(99), 0);
    EXPECT_EQ(Left(100), 0);
    EXPECT_EQ(Voices[0].period, 0);
    EXPECT_FLOAT_EQ(Voices[0].position, 100.0f);
}

TEST_F(MixerTest, ForwardLoopNeverLeavesTheLoop) {
    SongBuilder b(SongKind::MOD, 1);
    ModSample& s = b.AddSample(1, Ramp(40, 0, 100));
    s.loopStart = 10;
    s.loopLength = 20;
    test::StartSong(b.song());
    pan[0] = 1.0f;
    PrepareUnitStep(SongKind::MOD);
    for (int t = 0; t < 8; t++) {
        RenderVoiceTick(b.song(), SongKind::MOD, 0, 1, 0);
        EXPECT_LT(Voices[0].position, 30.0f);
        for (int f = 40; f < LEN_TICK; f++) {
            int index = static_cast<int>(std::lround(Left(f) / (100 * 0.984375)));
            ASSERT_GE(index, 10);
            ASSERT_LE(index, 29);
        }
    }
    EXPECT_EQ(Voices[0].period, 1);  // a looped sample never ends
}

TEST_F(MixerTest, PingPongReadsForwardThenBackward) {
    SongBuilder b(SongKind::XM, 1);
    b.AddInstrument(1, Ramp(5, 0, 1000));
    ModSample& s = b.InstrumentSample(1);
    s.loopType = 2;
    s.loopStart = 0;
    s.loopLength = 4;
    s.panning = 255;
    test::StartSong(b.song());
    PrepareUnitStep(SongKind::XM);
    RenderVoiceTick(b.song(), SongKind::XM, 0, 1, 0);
    const int expected[] = {0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3, 4, 3};
    for (int f = 0; f < 14; f++)
        EXPECT_EQ(Left(f), static_cast<int>(expected[f] * 1000 * 0.984375f)) << "frame " << f;
}

TEST_F(MixerTest, PingPongEndingOnTheLastFrameReadsNoFurther) {
    SongBuilder b(SongKind::XM, 1);
    b.AddInstrument(1, Ramp(4, 1000, 1000));
    ModSample& s = b.InstrumentSample(1);
    s.loopType = 2;
    s.loopStart = 0;
    s.loopLength = 4;  // the backward leg starts at frame 4, past the data
    s.panning = 255;
    test::StartSong(b.song());
    PrepareUnitStep(SongKind::XM);
    RenderVoiceTick(b.song(), SongKind::XM, 0, 1, 0);
    EXPECT_EQ(Left(4), Left(3));  // frame 4 reads the last frame
    EXPECT_EQ(Left(5), static_cast<int>(4000 * 0.984375f));  // back over frame 3
    EXPECT_EQ(Left(6), static_cast<int>(3000 * 0.984375f));
}

TEST_F(MixerTest, LoopOfLengthZeroPlaysAsOneShot) {
    SongBuilder b(SongKind::XM, 1);
    b.AddInstrument(1, Constant(50, 6400));
    b.InstrumentSample(1).loopType = 1;
    b.InstrumentSample(1).loopStart = 10;
    b.InstrumentSample(1).loopLength = 0;
    test::StartSong(b.song());
    PrepareUnitStep(SongKind::XM);
    RenderVoiceTick(b.song(), SongKind::XM, 0, 1, 0);
    EXPECT_EQ(Voices[0].period, 0);
    EXPECT_EQ(Left(60), 0);
}

TEST_F(MixerTest, LoopPastTheEndIsCutAtTheData) {
    SongBuilder b(SongKind::MOD, 1);
    ModSample& s = b.AddSample(1, Constant(80, 6400));
    s.loopStart = 50;
    s.loopLength = 100;  // would run to frame 150
    test::StartSong(b.song());
    pan[0] = 1.0f;
    PrepareUnitStep(SongKind::MOD);
    for (int t = 0; t < 4; t++) {
        RenderVoiceTick(b.song(), SongKind::MOD, 0, 1, 0);
        EXPECT_LT(Voices[0].position, 80.0f);
        EXPECT_EQ(Left(LEN_TICK - 1), 6300);
    }
}

TEST_F(MixerTest, LoopStartingPastTheDataPlaysAsOneShot) {
    SongBuilder b(SongKind::S3M, 1);
    ModSample& s = b.AddSample(1, Constant(30, 6400));
    s.loopStart = 40;
    s.loopLength = 10;
    test::StartSong(b.song());
    PrepareUnitStep(SongKind::S3M);
    RenderVoiceTick(b.song(), SongKind::S3M, 0, 1, 0);
    EXPECT_EQ(Voices[0].period, 0);
}

TEST_F(MixerTest, VoiceStaysSilentAndInPlaceBeforeItsNoteDelay) {
    SongBuilder b(SongKind::MOD, 1);
    b.AddSample(1, Constant(1000, 6400));
    test::StartSong(b.song());
    PrepareUnitStep(SongKind::MOD);
    Voices[0].position = 12.5f;
    Voices[0].delaytick = 2;
    ticks = 1;
    RenderVoiceTick(b.song(), SongKind::MOD, 0, 1, 0);
    EXPECT_FLOAT_EQ(Voices[0].position, 12.5f);
    EXPECT_EQ(Left(0), 0);
    ticks = 2;
    RenderVoiceTick(b.song(), SongKind::MOD, 0, 1, 0);
    EXPECT_FLOAT_EQ(Voices[0].position, 12.5f + LEN_TICK);
}

TEST_F(MixerTest, MissingSampleOrXMSampleNumberRendersSilence) {
    SongBuilder b(SongKind::XM, 1);
    b.AddInstrument(1, Constant(100, 6400));
    test::StartSong(b.song());
    PrepareUnitStep(SongKind::XM);
    Voices[0].samplenum = 3;  // the instrument has one sample
    EXPECT_EQ(VoiceSample(b.song(), SongKind::XM, Voices[0]), nullptr);
    Voices[0].samplenum = 0;
    Voices[0].instrument = 2;  // beyond the song's instruments
    EXPECT_EQ(VoiceSample(b.song(), SongKind::XM, Voices[0]), nullptr);
    Voices[0].instrument = 1;
    EXPECT_NE(VoiceSample(b.song(), SongKind::XM, Voices[0]), nullptr);
}

TEST_F(MixerTest, GainFollowsEachKindsFormula) {
    SongBuilder mod(SongKind::MOD, 1);
    mod.AddSample(1, Constant(1000, 10000));
    test::StartSong(mod.song());
    pan[0] = 1.0f;
    PrepareUnitStep(SongKind::MOD);
    Voices[0].volume = 32;
    RenderVoiceTick(mod.song(), SongKind::MOD, 0, 1, 0);
    EXPECT_EQ(Left(0), 5000);  // 32/64
    Voices[0].position = 0;
    RenderVoiceTick(mod.song(), SongKind::MOD, 0, 1, -40);  // tremolo below 0 clamps to silence
    EXPECT_EQ(Left(0), 0);
    test::StopSong();

    SongBuilder s3m(SongKind::S3M, 1);
    s3m.AddSample(1, Constant(1000, 10000));
    test::StartSong(s3m.song());
    pan[0] = 1.0f;
    PrepareUnitStep(SongKind::S3M);
    s3m.song().globalVolume = 32;
    Voices[0].volume = 63;
    RenderVoiceTick(s3m.song(), SongKind::S3M, 0, 1, 0);
    EXPECT_EQ(Left(0), 4921);  // 10000 * 32 * 63 / 4096
}

TEST_F(MixerTest, FinalMixHalvesEachVoiceAndClampsAfterEveryAddition) {
    SongBuilder b(SongKind::MOD, 3);
    test::StartSong(b.song());
    MixerSkipsSilence = false;  // the buffers are written by hand here
    for (int c = 0; c < 3; c++) ptrVoices[c][0] = 30000;
    ptrVoices[0][1] = -32768;
    ptrVoices[0][2] = 30000;
    ptrVoices[1][2] = 30000;
    ptrVoices[2][2] = -30000;
    base = kBlockFrames;
    NVoices = 3;
    MixVoiceBuffers();
    EXPECT_EQ(ActualBufferToBeMixed[0], 32767);   // 15000 * 3, clamped
    EXPECT_EQ(ActualBufferToBeMixed[1], -16384);  // -32768 >> 1
    EXPECT_EQ(ActualBufferToBeMixed[2], 15000);   // 30000 then -15000
    EXPECT_EQ(base, 0);
    NVoices = 2;
    base = kBlockFrames;
    MixVoiceBuffers();
    EXPECT_EQ(ActualBufferToBeMixed[0], 30000);
}

TEST_F(MixerTest, FinalMixMovesTheTailOfTheLastTickToTheFront) {
    SongBuilder b(SongKind::MOD, 1);
    test::StartSong(b.song());
    MixerSkipsSilence = false;
    ptrVoices[0][2 * kBlockFrames] = 1234;
    ptrVoices[0][2 * kBlockFrames + 2 * 34 + 1] = 4321;
    base = kBlockFrames + 35;
    NVoices = 1;
    MixVoiceBuffers();
    EXPECT_EQ(base, 35);
    EXPECT_EQ(ptrVoices[0][0], 1234);
    EXPECT_EQ(ptrVoices[0][69], 4321);
}

TEST_F(MixerTest, SaturationTableClampsToSymmetricRange) {
    SongBuilder b(SongKind::MOD, 1);
    test::StartSong(b.song());
    ASSERT_NE(Saturation, nullptr);
    EXPECT_EQ(Saturation[0], -32767);
    EXPECT_EQ(Saturation[kSaturationOffset - 32768], -32767);
    EXPECT_EQ(Saturation[kSaturationOffset - 5], -5);
    EXPECT_EQ(Saturation[kSaturationOffset + 40000], 32767);
    EXPECT_EQ(Saturation[kSaturationSize - 1], 32767);
}

TEST_F(MixerTest, XMPanningCurveBendsTowardsTheSides) {
    EXPECT_FLOAT_EQ(PanCurve(1.0f), 1.0f);
    EXPECT_FLOAT_EQ(PanCurve(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(PanCurve(0.5f), 0.5f);
    ModInstrument ins{};
    ModSample s{};
    s.panning = 128;
    EXPECT_NEAR(PanningOfVoice(ins, s, 0), 0.531, 0.001);
    s.panning = 255;
    EXPECT_FLOAT_EQ(PanningOfVoice(ins, s, 0), 1.0f);
}

}  // namespace
}  // namespace moddeck
