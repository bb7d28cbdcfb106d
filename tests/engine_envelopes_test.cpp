// XM envelopes and fade-out: the volume and panning envelopes at a position,
// their sustain and loop, the bounds on point indexes, and the fade per row.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "engine/envelopes.h"
#include "engine/sequencer.h"
#include "engine/player.h"
#include "support/player_fixture.h"
#include "support/song_builder.h"

namespace moddeck {
namespace {

using test::Constant;
using test::SongBuilder;

ModInstrument Envelope(int type, std::initializer_list<std::pair<int, int>> points) {
    ModInstrument ins{};
    ins.volType = type;
    ins.panType = type;
    int k = 0;
    for (auto [x, y] : points) {
        ins.volEnvelope[k] = ins.panEnvelope[k] = EnvelopePoint{static_cast<uint16_t>(x), static_cast<int16_t>(y)};
        k++;
    }
    return ins;
}

std::vector<float> VolumeOver(const ModInstrument& ins, int from, int to) {
    std::vector<float> e;
    for (int u = from; u <= to; u++) e.push_back(VolumeEnvelopeValue(ins, u));
    return e;
}

TEST(Envelopes, OffMeansFullVolume) {
    ModInstrument ins = Envelope(0, {{0, 10}});
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 5), 64.0f);
}

TEST(Envelopes, PlainEnvelopeInterpolatesAndFallsSilentAfterItsLastPoint) {
    ModInstrument ins = Envelope(1, {{0, 64}, {10, 0}});
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 0), 64.0f);
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 5), 32.0f);
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 10), 0.0f);
    ModInstrument held = Envelope(1, {{0, 64}, {10, 32}});
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(held, 9), 35.2f);
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(held, 10), 0.0f);  // not 32
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(held, 500), 0.0f);
}

TEST(Envelopes, SustainRunsUpToItsPointThenHolds) {
    ModInstrument ins = Envelope(1 | 2, {{0, 0}, {4, 64}, {20, 0}});
    ins.volSustain = 1;
    EXPECT_EQ(VolumeOver(ins, 0, 6), (std::vector<float>{0, 16, 32, 48, 64, 64, 64}));
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 10000), 64.0f);
    ins.volSustain = 0;
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 3), 0.0f);
}

TEST(Envelopes, LoopFoldsThePositionBackIntoIt) {
    ModInstrument ins = Envelope(1 | 4, {{0, 0}, {4, 64}, {8, 0}, {30, 0}});
    ins.volLoopStart = 1;
    ins.volLoopEnd = 2;
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 10), VolumeEnvelopeValue(ins, 6));
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 6), 32.0f);
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 12), 64.0f);
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 2), 32.0f);  // before the loop: as it stands
}

TEST(Envelopes, LoopOfZeroLengthHoldsItsPoint) {
    ModInstrument ins = Envelope(1 | 4, {{0, 64}, {6, 40}, {20, 0}});
    ins.volLoopStart = 1;
    ins.volLoopEnd = 1;
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 3), 52.0f);
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 7), 40.0f);
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 100000), 40.0f);
    ins.volLoopEnd = 0;  // an end before the start is no loop either
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 100), 40.0f);
}

TEST(Envelopes, PointIndexesPastTheTwelfthPointAreBounded) {
    ModInstrument ins = Envelope(1 | 2, {{0, 10}, {4, 20}});
    for (int k = 2; k < 12; k++) ins.volEnvelope[k] = ins.panEnvelope[k] = EnvelopePoint{100, 30};
    ins.volSustain = 200;
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 150), 30.0f);  // held at point 11
    ins.volType = 1 | 4;
    ins.volLoopStart = 255;
    ins.volLoopEnd = 90;
    EXPECT_GE(VolumeEnvelopeValue(ins, 5000), 0.0f);
    ins.panType = 2;
    ins.panSustain = 77;
    EXPECT_GE(PanningOfVoice(ins, ModSample{}, 50), 0.0f);
    ins.panType = 4;
    ins.panLoopStart = 12;
    ins.panLoopEnd = 13;
    EXPECT_GE(PanningOfVoice(ins, ModSample{}, 500), 0.0f);
}

TEST(Envelopes, StrayValuesAreKeptWithinRange) {
    ModInstrument ins = Envelope(1, {{0, 300}, {10, 300}});
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 3), 64.0f);
    ins = Envelope(1, {{0, -64}, {10, -64}});
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 3), 0.0f);
    EXPECT_FLOAT_EQ(PanningOfVoice(ins, ModSample{}, 3), 0.0f);
}

TEST(Envelopes, PanningEnvelopeAndItsFallbacks) {
    ModSample s{};
    s.panning = 0;
    ModInstrument off = Envelope(0, {});
    EXPECT_FLOAT_EQ(PanningOfVoice(off, s, 0), 0.0f);
    ModInstrument on = Envelope(1, {{0, 64}, {10, 0}});
    EXPECT_FLOAT_EQ(PanningOfVoice(on, s, 0), 1.0f);
    EXPECT_FLOAT_EQ(PanningOfVoice(on, s, 5), 0.5f);
    EXPECT_FLOAT_EQ(PanningOfVoice(on, s, 10), 0.5f);  // no segment: the middle
    // On and loop together play once: the loop bit is looked at only alone.
    ModInstrument onLoop = Envelope(1 | 4, {{0, 64}, {10, 0}});
    onLoop.panLoopStart = 0;
    onLoop.panLoopEnd = 1;
    EXPECT_FLOAT_EQ(PanningOfVoice(onLoop, s, 12), 0.5f);
    ModInstrument loopOnly = onLoop;
    loopOnly.panType = 4;
    EXPECT_FLOAT_EQ(PanningOfVoice(loopOnly, s, 10), 1.0f);  // folded to 0
}

class FadeTest : public test::PlayerTest {
protected:
};

TEST_F(FadeTest, FadeOutStepsOncePerRowFromTheNotesSecondRow) {
    SongBuilder b(FileFormat::XM, 1, 1, 32);
    ModInstrument& ins = b.AddInstrument(1, Constant(1000, 1000));
    ins.fadeout = 4096;
    b.InstrumentSample(1).loopType = 1;
    b.InstrumentSample(1).loopLength = 1000;
    b.Put(0, 0, 0, 25, 1);
    test::StartSong(player, b.song());
    Speed(player) = 2;
    std::vector<int> fade;
    for (int row = 0; row < 18; row++) {
        player.base = 0;
        PlayTick(player);
        fade.push_back(player.Voices[0].fadevolume);
        player.base = 0;
        PlayTick(player);
    }
    EXPECT_EQ(fade[0], 65536);
    EXPECT_EQ(fade[1], 61440);
    EXPECT_EQ(fade[2], 57344);
    EXPECT_EQ(fade[15], 4096);
    EXPECT_EQ(fade[16], 0);
    EXPECT_EQ(fade[17], 0);
}

TEST_F(FadeTest, EnvelopePositionsCountTicksFromTheNote) {
    SongBuilder b(FileFormat::XM, 1, 1, 8);
    b.AddInstrument(1, Constant(1000, 1000));
    b.Put(0, 0, 0, 25, 1);
    b.Put(0, 2, 0, 25, 1);
    test::StartSong(player, b.song());
    Speed(player) = 3;
    player.base = 0;
    PlayTick(player);
    EXPECT_EQ(player.Voices[0].volenvpos, 0);  // the note's first tick is position 0
    for (int i = 0; i < 4; i++) {
        player.base = 0;
        PlayTick(player);
    }
    EXPECT_EQ(player.Voices[0].volenvpos, 4);
    EXPECT_EQ(player.Voices[0].panenvpos, 4);
    player.base = 0;
    PlayTick(player);
    player.base = 0;
    PlayTick(player);
    EXPECT_EQ(player.Voices[0].volenvpos, 0);  // a new note restarts them
}

}  // namespace
}  // namespace moddeck
